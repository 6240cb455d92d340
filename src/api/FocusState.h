#pragma once

#include "records/Records.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

// What this computer knows of the account's focus lock: the running session, the weekly
// windows, and how long weakening changes stay refused. The server's clock decides; here the
// remaining seconds of its latest answer count down on a monotonic timer started when the
// answer came, so moving the computer's clock changes nothing. Fed by CommonWS from every
// focus and account-status answer; made once by the application and handed to whoever shows
// or asks about the lock.
class FocusState : public QObject
{
    Q_OBJECT
public:
    // Whether the server keeps focus sessions: unknown until an answer tells.
    enum class Offer { unknown, offered, missing };
    // Milliseconds from a fixed point, never going back.
    using Elapsed = std::function<qint64()>;

    explicit FocusState(QObject *parent = nullptr);
    ~FocusState() override;

    // Replaces the monotonic time source (tests).
    void setElapsedSource(Elapsed elapsed);

    // Numbers a request that will bring the lock back, as it is sent. Answers can come back
    // in another order than their requests went out: one sent before the answer already
    // taken is older news and changes nothing.
    quint64 requestSent() { return ++m_sent; }
    // An answer of focus-start, focus-status, save-schedule or delete-schedule. A 404 means
    // the server lacks the services; other refusals change nothing.
    void takeStatus(const BaseModel<FocusStatusModel> &answer, quint64 request);
    // An account-status answer: a server that keeps focus sessions always sends lock_seconds.
    void takeSync(const BaseModel<SyncURLModel> &answer, quint64 request);
    // A weakening call was refused as locked: the lock is asked for again.
    void takeLockedRefusal();

    Offer offer() const { return m_offer; }
    // How long weakening changes stay refused, counted down since the answer; 0 when free.
    qint64 lockSecondsLeft() const;
    bool locked() const { return lockSecondsLeft() > 0; }
    // The running session, until its remaining time is counted down.
    std::optional<FocusSessionModel> session() const;
    qint64 sessionSecondsLeft() const;
    const QList<ScheduleModel> &schedules() const { return m_schedules; }

    // Asks the server for the lock and the windows (focus-status), once at a time.
    void refresh();
    bool isRefreshing() const { return m_refreshing; }
    // Counts down; the timer calls it every second while something runs (tests call it too).
    void tick();

    // "25 min", "1 h 05 min", "40 s": the time left in the words of a message.
    static QString describeLeft(qint64 seconds);
    // "24:59", "1:04:59": the time left as a countdown.
    static QString countdown(qint64 seconds);
    // Why Quit, Logout and Uninstall are refused while locked, with the time left.
    QString lockedMessage() const;

signals:
    // A new answer, or something counted down to its end.
    void changed();
    // A second went by while something counts down.
    void ticked();
    // A focus-status request went out, or its answer (or the lack of one) came back.
    void refreshingChanged();

private:
    qint64 elapsedSeconds() const;
    void restartCountdown();
    void setRefreshing(bool refreshing);

    Offer m_offer = Offer::unknown;
    std::optional<FocusSessionModel> m_session;
    QList<ScheduleModel> m_schedules;
    qint64 m_lockSeconds = 0;
    qint64 m_answeredAtMs = 0;
    QElapsedTimer m_monotonic;
    Elapsed m_elapsed;
    QTimer m_timer;
    // Counted down to zero since the last answer: asked once, not at every tick.
    bool m_askedAtZero = false;
    bool m_refreshing = false;
    quint64 m_sent = 0;
    quint64 m_taken = 0;
    // Whether the answer to request is newer than the one taken; it becomes the one taken.
    bool newer(quint64 request);
};
