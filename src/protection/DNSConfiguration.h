#pragma once

#include "DNSWorker.h"
#include "platform/ResolverBackend.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <optional>

// Points the resolver of the computer's network services at the filtering DNS server, takes
// it away again, and decides from a fresh read-back whether the change took effect.
// One shared instance. The services are discovered afresh before every change and check, so
// a network joined while the application runs is protected too.
//
// The commands run on a worker thread of this object's own, one piece of work at a time and in
// the order asked, so the window never waits for them. Outcomes arrive on the event loop: the
// members below are updated, the log written and callbacks called there. Nothing is delivered
// once the instance is gone. It never shows anything itself: the screen and the application
// decide what to make of an outcome.
class DNSConfiguration : public QObject
{
    Q_OBJECT
public:
    explicit DNSConfiguration(std::unique_ptr<ResolverBackend> backend, QString address = defaultAddress());
    // Waits for the backend call under way (a few commands at most); the rest of the work
    // asked is dropped.
    ~DNSConfiguration() override;

    static DNSConfiguration &shared();
    // Tests: the next shared() makes a new instance on this backend (nullptr: the system's) and
    // filter address (empty: the built-in one).
    static void resetShared(std::unique_ptr<ResolverBackend> backend = nullptr, const QString &address = {});
    static QString defaultAddress();

    using Done = std::function<void(const DnsOutcome &)>;

    // A fresh check, reported through dnsChecked (and done, when given).
    void checkDnsConfigured(std::function<void(bool)> done = {});
    void applyFilteringDns(Done done);
    void clearFilteringDns(Done done);
    // The answer of the latest check (false before any and after a clear), for a screen to
    // show until the next one answers.
    bool configuredAtLastCheck() const { return m_configuredAtLastCheck; }
    // Whether look-ups to the filter go encrypted under this device's own name (DNS over TLS),
    // as the latest work found the backend.
    bool encrypted() const { return m_encrypted; }

    // What each caller does with the outcome.
    // Protection restored at start or asked back by the account; a failure goes to changeFailed.
    void applyOnStartup();
    // The watchdog's tick: a check, and a new apply when it fails (changeFailed when that
    // fails). checked gets the check's answer and the servers read for the log; applied the
    // servers after a successful apply. It waits for the work asked before it and then runs
    // only if protection is still on ("dnsLastStatus"); of ticks waiting, only the latest is kept.
    void checkFromWatchdog(std::function<void(bool configured, const QStringList &description)> checked,
                           std::function<void(const QStringList &description)> applied);
    // Asks the filter first and changes nothing when it does not answer. setScreenOn runs
    // only on success, finished after any outcome.
    void applyFromSwitch(std::function<void()> setScreenOn, Done finished = {});
    void clearFromSwitch(std::function<void()> setScreenOff, Done finished = {});
    // Uninstall clears the DNS before anything else; afterClear runs only when that worked,
    // failed otherwise.
    void clearForUninstall(std::function<void()> setScreenOff, std::function<void()> afterClear, Done failed = {});

    QString dnsIP;
    // Where the filter answers DNS: 53, or NIMBREL_FILTER_PORT (tests run the filter on a free port).
    quint16 filterPort = 53;
    // As the latest outcome found them.
    QString ethernetStatusString;
    QString wifiStatusString;
    QString thunderboltStatusString;
    QString otherStatusString;
    QString availableServicesString;
    QList<networkservices> availableServices;

signals:
    // Every fresh check of the services (the watchdog's among them) reports here. With no
    // connection to protect, the user's choice stands: offline is not a failure.
    void dnsChecked(bool configured);
    // Protection restored in the background (start-up, the watchdog, the account) did not take.
    void changeFailed(const DnsOutcome &outcome);

private:
    struct WatchdogCallbacks {
        std::function<void(bool, const QStringList &)> checked;
        std::function<void(const QStringList &)> applied;
    };

    // Runs work(worker) on the worker thread, then done(result) here.
    template <typename Result>
    void run(std::function<Result(DNSWorker &)> work, std::function<void(const Result &)> done);
    // Writes what the worker saw into the members and the log, and emits its checks.
    void take(const DNSReport &report);
    void runWaitingWatchdog();
    void stopWorker();
    void applySwitchAfterProbe(bool answers, std::function<void()> setScreenOn, Done finished);

    std::unique_ptr<DNSWorker> m_worker;
    // One thread: the work runs one at a time, in the order asked.
    QThreadPool m_pool;
    bool m_stopped = false;
    int m_outstanding = 0;
    std::optional<WatchdogCallbacks> m_waitingWatchdog;
    bool m_configuredAtLastCheck = false;
    bool m_encrypted = false;
};
