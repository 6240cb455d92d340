#pragma once

#include <QObject>
#include <functional>

// Turns SIGTERM and SIGINT (a session ending, a service manager, Ctrl-C) into a call on the
// event loop, so the application ends through its normal end sequence instead of dying.
void onTerminationSignal(QObject *context, std::function<void()> handler);
