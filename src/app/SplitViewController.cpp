#include "SplitViewController.h"

#include "SidebarViewController.h"
#include "pin/PinGate.h"
#include "protection/ProtectionViewController.h"
#include "ui/CommmonFunction.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QStackedWidget>

SplitViewController::SplitViewController(PinGate *gate, ApplicationBlocker *blocker, FocusState *focus,
                                         QWidget *parent)
    : QWidget(parent)
    , m_sidebar(new SidebarViewController(gate, blocker, focus, this))
    , m_detail(new QStackedWidget(this))
{
    setObjectName(QStringLiteral("SplitViewController"));
    m_detail->setObjectName(QStringLiteral("detail"));
    m_detail->setAutoFillBackground(true);
    QPalette pal = m_detail->palette();
    pal.setColor(QPalette::Window, Qt::white);
    m_detail->setPalette(pal);

    auto *divider = new QFrame(this);
    divider->setFixedWidth(1);
    divider->setStyleSheet(QStringLiteral("background: #e3e6ea;"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar);
    layout->addWidget(divider);
    layout->addWidget(m_detail, 1);

    connect(m_sidebar, &SidebarViewController::showDetail, this, &SplitViewController::showDetail);
    // The protection screen is the first detail screen, and the sidebar keeps it.
    m_sidebar->protectionVC = new ProtectionViewController(gate);
    showDetail(m_sidebar->protectionVC);
    CommmonFunction::shared().objcSplitViewController = this;
    CommmonFunction::shared().sheetArea = m_detail;
}

QWidget *SplitViewController::detail() const
{
    return m_detail->currentWidget();
}

void SplitViewController::showDetail(QWidget *controller)
{
    if (m_detail->indexOf(controller) < 0)
        m_detail->addWidget(controller);
    m_detail->setCurrentWidget(controller);
}
