#pragma once

#include "ServiceContext.h"

class DeviceService;
struct FocusState;

// Focus sessions and weekly windows: blocks added for a time, held by the server's clock,
// that the account cannot weaken until they end (a window only when it locks).
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
    ApiReply saveSchedule(ApiCall &ctx);
    ApiReply deleteSchedule(ApiCall &ctx);

private:
    // The "websites" and "categories" of the form, normalised; the refusal when one is bad.
    std::optional<ApiReply> readAdditions(ApiCall &ctx, QStringList &websites, QList<qint64> &categories);
    // A window open now may not change while weakening is locked (itself, when it locks).
    std::optional<ApiReply> refuseOpenWindowChange(ApiCall &ctx, const FocusState &state, qint64 scheduleID);

    ServiceContext &m_ctx;
    DeviceService &m_devices;
};
