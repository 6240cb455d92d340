#pragma once

#include "Messages.h"
#include "records/Records.h"
#include "storage/Storage.h"

#include <QDateTime>
#include <optional>

class QTimeZone;

// What holds an account's blocks at one moment: its latest focus session and its weekly
// windows. Read once per request and asked about the request's time, so every answer of a
// request agrees.
struct FocusState {
    static constexpr qint64 maxSchedules = 20;

    std::optional<FocusSessionRow> session; // the latest, running or not
    QList<ScheduleRow> schedules;

    static FocusState read(Storage &storage, qint64 userID);

    // The session when it runs at now.
    std::optional<FocusSessionRow> running(const QDateTime &now) const;

    // Weakening changes are refused until `until`; what holds them last, for the message: a
    // window's name, or none for the session.
    struct Lock {
        QDateTime until;
        std::optional<QString> window;
    };
    std::optional<Lock> lockAt(const QDateTime &now) const;
    qint64 lockSeconds(const QDateTime &now) const;
    // The first start or end of a window after now; none without windows.
    std::optional<QDateTime> nextEdge(const QDateTime &now) const;

    // The answer of the focus services at now.
    FocusStatusModel model(const QDateTime &now) const;
    static FocusSessionModel sessionModel(const FocusSessionRow &row, const QDateTime &now);
    static ScheduleModel scheduleModel(const ScheduleRow &row, const QDateTime &now);

    // The refusal of a weakening change: names the end in zone (UTC when invalid).
    static QString lockMessage(const Lock &lock, const QDateTime &now, const QTimeZone &zone, Language language);
    // The end of a lock as the person reads it: "14:30", or "2026-01-02 09:00" on another day.
    static QString endText(const QDateTime &until, const QDateTime &now, const QTimeZone &zone);
};
