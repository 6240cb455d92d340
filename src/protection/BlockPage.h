#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Full-screen notice that an application was stopped, with a Close button. Stands in for the
// FAQ window's block page.
class BlockPage : public QDialog
{
    Q_OBJECT
public:
    explicit BlockPage(QWidget *parent = nullptr);
    // The application just blocked, and the seconds it has left before it is ended (none: 0).
    void setApplication(const QString &name, int graceSeconds);

private:
    QLabel *m_lblTitle;
    QLabel *m_lblApplication;
    QLabel *m_lblGrace;
    QPushButton *m_btnClose;
};
