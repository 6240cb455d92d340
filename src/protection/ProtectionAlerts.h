#pragma once

#include "DNSWorker.h"

#include <QObject>
#include <QString>

class DNSConfiguration;

// The words for a DNS change that did not take: its real cause and what to do about it.
QString dnsFailureMessage(const DnsOutcome &outcome);
// The common alert for it.
void showDnsFailure(const DnsOutcome &outcome);

// Shows what protection restored in the background (start-up, the watchdog, the account) ran
// into, and takes the alert away again as soon as a later check finds protection in place or
// nothing to protect: an alert never outlives its failure.
class ProtectionAlerts : public QObject
{
    Q_OBJECT
public:
    explicit ProtectionAlerts(DNSConfiguration &dns, QObject *parent = nullptr);

private:
    void failed(const DnsOutcome &outcome);
    void checked(bool configured);

    // The message of the alert up now; empty when none is.
    QString m_shown;
};
