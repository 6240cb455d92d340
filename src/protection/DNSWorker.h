#pragma once

#include "platform/ResolverBackend.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

// What a change of the resolver came to. Whoever asked decides what to show of it.
struct DnsOutcome {
    enum Kind {
        applied,      // the filter is now the only server everywhere
        already,      // it was already
        cleared,      // the filter is used nowhere any more
        noConnection, // no connection carries DNS: nothing to protect or to clear
        noBackend,    // nothing on this system can change the resolver settings
        refused,      // the system refused; detail: the permission refused (may be empty)
        filterSilent, // the filter does not answer, so nothing was changed
        failed,       // the change did not take; detail: what the tool said
    };
    Kind kind = failed;
    QString detail = {};
    bool ok() const { return kind == applied || kind == already || kind == cleared || kind == noConnection; }
};

// A fresh look at the services: whether each connection that carries DNS uses only the filter.
enum class DnsCheck { configured, notConfigured, offline };

// What a stretch of work on the DNS worker saw and did, for the main thread to write into
// DNSConfiguration: the log lines in the order they arose, the answers of the fresh checks,
// and the state of the services at the end.
struct DNSReport {
    QStringList log;
    QList<DnsCheck> checks;
    QString availableServicesString;
    QList<networkservices> availableServices;
    QString ethernetStatusString;
    QString wifiStatusString;
    QString thunderboltStatusString;
    QString otherStatusString;
    bool encrypted = false; // look-ups to the filter go encrypted, under the device's name
};

// The watchdog's tick as one piece of work: a check, and when it fails a new apply, with the
// servers read for the log before and after.
struct WatchdogOutcome {
    DNSReport check;
    DnsCheck state = DnsCheck::notConfigured;
    QStringList before;
    DNSReport apply;
    DnsOutcome applied;
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
    // Whether every available service uses only the filtering server, on a fresh read.
    DnsCheck isDnsConfigured(const QString &address);
    // Status strings for the log, labelled by service.
    QStringList currentDnsDescription();
    // The change and its verification on a fresh read: the filtering server the only one
    // everywhere (apply) or used nowhere (clear).
    DnsOutcome applyFilteringDns(const QString &address);
    DnsOutcome clearFilteringDns(const QString &address);
    WatchdogOutcome watchdogTick(const QString &address);

    // Encrypted DNS to the filter under this server name from now on (empty: plain), where the
    // backend can.
    void setEncryption(const QString &address, const QString &serverName)
    {
        m_backend->setEncryption(address, serverName);
    }

    // What was logged and checked since the last take, with the state now.
    DNSReport take();
    // A line for the log, written when the main thread takes the report.
    void log(const QString &line) { m_log.append(line); }

    // From any thread: the backend calls not yet started are skipped, so that the application
    // can end without waiting for a whole piece of work.
    void stop() { m_stopping = true; }

private:
    QString &statusString(networkservices service);
    bool listsOnlyAddressEverywhere(const QString &address) const;
    bool listsAddressAnywhere(const QString &address) const;
    // A check that is not reported.
    DnsCheck freshCheck(const QString &address);
    // Whether done() comes true within a short while after a change.
    bool settles(const std::function<bool()> &done);
    // Why a change did not take, from what the tool said.
    DnsOutcome failure(const QString &output) const;

    std::atomic<bool> m_stopping{false};
    std::unique_ptr<ResolverBackend> m_backend;
    QString m_availableServicesString;
    QList<networkservices> m_availableServices;
    QString m_ethernetStatus;
    QString m_wifiStatus;
    QString m_thunderboltStatus;
    QString m_otherStatus;
    QHash<networkservices, ResolverServers> m_servers;
    QStringList m_log;
    QList<DnsCheck> m_checks;
};
