#pragma once

#include "platform/ResolverBackend.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

// What a stretch of work on the DNS worker saw and did, for the main thread to write into
// DNSConfiguration: the log lines in the order they arose, the answers of the fresh checks,
// and the state of the services at the end.
struct DNSReport {
    QStringList log;
    QList<bool> checks;
    QString availableServicesString;
    QList<networkservices> availableServices;
    QString ethernetStatusString;
    QString wifiStatusString;
    QString thunderboltStatusString;
    bool canChangeSettings = true;
};

// The watchdog's tick as one piece of work: a check, and when it fails a new apply, with the
// servers read for the log before and after.
struct WatchdogOutcome {
    DNSReport check;
    bool configured = false;
    QStringList before;
    DNSReport apply;
    bool applied = false;
    QStringList after;
};

// The synchronous side of DNSConfiguration: runs the resolver commands and decides from their
// read-back. It owns the backend and is used on DNSConfiguration's worker thread only; what the
// main thread needs comes out through take().
class DNSWorker
{
public:
    explicit DNSWorker(std::unique_ptr<ResolverBackend> backend);

    // Reads the list of services.
    void discoverServices();
    // Reads the servers of every available service.
    void refreshDnsStatus();
    // Whether every available service uses the filtering server, on a fresh read.
    bool isDnsConfigured(const QString &address);
    // Status strings for the log, labelled by service.
    QStringList currentDnsDescription();
    // The change and its verification: true when the filtering server is in use everywhere
    // (apply) or nowhere (clear).
    bool applyFilteringDns(const QString &address);
    bool clearFilteringDns(const QString &address);
    WatchdogOutcome watchdogTick(const QString &address);

    // What was logged and checked since the last take, with the state now.
    DNSReport take();
    // A line for the log, written when the main thread takes the report.
    void log(const QString &line) { m_log.append(line); }

    // From any thread: the backend calls not yet started are skipped, so that the application
    // can end without waiting for a whole piece of work.
    void stop() { m_stopping = true; }

private:
    QString &statusString(networkservices service);
    bool listsAddressEverywhere(const QString &address) const;
    bool listsAddressAnywhere(const QString &address) const;

    std::atomic<bool> m_stopping{false};
    std::unique_ptr<ResolverBackend> m_backend;
    QString m_availableServicesString;
    QList<networkservices> m_availableServices;
    QString m_ethernetStatus;
    QString m_wifiStatus;
    QString m_thunderboltStatus;
    QHash<networkservices, ResolverServers> m_servers;
    QStringList m_log;
    QList<bool> m_checks;
};
