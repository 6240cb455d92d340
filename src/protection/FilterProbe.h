#pragma once

#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <functional>

// Asks whether name look-ups reach the filtering DNS server. The filter answers every name
// under its probe zone with the TXT record "nimbrel-filter"; each question uses a fresh random
// label so that no cache along the way can answer for it.
namespace FilterProbe {
// How long the filter has to answer when asked directly.
inline constexpr int timeoutMs = 2000;

// A new name under the probe zone.
QString freshName();

// Asks the filter itself, over UDP. done(true) only for the right answer within timeoutMs;
// done is called once, on the event loop, and not at all when context is gone.
void askFilter(const QHostAddress &server, quint16 port, QObject *context, std::function<void(bool)> done);

// Asks the system's own resolver the same question: true when its look-ups go through the filter.
void askSystemResolver(QObject *context, std::function<void(bool)> done);
} // namespace FilterProbe
