#pragma once

#include <QTest>

// For the checks that something did NOT happen after an event (no second request, no e-mail
// before its time, no further alert): there is no condition to wait on, so give whatever would
// happen wrongly a fixed time to show, then check. Queued calls and the stub server need far less
// than the default; a nimbrel-server sending on its own schedule (every 50 ms under test) is
// given 300 ms, a few rounds. Everything else waits on a condition (QTRY_*, QSignalSpy::wait).
inline void settle(int ms = 100)
{
    QTest::qWait(ms);
}
