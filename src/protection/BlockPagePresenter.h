#pragma once

#include <QObject>
#include <QPointer>

class QDialog;
struct BlockOutcome;

// Shows what the blocker did: the block page, full screen and in front, naming the
// application just blocked every time, and the block-page request the FAQ window reads.
class BlockPagePresenter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~BlockPagePresenter() override;

    void present(const BlockOutcome &outcome);
    // The window showing the block page: the FAQ window's page where there is one, else ours.
    QDialog *page() const { return m_page; }

private:
    QPointer<QDialog> m_page;
};
