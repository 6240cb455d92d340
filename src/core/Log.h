#pragma once

#include <QString>
#include <functional>

// Diagnostics are plain lines on standard output; tests may capture them instead.
namespace Log {
void line(const QString &text);

using Sink = std::function<void(const QString &)>;
// Replaces where lines go; an empty sink restores standard output.
void setSink(Sink sink);
} // namespace Log
