#include "ApplicationBlocker.h"

#include "BlockPage.h"
#include "core/Log.h"
#include "platform/Workspace.h"
#include "ui/BlockPage.h"
#include "ui/CommmonFunction.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

namespace {
QIcon iconOf(const InstalledApp &app)
{
    if (!app.iconFile.isEmpty())
        return QIcon(app.iconFile);
    QIcon icon = QIcon::fromTheme(app.iconName);
    return icon.isNull() ? QIcon::fromTheme(QStringLiteral("application-x-executable")) : icon;
}
} // namespace

ApplicationBlocker::ApplicationBlocker(std::unique_ptr<Workspace> workspace, QObject *parent)
    : QObject(parent)
    , m_workspace(std::move(workspace))
{
}

ApplicationBlocker::~ApplicationBlocker()
{
    delete wc;
}

QList<ApplicationDetail> ApplicationBlocker::buildApplicationCatalogue()
{
    QList<ApplicationDetail> wholeData;
    QStringList names;
    const QList<InstalledApp> apps = m_workspace ? m_workspace->installedApplications() : QList<InstalledApp>();
    for (const InstalledApp &app : apps) {
        wholeData.append({iconOf(app), app.name, false, app.id});
        names << app.name;
    }
    Log::line(QStringLiteral("Whole Data - [") + names.join(QStringLiteral(", ")) + QLatin1Char(']'));
    return wholeData;
}

void ApplicationBlocker::quitApplication(const QString &name)
{
    if (m_workspace)
        m_workspace->quitApplication(name);
}

void ApplicationBlocker::block(const QString &name)
{
    quitApplication(name);
    isBlockPageRequested = true;
    blockedApplication = name;
    CommmonFunction &common = CommmonFunction::shared();
    if (!wc) {
        // A page of our own until the FAQ window, which shows the real block page, is there.
        wc = common.hasWindow(QStringLiteral("FAQWC")) ? common.makeWindow(QStringLiteral("FAQWC")) : new BlockPage;
    }
    if (auto *page = qobject_cast<BlockPage *>(wc.data()))
        page->setApplicationName(name);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        wc->setGeometry(screen->geometry());
    wc->showFullScreen();
    wc->raise();
    wc->activateWindow();
}
