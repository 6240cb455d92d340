#pragma once

#include "platform/ResolverBackend.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// Points the resolver of the computer's network services at the filtering DNS server, takes
// it away again, and decides from a fresh read-back whether the change took effect.
// One shared instance. The services are discovered afresh before every change and check, so
// a network joined while the application runs is protected too.
class DNSConfiguration : public QObject
{
    Q_OBJECT
public:
    explicit DNSConfiguration(std::unique_ptr<ResolverBackend> backend, QString address = defaultAddress());

    static DNSConfiguration &shared();
    // Tests: the next shared() makes a new instance on this backend (nullptr: the system's).
    static void resetShared(std::unique_ptr<ResolverBackend> backend = nullptr);
    static QString defaultAddress();

    // Reads the list of services into availableServices.
    void discoverServices();
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
    // Asks the filter first and changes nothing when it does not answer; the outcome arrives
    // on the event loop. setScreenOn runs only on success, finished after any outcome.
    void applyFromSwitch(std::function<void()> setScreenOn, std::function<void()> finished = {});
    void clearFromSwitch(const std::function<void()> &setScreenOff);
    // Uninstall clears the DNS before anything else; afterClear runs only when that worked.
    void clearForUninstall(const std::function<void()> &setScreenOff, const std::function<void()> &afterClear);
    void clearForVerifiedSignOut(std::function<void()> afterLogout);
    void clearForVerifiedTurnOff(const std::function<void(bool)> &completion);

    QString dnsIP;
    // Where the filter answers DNS: 53, or NIMBREL_FILTER_PORT (tests run the filter on a free port).
    quint16 filterPort = 53;
    QString ethernetStatusString;
    QString wifiStatusString;
    QString thunderboltStatusString;
    QString availableServicesString;
    QList<networkservices> availableServices;

signals:
    // Every fresh check of the services (the watchdog's among them) reports here.
    void dnsChecked(bool configured);

private:
    QString &statusString(networkservices service);
    const QString &statusString(networkservices service) const;
    bool listsAddressEverywhere() const;
    bool listsAddressAnywhere() const;
    void showFailureAlert(const QString &logLine);
    void applySwitchAfterProbe(bool answers, const std::function<void()> &setScreenOn);

    std::unique_ptr<ResolverBackend> m_backend;
    QHash<networkservices, QList<QHostAddress>> m_servers;
};
