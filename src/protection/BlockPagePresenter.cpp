#include "BlockPagePresenter.h"

#include "ApplicationBlocker.h"
#include "BlockPage.h"
#include "ui/BlockPage.h"
#include "ui/CommmonFunction.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

BlockPagePresenter::BlockPagePresenter(BlockPageRequest &request, QObject *parent)
    : QObject(parent)
    , m_request(request)
{
}

BlockPagePresenter::~BlockPagePresenter()
{
    delete m_page;
}

void BlockPagePresenter::present(const BlockOutcome &outcome)
{
    m_request.request(outcome.name);
    const int grace = outcome.quit.processes > 0 ? Workspace::graceSeconds : 0;
    auto *ours = qobject_cast<BlockPage *>(m_page.data());
    if (m_page && !ours) {
        // The FAQ window reads the request when it is made: a new one names this application.
        m_page->close();
        m_page->deleteLater();
        m_page = nullptr;
    }
    if (!m_page) {
        CommmonFunction &common = CommmonFunction::shared();
        // A page of our own until the FAQ window, which shows the real block page, is there.
        if (common.hasWindow(QStringLiteral("FAQWC"))) {
            m_page = common.makeWindow(QStringLiteral("FAQWC"));
        } else {
            ours = new BlockPage;
            m_page = ours;
        }
    }
    if (ours)
        ours->setApplication(outcome.name, grace);
    if (!m_page)
        return;
    if (QScreen *screen = QGuiApplication::primaryScreen())
        m_page->setGeometry(screen->geometry());
    m_page->showFullScreen();
    m_page->raise();
    m_page->activateWindow();
}
