#pragma once

#include "Storage.h"

#include <QDateTime>
#include <optional>

// When a weekly window is open, by the instants its local times stand for in its zone. A
// local time that a clock change skips is read with the offset before the change (02:30 on the
// night clocks go forward is 03:30); one that happens twice is its first.
namespace ScheduleTimes {
struct Occurrence {
    QDateTime start; // UTC
    QDateTime end;   // UTC
};

// The window's occurrence open at `at` (start <= at < end); none when it is closed or cannot
// be read (zone, times).
std::optional<Occurrence> openAt(const ScheduleRow &schedule, const QDateTime &at);
// The first start or end after `at`; none when the window has no days or cannot be read.
std::optional<QDateTime> nextEdge(const ScheduleRow &schedule, const QDateTime &at);
} // namespace ScheduleTimes
