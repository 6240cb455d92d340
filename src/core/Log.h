#pragma once

#include <QString>
#include <functional>

// Diagnostics are plain lines on standard output; tests may capture them instead.
namespace Log {
void line(const QString &text);

using Sink = std::function<void(const QString &)>;
// Replaces where lines go; an empty sink restores standard output.
void setSink(Sink sink);

// While one lives, the lines logged on the thread that made it go to its sink instead: a
// worker thread collects them for the main thread, which writes them in order.
class ThreadSink
{
public:
    explicit ThreadSink(Sink sink);
    ~ThreadSink();
    ThreadSink(const ThreadSink &) = delete;
    ThreadSink &operator=(const ThreadSink &) = delete;

private:
    Sink m_previous;
};
} // namespace Log
