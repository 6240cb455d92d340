#include "FocusState.h"

#include "CommonWS.h"
#include "core/Log.h"
#include "texts/LocalizedText.h"

namespace {
constexpr qint64 notFound = 404;
} // namespace

FocusState::FocusState(QObject *parent)
    : QObject(parent)
{
    m_monotonic.start();
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &FocusState::tick);
}

FocusState::~FocusState() = default;

void FocusState::setElapsedSource(Elapsed elapsed)
{
    m_elapsed = std::move(elapsed);
    m_answeredAtMs = m_elapsed ? m_elapsed() : m_monotonic.elapsed();
}

qint64 FocusState::elapsedSeconds() const
{
    const qint64 now = m_elapsed ? m_elapsed() : m_monotonic.elapsed();
    return qMax<qint64>(0, now - m_answeredAtMs) / 1000;
}

void FocusState::restartCountdown()
{
    m_answeredAtMs = m_elapsed ? m_elapsed() : m_monotonic.elapsed();
    m_askedAtZero = false;
    if (m_lockSeconds > 0 || (m_session && m_session->remainingSeconds > 0))
        m_timer.start();
    else
        m_timer.stop();
}

bool FocusState::newer(quint64 request)
{
    if (request < m_taken)
        return false;
    m_taken = request;
    return true;
}

void FocusState::takeStatus(const BaseModel<FocusStatusModel> &answer, quint64 request)
{
    if (answer.code == notFound) {
        if (m_offer != Offer::missing) {
            Log::line(QStringLiteral("The server does not offer focus sessions"));
            m_offer = Offer::missing;
            emit changed();
        }
        return;
    }
    if (!answer.data || !newer(request))
        return;
    const FocusStatusModel &status = *answer.data;
    m_offer = Offer::offered;
    m_session = status.focus;
    m_schedules = status.schedules;
    m_lockSeconds = qMax<qint64>(0, status.lockSeconds);
    restartCountdown();
    emit changed();
}

void FocusState::takeSync(const BaseModel<SyncURLModel> &answer, quint64 request)
{
    if (!answer.data || !newer(request))
        return;
    const SyncURLModel &sync = *answer.data;
    if (!sync.lockSeconds) {
        // A server that keeps focus sessions sends the lock in every account status.
        if (m_offer != Offer::missing) {
            m_offer = Offer::missing;
            m_session.reset();
            m_lockSeconds = 0;
            restartCountdown();
            emit changed();
        }
        return;
    }
    m_offer = Offer::offered;
    m_session = sync.focus;
    m_lockSeconds = qMax<qint64>(0, *sync.lockSeconds);
    restartCountdown();
    emit changed();
}

void FocusState::takeLockedRefusal()
{
    refresh();
}

qint64 FocusState::lockSecondsLeft() const
{
    return qMax<qint64>(0, m_lockSeconds - elapsedSeconds());
}

std::optional<FocusSessionModel> FocusState::session() const
{
    if (sessionSecondsLeft() <= 0)
        return std::nullopt;
    return m_session;
}

qint64 FocusState::sessionSecondsLeft() const
{
    if (!m_session)
        return 0;
    return qMax<qint64>(0, m_session->remainingSeconds - elapsedSeconds());
}

void FocusState::refresh()
{
    if (m_refreshing)
        return;
    setRefreshing(true);
    QPointer<FocusState> self(this);
    CommonWS::shared().focusStatus(
        [self](const BaseModel<FocusStatusModel> &, bool) {
            if (self)
                self->setRefreshing(false);
        },
        [self] {
            if (self)
                self->setRefreshing(false);
        });
}

void FocusState::setRefreshing(bool refreshing)
{
    if (m_refreshing == refreshing)
        return;
    m_refreshing = refreshing;
    emit refreshingChanged();
}

void FocusState::tick()
{
    emit ticked();
    if (lockSecondsLeft() > 0 || sessionSecondsLeft() > 0)
        return;
    m_timer.stop();
    if (m_askedAtZero)
        return;
    m_askedAtZero = true;
    emit changed();
    // Counted down here; the server says whether it is over (a window may hold on).
    refresh();
}

QString FocusState::describeLeft(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(qMax<qint64>(0, seconds));
    // Whole minutes left, rounded up: "1 min" until the very end.
    const qint64 minutes = (seconds + 59) / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString FocusState::countdown(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds / 60) % 60;
    const qint64 s = seconds % 60;
    const QString ms = QStringLiteral("%1:%2").arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QStringLiteral("%1:%2").arg(h).arg(ms) : ms;
}

QString FocusState::lockedMessage() const
{
    return localizedText(QStringLiteral("Your blocks are held for %1 more: until then Nimbrel cannot quit, sign out "
                                        "or be uninstalled."))
        .arg(describeLeft(lockSecondsLeft()));
}
