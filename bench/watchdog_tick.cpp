// How long one watchdog tick keeps the window's thread busy, with two active NetworkManager
// connections (Ethernet and Wi-Fi) through the nmcli stand-in of the tests, or the real nmcli
// when run with --real (read-only on a protected machine: a tick only reads when nothing changed).
// Side by side: the tick's commands run on the window's thread, as they once were, and the
// tick as the application runs it now, on the DNS worker, where the window's thread is
// measured by the longest gap between the beats of a 1 ms timer.
//
//     build/bench/nimbrel_bench_watchdog [RUNS] [--real]
#include "app/AppDelegate.h"
#include "core/Log.h"
#include "platform/LaunchAgent.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "protection/DNSConfiguration.h"
#include "protection/DNSWorker.h"
#include "ui/StartupPresenter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>

namespace {
class NoPresenter : public StartupPresenter
{
public:
    void showVerifyPinOnStart() override {}
    void showLogIn() override {}
    void openMainContent(const QSize &) override {}
};

void write(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
}

// Two active connections already using the filter: the tick's common case, "NO CHANGE".
void fakeNetwork(const QString &root, const QByteArray &filter)
{
    const QString nm = root + QStringLiteral("/fake-state/nmcli/");
    write(nm + QStringLiteral("active"), "uuid-eth\nuuid-wifi\n");
    const QList<std::tuple<QByteArray, QByteArray, QByteArray, QByteArray>> connections = {
        {"uuid-eth", "Wired", "802-3-ethernet", "eth0"}, {"uuid-wifi", "Home", "802-11-wireless", "wlan0"}};
    for (const auto &[uuid, name, type, device] : connections) {
        const QString dir = nm + QStringLiteral("connections/") + QString::fromLatin1(uuid) + QLatin1Char('/');
        write(dir + QStringLiteral("name"), name);
        write(dir + QStringLiteral("type"), type);
        write(dir + QStringLiteral("device"), device);
        write(dir + QStringLiteral("ipv4.dns"), filter);
        write(dir + QStringLiteral("ipv4.ignore-auto-dns"), "yes");
        write(dir + QStringLiteral("ipv6.dns"), "");
        write(dir + QStringLiteral("ipv6.ignore-auto-dns"), "yes");
        write(nm + QStringLiteral("devices/") + QString::fromLatin1(device) + QStringLiteral("/ip4-dns"), filter + '\n');
    }
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool real = args.contains(QStringLiteral("--real"));
    int runs = 20;
    for (const QString &arg : args.mid(1))
        if (arg.toInt() > 0)
            runs = arg.toInt();

    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    if (!real) {
        qputenv("FAKE_TOOL_STATE", (home.path() + QStringLiteral("/fake-state")).toUtf8());
        qputenv("PATH", QByteArray(NIMBREL_FAKES_DIR) + ':' + qgetenv("PATH"));
        fakeNetwork(home.path(), DNSConfiguration::defaultAddress().toLatin1());
    }
    PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
    NoPresenter presenter;
    AppDelegate delegate(nullptr, &presenter);

    // The log is not what is measured.
    Log::setSink([](const QString &) {});

    // Before: the same commands, on the window's thread.
    QList<double> blockedBefore;
    DNSWorker onWindowThread(makeResolverBackend());
    for (int i = 0; i < runs + 1; ++i) {
        QElapsedTimer timer;
        timer.start();
        onWindowThread.watchdogTick(DNSConfiguration::defaultAddress());
        if (i > 0) // the first one warms caches
            blockedBefore.append(double(timer.nsecsElapsed()) / 1e6);
    }

    // Now: the tick from the watchdog, until its outcome is back on the window's thread.
    QList<double> blockedNow;
    QList<double> doneNow;
    DNSConfiguration &dns = DNSConfiguration::shared();
    for (int i = 0; i < runs + 1; ++i) {
        QEventLoop loop;
        QElapsedTimer sinceBeat;
        QElapsedTimer tick;
        qint64 longest = 0;
        auto gap = [&] {
            longest = std::max(longest, sinceBeat.nsecsElapsed());
            sinceBeat.restart();
        };
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        QObject::connect(&beat, &QTimer::timeout, &loop, gap);
        const auto checked = QObject::connect(&dns, &DNSConfiguration::dnsChecked, &loop, &QEventLoop::quit);
        QTimer::singleShot(5, &loop, [&] {
            tick.start();
            delegate.keepDNSON();
        });
        sinceBeat.start();
        beat.start();
        loop.exec();
        gap();
        QObject::disconnect(checked);
        if (i > 0) {
            blockedNow.append(double(longest) / 1e6);
            doneNow.append(double(tick.nsecsElapsed()) / 1e6);
        }
    }

    auto median = [](QList<double> v) {
        std::sort(v.begin(), v.end());
        return QString::number(v.at(v.size() / 2), 'f', 1);
    };
    auto most = [](const QList<double> &v) { return QString::number(*std::max_element(v.begin(), v.end()), 'f', 1); };
    QTextStream out(stdout);
    out << "\nwatchdog tick, two connections, " << (real ? "real nmcli" : "nmcli stand-in") << ", " << runs << " runs\n";
    out << "| commands run | window thread blocked, median ms | max ms | tick's outcome back, median ms | goal |\n"
        << "| --- | --- | --- | --- | --- |\n";
    out << "| on the window's thread (before) | " << median(blockedBefore) << " | " << most(blockedBefore) << " | "
        << median(blockedBefore) << " | <= 50 ms blocking |\n";
    out << "| on the DNS worker (now: longest gap between 1 ms beats) | " << median(blockedNow) << " | " << most(blockedNow)
        << " | " << median(doneNow) << " | <= 50 ms blocking |\n";
    return 0;
}
