#pragma once

#include "ReachabilityFlagSource.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class NotificationCenter;

enum class Connection { unavailable, wifi, cellular };
QString description(Connection connection);

// Older name for the same three states, kept for callers that still use it.
enum class NetworkStatus { notReachable, reachableViaWiFi, reachableViaWWAN };

struct ReachabilityError {
    enum class Kind {
        failedToCreateWithAddress,
        failedToCreateWithHostname,
        unableToSetCallback,
        unableToSetDispatchQueue,
        unableToGetFlags,
    };
    Kind kind;
    int code = 0;
    QString hostname; // only for failedToCreateWithHostname

    QString description() const;
};

// Watches whether the computer has a usable route to the network. Once its notifier runs,
// every change of flags runs whenReachable or whenUnreachable and posts
// "ReachabilityChangedNotification" (object: the monitor), asynchronously on the monitor's
// (main) thread. The flag source only ever holds a weak reference to the monitor, so a
// change that arrives after the monitor is gone does nothing.
class Reachability : public QObject
{
    Q_OBJECT
public:
    static inline const QString changedNotification = QStringLiteral("ReachabilityChangedNotification");

    explicit Reachability(std::shared_ptr<ReachabilityFlagSource> source, QObject *parent = nullptr);
    ~Reachability() override;

    // The monitor of the default route, fed by the system's network information; no value
    // (and *error set) when the system offers none.
    static std::unique_ptr<Reachability> forDefaultRoute(ReachabilityError *error = nullptr);

    std::function<void(Reachability *)> whenReachable;
    std::function<void(Reachability *)> whenUnreachable;
    bool reachableOnWWAN = true; // kept for callers that set it; not used in decisions
    bool allowsCellularConnection = true;
    NotificationCenter *notificationCenter;
    bool isRunningOnDevice = true;

    bool notifierRunning() const { return m_notifierRunning; }
    std::optional<ReachabilityError> startNotifier();
    void stopNotifier();

    // Reads the flags first when none are known yet.
    Connection connection();
    NetworkStatus currentReachabilityStatus();
    std::optional<ReachabilityFlags> flags() const { return m_flags; }
    // A value different from the current one (or the first one) notifies.
    void setFlags(ReachabilityFlags flags);
    QString description() const;

    static Connection connectionFor(std::optional<ReachabilityFlags> flags);

private:
    std::optional<ReachabilityError> readFlags();
    void notifyChange();

    std::shared_ptr<ReachabilityFlagSource> m_source;
    std::optional<ReachabilityFlags> m_flags;
    bool m_notifierRunning = false;
};
