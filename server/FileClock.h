#pragma once

#include "core/Clock.h"

#include <QString>

// The time written in a file (ISO 8601, UTC), read at every question; the system time while
// the file is missing or unreadable. Lets tests move a running server through hours and days.
class FileClock : public Clock
{
public:
    explicit FileClock(const QString &path);

    QDateTime now() const override;
    int schedule(int ms, bool repeating, QObject *context, std::function<void()> fn) override;
    void cancel(int id) override;

private:
    QString m_path;
    SystemClock m_system;
};
