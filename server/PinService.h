#pragma once

#include "ServiceContext.h"

// The account's PIN: set up, checked, changed, removed, and retrieved by e-mail after its
// waiting time.
class PinService : private ServiceLimits
{
public:
    explicit PinService(ServiceContext &context)
        : m_ctx(context)
    {
    }

    ApiReply setupPin(ApiCall &ctx);
    ApiReply checkPin(ApiCall &ctx);
    ApiReply retrievePin(ApiCall &ctx);
    ApiReply updatePin(ApiCall &ctx);
    ApiReply removePin(ApiCall &ctx);

    // E-mails the PINs whose waiting time is over; gives how many were sent. Safe to run on
    // several servers at once: each PIN is sent by one of them.
    int sendDuePins();

private:
    enum class PinCheck { matched, wrong, blocked };
    PinCheck tryPin(const PinRow &pin, const QString &candidate);

    ServiceContext &m_ctx;
};
