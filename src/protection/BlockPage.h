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
    void setApplicationName(const QString &name);

private:
    QLabel *m_lblTitle;
    QLabel *m_lblApplication;
    QPushButton *m_btnClose;
};
