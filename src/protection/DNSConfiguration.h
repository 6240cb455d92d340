#pragma once

#include "platform/ResolverBackend.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// Points the resolver of the computer's network services at the filtering DNS server, takes
// it away again, and decides from a fresh read-back whether the change took effect.
// One shared instance; the services are discovered once, when it is made.
class DNSConfiguration
{
public:
    explicit DNSConfiguration(std::unique_ptr<ResolverBackend> backend, QString address = defaultAddress());

    static DNSConfiguration &shared();
    // Tests: the next shared() makes a new instance on this backend (nullptr: the system's).
    static void resetShared(std::unique_ptr<ResolverBackend> backend = nullptr);
    static QString defaultAddress();

    // Reads the servers of every available service into its status string.
    void refreshDnsStatus();
    // Whether every available service uses the filtering server, on a fresh read.
    bool isDnsConfigured();
    // Status strings for the log, labelled by service.
    QStringList currentDnsDescription();

    // The change and its verification: true when the filtering server is in use everywhere
    // (apply) or nowhere (clear).
    bool applyFilteringDns();
    bool clearFilteringDns();

    // What each caller does with the outcome.
    void applyOnStartup();
    void applyFromWatchdog(const std::function<void()> &onSuccess);
    void applyFromSwitch(const std::function<void()> &setScreenOn);
    void clearFromSwitch(const std::function<void()> &setScreenOff);
    void clearForUninstall(const std::function<void()> &setScreenOff, std::function<void()> afterLogout);
    void clearForVerifiedSignOut(std::function<void()> afterLogout);
    void clearForVerifiedTurnOff(const std::function<void(bool)> &completion);

    QString dnsIP;
    QString ethernetStatusString;
    QString wifiStatusString;
    QString thunderboltStatusString;
    QString availableServicesString;
    QList<networkservices> availableServices;

private:
    QString &statusString(networkservices service);
    const QString &statusString(networkservices service) const;
    bool listsAddressEverywhere() const;
    bool listsAddressAnywhere() const;
    void showFailureAlert(const QString &logLine);

    std::unique_ptr<ResolverBackend> m_backend;
};
