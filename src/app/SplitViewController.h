#pragma once

#include <QWidget>

class ApplicationBlocker;
class FocusState;
class PinGate;
class QStackedWidget;
class SidebarViewController;

// The main content: the sidebar on the left, one detail screen at a time on the right.
class SplitViewController : public QWidget
{
    Q_OBJECT
public:
    explicit SplitViewController(PinGate *gate, ApplicationBlocker *blocker = nullptr, FocusState *focus = nullptr,
                                 QWidget *parent = nullptr);

    SidebarViewController *sidebar() const { return m_sidebar; }
    QWidget *detail() const;
    void showDetail(QWidget *controller);

private:
    SidebarViewController *m_sidebar;
    QStackedWidget *m_detail;
};
