#pragma once

#include "ServiceContext.h"

class DeviceService;

// Focus sessions: blocks added for a time, held by the server's clock, that the account
// cannot weaken until they end.
class FocusService : private ServiceLimits
{
public:
    FocusService(ServiceContext &context, DeviceService &devices)
        : m_ctx(context)
        , m_devices(devices)
    {
    }

    static constexpr qint64 minMinutes = 15;
    static constexpr qint64 maxMinutes = 24 * 60;

    ApiReply focusStart(ApiCall &ctx);
    ApiReply focusStatus(ApiCall &ctx);

private:
    ServiceContext &m_ctx;
    DeviceService &m_devices;
};
