#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QDialog;
class Workspace;

// One row of the application catalogue.
struct ApplicationDetail
{
    QIcon icon;
    QString name;
    bool state = false; // the row's switch is on; false when the catalogue is built
    QString id;         // the desktop's id of the application, which tells apart equal names
};

// Stops blocked applications: the catalogue, the quit request and the block page. Made once
// by the application and handed to the delegate and the Block Apps screen.
class ApplicationBlocker : public QObject
{
    Q_OBJECT
public:
    explicit ApplicationBlocker(std::unique_ptr<Workspace> workspace, QObject *parent = nullptr);
    ~ApplicationBlocker() override;

    Workspace *shared() const { return m_workspace.get(); }

    QList<ApplicationDetail> buildApplicationCatalogue();
    void quitApplication(const QString &name);
    // Asks the application to quit, sets isBlockPageRequested and brings the block page to
    // the front, full screen.
    void block(const QString &name);

    // The FAQ window showing the block page; until the FAQ window exists, our own stand-in.
    QPointer<QDialog> wc;

private:
    std::unique_ptr<Workspace> m_workspace;
};
