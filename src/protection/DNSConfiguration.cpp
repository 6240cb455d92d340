#include "DNSConfiguration.h"

#include "BuildConfig.h"
#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "FilterProbe.h"

#include <QCoreApplication>

namespace {
std::unique_ptr<DNSConfiguration> &sharedSlot()
{
    static std::unique_ptr<DNSConfiguration> instance;
    return instance;
}

std::unique_ptr<ResolverBackend> &pendingBackend()
{
    static std::unique_ptr<ResolverBackend> backend;
    return backend;
}

QString &pendingAddress()
{
    static QString address;
    return address;
}
} // namespace

template <typename Result>
void DNSConfiguration::run(std::function<Result(DNSWorker &)> work, std::function<void(const Result &)> done)
{
    if (m_stopped)
        return;
    ++m_outstanding;
    DNSWorker *worker = m_worker.get();
    // The name the account status gave this device, as it is when the work is asked for.
    const QString serverName = PreferencesStore::shared().stringForKey(PrefKey::dotHost).value_or(QString());
    m_pool.start([this, worker, work = std::move(work), done = std::move(done), address = dnsIP, serverName] {
        // What the backend logs takes its place among the worker's own lines.
        const Log::ThreadSink toReport([worker](const QString &line) { worker->log(line); });
        worker->setEncryption(address, serverName);
        Result result = work(*worker);
        // Posted to this object: dropped with it if it is destroyed first.
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result), done] {
                --m_outstanding;
                done(result);
                runWaitingWatchdog();
            },
            Qt::QueuedConnection);
    });
}

DNSConfiguration::DNSConfiguration(std::unique_ptr<ResolverBackend> backend, QString address)
    : dnsIP(std::move(address))
    , m_worker(std::make_unique<DNSWorker>(std::move(backend)))
{
    bool ok = false;
    const uint port = qEnvironmentVariable("NIMBREL_FILTER_PORT").toUInt(&ok);
    if (ok && port > 0 && port < 65536)
        filterPort = quint16(port);
    m_pool.setMaxThreadCount(1);
    // The worker ends with the event loop, while the application object still exists.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &DNSConfiguration::stopWorker);
    run<DNSReport>(
        [](DNSWorker &worker) {
            worker.discoverServices();
            return worker.take();
        },
        [this](const DNSReport &report) { take(report); });
}

DNSConfiguration::~DNSConfiguration()
{
    stopWorker();
}

void DNSConfiguration::stopWorker()
{
    m_stopped = true;
    m_worker->stop();
    m_pool.clear();
    m_pool.waitForDone();
}

void DNSConfiguration::take(const DNSReport &report)
{
    for (const QString &line : report.log)
        Log::line(line);
    availableServicesString = report.availableServicesString;
    availableServices = report.availableServices;
    ethernetStatusString = report.ethernetStatusString;
    wifiStatusString = report.wifiStatusString;
    thunderboltStatusString = report.thunderboltStatusString;
    otherStatusString = report.otherStatusString;
    m_encrypted = report.encrypted;
    for (DnsCheck check : report.checks) {
        const bool configured = check == DnsCheck::offline ? PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus)
                                                           : check == DnsCheck::configured;
        m_configuredAtLastCheck = configured;
        emit dnsChecked(configured);
    }
}

DNSConfiguration &DNSConfiguration::shared()
{
    auto &slot = sharedSlot();
    if (!slot) {
        std::unique_ptr<ResolverBackend> backend = std::move(pendingBackend());
        slot = std::make_unique<DNSConfiguration>(backend ? std::move(backend) : makeResolverBackend(),
                                                  pendingAddress().isEmpty() ? defaultAddress() : pendingAddress());
    }
    return *slot;
}

void DNSConfiguration::resetShared(std::unique_ptr<ResolverBackend> backend, const QString &address)
{
    sharedSlot().reset();
    pendingBackend() = std::move(backend);
    pendingAddress() = address;
}

QString DNSConfiguration::defaultAddress()
{
    return QString::fromLatin1(BuildConfig::dnsIP);
}

namespace {
template <typename Outcome>
struct Verified {
    DNSReport report;
    Outcome outcome;
};
// Where the failure came from, for the log.
const QString startFailed = QStringLiteral("found error in starting protaction");
const QString closeFailed = QStringLiteral("found error in close protaction");
} // namespace

void DNSConfiguration::checkDnsConfigured(std::function<void(bool)> done)
{
    run<Verified<DnsCheck>>(
        [address = dnsIP](DNSWorker &worker) {
            const DnsCheck check = worker.isDnsConfigured(address);
            return Verified<DnsCheck>{worker.take(), check};
        },
        [this, done = std::move(done)](const Verified<DnsCheck> &result) {
            take(result.report);
            if (done)
                done(m_configuredAtLastCheck);
        });
}

void DNSConfiguration::applyFilteringDns(Done done)
{
    run<Verified<DnsOutcome>>(
        [address = dnsIP](DNSWorker &worker) {
            const DnsOutcome outcome = worker.applyFilteringDns(address);
            return Verified<DnsOutcome>{worker.take(), outcome};
        },
        [this, done = std::move(done)](const Verified<DnsOutcome> &result) {
            take(result.report);
            done(result.outcome);
        });
}

void DNSConfiguration::clearFilteringDns(Done done)
{
    run<Verified<DnsOutcome>>(
        [address = dnsIP](DNSWorker &worker) {
            const DnsOutcome outcome = worker.clearFilteringDns(address);
            return Verified<DnsOutcome>{worker.take(), outcome};
        },
        [this, done = std::move(done)](const Verified<DnsOutcome> &result) {
            take(result.report);
            // Nowhere means not everywhere either: a screen made now must not show a stale ON.
            if (result.outcome.ok())
                m_configuredAtLastCheck = false;
            done(result.outcome);
        });
}

void DNSConfiguration::applyOnStartup()
{
    applyFilteringDns([this](const DnsOutcome &outcome) {
        if (outcome.ok()) {
            CommonWS::shared().syncURL({});
            return;
        }
        Log::line(startFailed);
        emit changeFailed(outcome);
    });
}

void DNSConfiguration::checkFromWatchdog(std::function<void(bool, const QStringList &)> checked,
                                         std::function<void(const QStringList &)> applied)
{
    // A tick waiting behind slow work is replaced, never queued: one fresh check does.
    m_waitingWatchdog = WatchdogCallbacks{std::move(checked), std::move(applied)};
    runWaitingWatchdog();
}

void DNSConfiguration::runWaitingWatchdog()
{
    // The tick waits for the work asked before it: a switch-off under way must not be undone
    // by a tick that read the DNS before it.
    if (m_outstanding > 0 || !m_waitingWatchdog)
        return;
    WatchdogCallbacks tick = std::move(*m_waitingWatchdog);
    m_waitingWatchdog.reset();
    if (!PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus))
        return;
    auto work = [address = dnsIP](DNSWorker &worker) { return worker.watchdogTick(address); };
    auto report = [this, tick = std::move(tick)](const WatchdogOutcome &outcome) {
        take(outcome.check);
        if (tick.checked)
            tick.checked(outcome.state != DnsCheck::notConfigured, outcome.before);
        if (outcome.state != DnsCheck::notConfigured)
            return;
        take(outcome.apply);
        if (!outcome.applied.ok()) {
            Log::line(startFailed);
            emit changeFailed(outcome.applied);
        } else if (tick.applied) {
            tick.applied(outcome.after);
        }
    };
    run<WatchdogOutcome>(work, report);
}

void DNSConfiguration::applyFromSwitch(std::function<void()> setScreenOn, Done finished)
{
    // Pointing the system at a filter that does not answer would leave it without names.
    FilterProbe::askFilter(QHostAddress(dnsIP), filterPort, this,
                           [this, setScreenOn = std::move(setScreenOn), finished = std::move(finished)](bool answers) {
        applySwitchAfterProbe(answers, setScreenOn, finished);
    });
}

void DNSConfiguration::applySwitchAfterProbe(bool answers, std::function<void()> setScreenOn, Done finished)
{
    if (!answers) {
        Log::line(QStringLiteral("The filtering DNS at %1 port %2 did not answer; protection not turned on").arg(dnsIP).arg(filterPort));
        if (finished)
            finished({DnsOutcome::filterSilent});
        return;
    }
    applyFilteringDns([setScreenOn = std::move(setScreenOn), finished = std::move(finished)](const DnsOutcome &outcome) {
        if (!outcome.ok()) {
            Log::line(startFailed);
        } else {
            if (setScreenOn)
                setScreenOn();
            PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
            CommonWS::shared().syncURL({});
        }
        if (finished)
            finished(outcome);
    });
}

void DNSConfiguration::clearFromSwitch(std::function<void()> setScreenOff, Done finished)
{
    clearFilteringDns([setScreenOff = std::move(setScreenOff), finished = std::move(finished)](const DnsOutcome &outcome) {
        if (!outcome.ok()) {
            Log::line(closeFailed);
        } else {
            setScreenOff();
            PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, false);
        }
        if (finished)
            finished(outcome);
    });
}

void DNSConfiguration::clearForUninstall(std::function<void()> setScreenOff, std::function<void()> afterClear, Done failed)
{
    clearFilteringDns([setScreenOff = std::move(setScreenOff), afterClear = std::move(afterClear),
                       failed = std::move(failed)](const DnsOutcome &outcome) {
        if (!outcome.ok()) {
            Log::line(closeFailed);
            if (failed)
                failed(outcome);
            return;
        }
        setScreenOff();
        // Protection is off for good: the watchdog must not put it back while the files go.
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, false);
        afterClear();
    });
}
