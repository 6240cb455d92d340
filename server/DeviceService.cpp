#include "DeviceService.h"

#include "ApiSupport.h"
#include "SessionCache.h"

#include "core/Log.h"
#include "dns/DeviceKey.h"
#include "storage/SqlStorage.h"

using namespace ApiSupport;

// Devices, the account status call, and what protects a device: its protection and the
// account's blocked applications. The app keeps only a copy of these; it takes them back from
// every account status answer, so an edited preferences file changes nothing for long.

namespace {
QString platformIDOf(const ApiCall &ctx)
{
    return ctx.field(QStringLiteral("platform_unique_id")).trimmed();
}

// How stale a repeated status call may leave its device's time.
constexpr qint64 lastSeenWriteMs = 60 * 1000;

bool validPlatformID(const QString &platformID)
{
    return !platformID.isEmpty() && platformID.size() <= 200 && validText(platformID.left(ServiceLimits::maxTextLength));
}

// A desktop entry's id: what the desktop itself calls the application ("org.gnome.Maps").
bool validAppID(const QString &id)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9._+-]{1,200}")));
    return pattern.match(id).hasMatch();
}
} // namespace

std::optional<DeviceRow> DeviceService::recordDevice(ApiCall &ctx, qint64 userID)
{
    const QString platformID = platformIDOf(ctx);
    if (!validPlatformID(platformID))
        return std::nullopt;
    return recordDevice(ctx, userID, platformID, m_ctx.storage.device(userID, platformID));
}

std::optional<DeviceRow> DeviceService::recordDevice(ApiCall &ctx, qint64 userID, const QString &platformID,
                                                     std::optional<DeviceRow> device)
{
    const QString &address = ctx.request.remoteAddress;
    const bool moved = !device || device->address != address;
    // A call that repeats the last one recorded (same account, computer and address) changes
    // nothing anyone orders by; its time is written once a minute, not on every call.
    const bool repeat = m_ctx.cache.repeatsLastSync(userID, platformID, address);
    if (!repeat || moved || device->lastSeenAt.msecsTo(ctx.now) >= lastSeenWriteMs) {
        m_ctx.storage.recordDevice(userID, platformID, address, ctx.now);
        m_ctx.cache.syncRecorded(userID, platformID, address);
        m_ctx.statusChanged(userID);
        if (!device)
            device = m_ctx.storage.device(userID, platformID); // recorded just now
    }
    // The filtering DNS tells users apart by the address of their latest status call: it hears
    // of every call but the repeats.
    if (!repeat || moved)
        m_ctx.devicesChanged(userID);
    return device;
}

void DeviceService::keepProtected(ApiCall &ctx)
{
    const std::optional<DeviceRow> device = recordDevice(ctx, ctx.user->id);
    if (!device || device->protectedIntent)
        return;
    m_ctx.storage.setDeviceProtected(ctx.user->id, device->platformID, true);
    m_ctx.statusChanged(ctx.user->id);
}

SessionCache::AccountStatus DeviceService::statusOf(qint64 userID)
{
    if (std::optional<SessionCache::AccountStatus> kept = m_ctx.cache.status(userID))
        return std::move(*kept);
    const quint64 generation = m_ctx.cache.generation();
    SessionCache::AccountStatus status;
    status.pin = m_ctx.storage.pinForUser(userID);
    status.apps = m_ctx.storage.blockedApps(userID);
    for (const DeviceRow &device : m_ctx.storage.devices(userID))
        status.devices.insert(device.platformID, device);
    status.focus = FocusState::read(m_ctx.storage, userID);
    m_ctx.cache.keepStatus(generation, userID, status);
    return status;
}

SyncURLModel DeviceService::accountProtection(const QList<BlockedAppRow> &blockedApps,
                                              const std::optional<DeviceRow> &device)
{
    SyncURLModel status;
    status.deviceProtected = device && device->protectedIntent;
    BlockedAppList apps;
    for (const BlockedAppRow &row : blockedApps)
        apps.append({row.appID, row.name});
    status.blockedApps = apps;
    return status;
}

ApiReply DeviceService::syncURL(ApiCall &ctx)
{
    const qint64 userID = ctx.user->id;
    const SessionCache::AccountStatus account = statusOf(userID);
    const QString platformID = platformIDOf(ctx);
    std::optional<DeviceRow> device;
    if (validPlatformID(platformID)) {
        const auto known = account.devices.constFind(platformID);
        device = recordDevice(ctx, userID, platformID,
                              known == account.devices.constEnd() ? std::nullopt : std::optional(*known));
    }
    SyncURLModel status;
    if (!m_ctx.settings.classicApi) {
        // The device says whether it is protected now. Turning it off weakens it: with a PIN on
        // the account that needs a recently verified PIN, like unblocking a site, and during a
        // focus lock it is not done at all.
        const QString reported = ctx.field(QStringLiteral("protection"));
        if (device && (reported == QLatin1String("1") || reported == QLatin1String("0"))) {
            const bool on = reported == QLatin1String("1");
            if (!on && device->protectedIntent && m_ctx.weakeningLocked(ctx)) {
                Log::line(QStringLiteral("sync-url: user %1 asked to turn protection off during a focus lock; kept on")
                              .arg(userID));
            } else if (!on && device->protectedIntent && !m_ctx.pinWindowOpen(ctx)) {
                Log::line(QStringLiteral("sync-url: user %1 asked to turn protection off without the pin; kept on")
                              .arg(userID));
            } else if (on != device->protectedIntent) {
                m_ctx.storage.setDeviceProtected(userID, platformID, on);
                m_ctx.statusChanged(userID);
                device->protectedIntent = on;
            }
        }
        status = accountProtection(account.apps, device);
        const FocusStatusModel focus = account.focus.model(ctx.now);
        status.focus = focus.focus;
        status.lockSeconds = focus.lockSeconds;
        status.nextEdgeSeconds = focus.nextEdgeSeconds;
        if (m_ctx.settings.filteringDns)
            addEncryptedDns(ctx, device, status);
    }
    if (account.pin)
        status.pinProtection = pinProtectionModel(*account.pin, ctx.now);

    // The payload also carries the account, which the app does not read.
    QJsonObject data = encodeRecord(userModel(*ctx.user));
    const QJsonObject statusFields = encodeRecord(status);
    for (auto it = statusFields.begin(); it != statusFields.end(); ++it)
        data.insert(it.key(), it.value());
    data.insert(QStringLiteral("platform_unique_id"), platformID);

    BaseModel<SyncURLModel> envelope;
    envelope.status = true;
    envelope.code = ok;
    envelope.msg = ctx.msg(Msg::synced);
    envelope.version = apiVersion;
    QJsonObject body = encodeRecord(envelope);
    body.insert(QStringLiteral("data"), data);
    ApiReply reply;
    reply.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return reply;
}

void DeviceService::addEncryptedDns(ApiCall &ctx, const std::optional<DeviceRow> &device, SyncURLModel &status)
{
    const qint64 userID = ctx.user->id;
    const QList<qint64> seen =
        m_ctx.storage.usersSeenAt(ctx.request.remoteAddress, ctx.now.addSecs(-sharedAddressSeconds));
    status.sharedAddress = std::any_of(seen.begin(), seen.end(), [userID](qint64 other) { return other != userID; });
    if (!device)
        return;
    // Only the key's hash is kept, so the key is in the answer that makes it, and the app keeps
    // it. The app sends it back as "dns_key" to have it confirmed; one that does not match (lost,
    // replaced, or made for an earlier session of this device) or an empty one gets a new key,
    // as does a device without a key for this session. An app that never sends one keeps the
    // key it was given once.
    bool asked = false;
    for (const auto &[name, value] : ctx.form)
        asked = asked || name == QLatin1String("dns_key");
    const QString held = ctx.field(QStringLiteral("dns_key")).trimmed().toLower();
    const bool live = !device->dnsKeyHash.isEmpty() && device->dnsKeyTokenID == ctx.token->id;
    QString key;
    if (live && !held.isEmpty() && Crypto::equalSecrets(DeviceKey::hash(held), device->dnsKeyHash)) {
        key = held;
    } else if (!live || asked) {
        key = DeviceKey::make();
        m_ctx.storage.setDeviceKey(userID, device->platformID, DeviceKey::hash(key), ctx.token->id);
        m_ctx.statusChanged(userID);
        m_ctx.devicesChanged(userID);
    }
    if (key.isEmpty())
        return;
    if (!m_ctx.settings.dotZone.isEmpty())
        status.dotHost = key + QLatin1Char('.') + m_ctx.settings.dotZone;
    status.dohURL = m_ctx.settings.publicBase.resolved(QUrl(QStringLiteral("dns-query/") + key)).toString();
}

ApiReply DeviceService::anonymousSync(ApiCall &ctx)
{
    // Nobody is signed in on this computer (the built-in token): nothing is recorded, but the
    // app learns what the account that used it last keeps protecting, so a sign-out does not
    // lift the protection.
    BaseModel<SyncURLModel> model;
    model.status = false;
    model.code = ok;
    model.msg = ctx.msg(Msg::nothingToSync);
    model.version = apiVersion;
    const QString platformID = platformIDOf(ctx);
    if (!m_ctx.settings.classicApi && validPlatformID(platformID)) {
        if (const std::optional<DeviceRow> device = m_ctx.storage.latestDevice(platformID)) {
            const SessionCache::AccountStatus account = statusOf(device->userID);
            model.data = accountProtection(account.apps, device);
            model.data->lockSeconds = account.focus.lockSeconds(ctx.now);
        }
    }
    return json(model);
}

ApiReply DeviceService::blockApp(ApiCall &ctx)
{
    const QString appID = ctx.field(QStringLiteral("app_id")).trimmed();
    QString name = ctx.field(QStringLiteral("name")).trimmed();
    if (!validAppID(appID))
        return refused<BaseModel<BlockedAppList>>(unprocessable, ctx.msg(Msg::appInvalid));
    if (name.isEmpty() || !validText(name))
        name = appID;
    m_ctx.storage.addBlockedApp(ctx.user->id, appID, name, ctx.now);
    m_ctx.statusChanged(ctx.user->id);
    return accepted(ok, ctx.msg(Msg::appBlocked),
                    *accountProtection(m_ctx.storage.blockedApps(ctx.user->id), std::nullopt).blockedApps);
}

ApiReply DeviceService::unblockApp(ApiCall &ctx)
{
    const QString appID = ctx.field(QStringLiteral("app_id")).trimmed();
    if (!validAppID(appID))
        return refused<BaseModel<BlockedAppList>>(unprocessable, ctx.msg(Msg::appInvalid));
    if (const std::optional<QString> why = m_ctx.weakeningLocked(ctx))
        return refused<BaseModel<BlockedAppList>>(locked, *why);
    if (!m_ctx.pinWindowOpen(ctx))
        return refused<BaseModel<BlockedAppList>>(forbidden, ctx.msg(Msg::pinRequired));
    if (!m_ctx.storage.removeBlockedApp(ctx.user->id, appID))
        return refused<BaseModel<BlockedAppList>>(notFound, ctx.msg(Msg::appNotBlocked));
    m_ctx.statusChanged(ctx.user->id);
    return accepted(ok, ctx.msg(Msg::appUnblocked),
                    *accountProtection(m_ctx.storage.blockedApps(ctx.user->id), std::nullopt).blockedApps);
}
