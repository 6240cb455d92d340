#pragma once

#include "core/Log.h"

#include <QStringList>

// Collects log lines for as long as it lives.
class LogCapture
{
public:
    LogCapture()
    {
        Log::setSink([this](const QString &line) { lines.append(line); });
    }
    ~LogCapture() { Log::setSink({}); }

    bool contains(const QString &text) const
    {
        return std::any_of(lines.begin(), lines.end(), [&](const QString &l) { return l.contains(text); });
    }

    QStringList lines;
};
