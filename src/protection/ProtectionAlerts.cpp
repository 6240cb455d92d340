#include "ProtectionAlerts.h"

#include "DNSConfiguration.h"
#include "platform/AlertPresenter.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

namespace {
// The tool's own words can run long; the end says why.
QString lastWords(const QString &text)
{
    constexpr int most = 300;
    const QString trimmed = text.trimmed();
    return trimmed.size() <= most ? trimmed : QStringLiteral("...") + trimmed.right(most);
}
} // namespace

QString dnsFailureMessage(const DnsOutcome &outcome)
{
    switch (outcome.kind) {
    case DnsOutcome::noBackend:
        return messageText(QStringLiteral(
            "The network settings cannot be changed: neither NetworkManager nor systemd-resolved is available."));
    case DnsOutcome::refused:
        if (outcome.detail.isEmpty())
            return messageText(QStringLiteral("Requires admin privileges"));
        return messageText(QStringLiteral("The system refused to change the DNS settings (polkit action %1). An "
                                          "administrator can allow it for your session: see \"Installing\" in the README."))
            .arg(outcome.detail);
    case DnsOutcome::filterSilent:
        return messageText(QStringLiteral("The filtering service cannot be reached, so protection was not turned on."));
    case DnsOutcome::failed:
        if (outcome.detail.isEmpty())
            return messageText(QStringLiteral("The DNS settings did not change, and the network tools gave no reason."));
        return messageText(QStringLiteral("The DNS settings did not change: %1")).arg(lastWords(outcome.detail));
    case DnsOutcome::applied:
    case DnsOutcome::already:
    case DnsOutcome::cleared:
    case DnsOutcome::noConnection:
        break;
    }
    return {};
}

void showDnsFailure(const DnsOutcome &outcome)
{
    CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), dnsFailureMessage(outcome));
}

ProtectionAlerts::ProtectionAlerts(DNSConfiguration &dns, QObject *parent)
    : QObject(parent)
{
    connect(&dns, &DNSConfiguration::changeFailed, this, &ProtectionAlerts::failed);
    connect(&dns, &DNSConfiguration::dnsChecked, this, &ProtectionAlerts::checked);
}

void ProtectionAlerts::failed(const DnsOutcome &outcome)
{
    const QString message = dnsFailureMessage(outcome);
    // Another cause replaces the one shown; the same one stays up once.
    if (!m_shown.isEmpty() && m_shown != message)
        AlertPresenter::shared().dismissCommonAlert(messageText(QStringLiteral("Ooops")), m_shown);
    m_shown = message;
    showDnsFailure(outcome);
}

void ProtectionAlerts::checked(bool configured)
{
    if (!configured || m_shown.isEmpty())
        return;
    AlertPresenter::shared().dismissCommonAlert(messageText(QStringLiteral("Ooops")), std::exchange(m_shown, {}));
}
