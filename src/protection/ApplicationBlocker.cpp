#include "ApplicationBlocker.h"

#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/Workspace.h"

namespace {
QIcon iconOf(const InstalledApp &app)
{
    if (!app.iconFile.isEmpty())
        return QIcon(app.iconFile);
    QIcon icon = QIcon::fromTheme(app.iconName);
    return icon.isNull() ? QIcon::fromTheme(QStringLiteral("application-x-executable")) : icon;
}

// The envelope code of an unblock the account had nothing to do with, and of an id the
// server cannot take: both settle the request for good.
constexpr qint64 notOnAccount = 404;
constexpr qint64 notAnApplication = 422;

PreferencesStore &prefs()
{
    return PreferencesStore::shared();
}

QStringList pending()
{
    return prefs().stringArrayForKey(PrefKey::blockedAppsToUpload);
}

void setPending(const QStringList &ids)
{
    prefs().setStringArray(PrefKey::blockedAppsToUpload, ids);
}
} // namespace

ApplicationBlocker::ApplicationBlocker(std::unique_ptr<Workspace> workspace, QObject *parent)
    : QObject(parent)
    , m_workspace(std::move(workspace))
{
    if (m_workspace) {
        connect(m_workspace.get(), &Workspace::applicationsChanged, this, &ApplicationBlocker::catalogueChanged);
        auto watch = [this] { m_workspace->setWatching(!blockedIDs().isEmpty()); };
        connect(this, &ApplicationBlocker::blockedAppsChanged, this, watch);
        watch();
    }
}

ApplicationBlocker::~ApplicationBlocker() = default;

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

QuitOutcome ApplicationBlocker::quitApplication(const QString &appID)
{
    return m_workspace ? m_workspace->quitApplication(appID) : QuitOutcome();
}

BlockOutcome ApplicationBlocker::block(const QString &appID, const QString &name)
{
    return {appID, name, quitApplication(appID)};
}

QStringList ApplicationBlocker::blockedIDs() const
{
    return prefs().stringArrayForKey(PrefKey::blockedAppDetails);
}

QStringList ApplicationBlocker::withIDs(const QStringList &stored, const QList<InstalledApp> &apps)
{
    QStringList ids;
    for (const QString &entry : stored) {
        QString id = entry;
        const bool isID = std::any_of(apps.begin(), apps.end(), [&](const InstalledApp &app) { return app.id == entry; });
        if (!isID) {
            for (const InstalledApp &app : apps) {
                if (app.name == entry) {
                    id = app.id;
                    break;
                }
            }
        }
        ids.append(id);
    }
    return ids;
}

void ApplicationBlocker::migrateStoredNames()
{
    const QStringList stored = blockedIDs();
    if (stored.isEmpty() || !m_workspace)
        return;
    const QStringList ids = withIDs(stored, m_workspace->installedApplications());
    if (ids == stored)
        return;
    Log::line(QStringLiteral("Blocked applications now kept by their ids"));
    prefs().setStringArray(PrefKey::blockedAppDetails, ids);
    prefs().synchronize();
}

QString ApplicationBlocker::displayName(const QString &appID)
{
    const QList<InstalledApp> apps = m_workspace ? m_workspace->installedApplications() : QList<InstalledApp>();
    for (const InstalledApp &app : apps) {
        if (app.id == appID)
            return app.name;
    }
    return appID;
}

void ApplicationBlocker::blockApp(const QString &appID, const QString &name)
{
    if (appID.isEmpty())
        return;
    QStringList ids = blockedIDs();
    if (!ids.contains(appID))
        ids.append(appID);
    prefs().setStringArray(PrefKey::blockedAppDetails, ids);
    QStringList toSend = pending();
    if (!toSend.contains(appID))
        setPending(toSend << appID);
    prefs().synchronize();
    Log::line(QStringLiteral("Blocked - %1 (%2)").arg(name, appID));
    emit blockedAppsChanged();
    if (m_accountKeepsList && CommonWS::signedIn())
        uploadPending();
}

void ApplicationBlocker::unblockApp(const QString &appID, Unblocked finished)
{
    auto forget = [this, appID] {
        QStringList ids = blockedIDs();
        ids.removeAll(appID);
        prefs().setStringArray(PrefKey::blockedAppDetails, ids);
        QStringList toSend = pending();
        toSend.removeAll(appID);
        setPending(toSend);
        prefs().synchronize();
        Log::line(QStringLiteral("Unblocked - %1").arg(appID));
        emit blockedAppsChanged();
    };
    // A server without the list: this computer's copy is all there is.
    if (!m_accountKeepsList) {
        forget();
        finished(true, QString());
        return;
    }
    QPointer<ApplicationBlocker> self(this);
    CommonWS::shared().unblockApp(
        appID,
        [self, appID, forget, finished](const BaseModel<BlockedAppList> &answer, bool ok) {
            if (!self)
                return;
            if (!ok) {
                finished(false, QString());
                return;
            }
            if (answer.status || answer.code == notOnAccount) {
                forget();
                if (answer.status && answer.data)
                    self->storeWithPending(*answer.data);
                finished(true, QString());
                return;
            }
            finished(false, answer.msg);
        },
        [finished] { finished(false, QString()); });
}

void ApplicationBlocker::takeAccountList(const std::optional<BlockedAppList> &apps, bool signedIn)
{
    if (!apps)
        return;
    m_accountKeepsList = true;
    if (signedIn && !prefs().boolForKey(PrefKey::blockedAppsOnAccount)) {
        // The list this computer had before its account kept one goes to the account.
        QStringList toSend = pending();
        for (const QString &id : blockedIDs()) {
            if (!toSend.contains(id))
                toSend.append(id);
        }
        setPending(toSend);
        prefs().setBool(PrefKey::blockedAppsOnAccount, true);
    }
    storeWithPending(*apps);
    if (signedIn)
        uploadPending();
}

void ApplicationBlocker::storeWithPending(const BlockedAppList &account)
{
    QStringList ids;
    for (const BlockedAppModel &app : account)
        ids.append(app.appID);
    QStringList toSend = pending();
    // Sent already: the account has it.
    toSend.erase(std::remove_if(toSend.begin(), toSend.end(), [&](const QString &id) { return ids.contains(id); }),
                 toSend.end());
    for (const QString &id : std::as_const(toSend))
        ids.append(id);
    setPending(toSend);
    if (ids != blockedIDs()) {
        prefs().setStringArray(PrefKey::blockedAppDetails, ids);
        prefs().synchronize();
        emit blockedAppsChanged();
    } else {
        prefs().synchronize();
    }
}

void ApplicationBlocker::uploadPending()
{
    QPointer<ApplicationBlocker> self(this);
    for (const QString &id : pending()) {
        if (m_uploading.contains(id))
            continue;
        m_uploading.insert(id);
        auto settle = [self, id] {
            if (self)
                self->m_uploading.remove(id);
        };
        CommonWS::shared().blockApp(
            id, displayName(id),
            [self, id, settle](const BaseModel<BlockedAppList> &answer, bool ok) {
                settle();
                if (!self || !ok)
                    return;
                if (answer.status && answer.data) {
                    self->storeWithPending(*answer.data);
                } else if (answer.code == notAnApplication) {
                    // Kept here, never to be sent again: the server cannot take it.
                    QStringList toSend = pending();
                    toSend.removeAll(id);
                    setPending(toSend);
                    prefs().synchronize();
                }
            },
            settle);
    }
}
