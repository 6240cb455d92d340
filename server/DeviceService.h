#pragma once

#include "ServiceContext.h"

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

    // The computer that sent the request is one of the user's devices, at its address.
    void recordDevice(ApiCall &ctx, qint64 userID);

private:
    // The device protection and blocked applications of the account status answer.
    SyncURLModel accountProtection(qint64 userID, const std::optional<DeviceRow> &device);

    ServiceContext &m_ctx;
};
