#pragma once

#include "ServiceContext.h"
#include "SessionCache.h"

#include "records/Records.h"

// Devices, the account status call, and what protects a device: its protection and the
// account's blocked applications.
class DeviceService : private ServiceLimits
{
public:
    explicit DeviceService(ServiceContext &context)
        : m_ctx(context)
    {
    }

    ApiReply syncURL(ApiCall &ctx);
    // The account status asked with the built-in token: nobody is signed in on that computer.
    ApiReply anonymousSync(ApiCall &ctx);
    ApiReply blockApp(ApiCall &ctx);
    ApiReply unblockApp(ApiCall &ctx);

    // The computer that sent the request is one of the user's devices, at its address. Gives
    // its row as now recorded; none when it is new or named no device.
    std::optional<DeviceRow> recordDevice(ApiCall &ctx, qint64 userID);
    // The computer that sent the request (its "platform_unique_id") is to be protected from now.
    void keepProtected(ApiCall &ctx);

private:
    std::optional<DeviceRow> recordDevice(ApiCall &ctx, qint64 userID, const QString &platformID,
                                          std::optional<DeviceRow> device);
    // The PIN, blocked applications and devices of the account, from memory when kept.
    SessionCache::AccountStatus statusOf(qint64 userID);
    // The device protection and blocked applications of the account status answer.
    static SyncURLModel accountProtection(const QList<BlockedAppRow> &blockedApps,
                                          const std::optional<DeviceRow> &device);

    // The device's key to the filtering DNS and whether its address is shared with other accounts.
    void addEncryptedDns(ApiCall &ctx, const std::optional<DeviceRow> &device, SyncURLModel &status);

    ServiceContext &m_ctx;
};
