#include "Log.h"

#include <cstdio>
#include <utility>

namespace {
Log::Sink &sink()
{
    static Log::Sink s;
    return s;
}

thread_local Log::Sink threadSink;
} // namespace

void Log::line(const QString &text)
{
    if (threadSink) {
        threadSink(text);
        return;
    }
    if (sink()) {
        sink()(text);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Log::setSink(Sink s)
{
    sink() = std::move(s);
}

Log::ThreadSink::ThreadSink(Sink sink)
    : m_previous(std::exchange(threadSink, std::move(sink)))
{
}

Log::ThreadSink::~ThreadSink()
{
    threadSink = std::move(m_previous);
}
