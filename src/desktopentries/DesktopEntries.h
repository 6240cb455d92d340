#pragma once

#include "platform/Workspace.h"

// What libnimbrel-desktop exports, looked up by name when the module is loaded. Both sides
// include this header, so a changed signature fails to build instead of failing at run time.
extern "C" {
// The desktop entries a menu would show, sorted by name, into *out; the entry with id *ownId
// and entries starting *self (our own executable) are left out.
using DesktopReadFn = void (*)(const QString *ownId, const QString *self, QList<InstalledApp> *out);
// Calls changed(context) on the main loop whenever applications are installed or removed,
// until the returned handle is given to DesktopUnwatchFn.
using DesktopWatchFn = void *(*)(void (*changed)(void *context), void *context);
using DesktopUnwatchFn = void (*)(void *handle);
}

namespace DesktopEntries {
inline constexpr char fileBaseName[] = "nimbrel-desktop";
inline constexpr char readSymbol[] = "nimbrel_desktop_read";
inline constexpr char watchSymbol[] = "nimbrel_desktop_watch";
inline constexpr char unwatchSymbol[] = "nimbrel_desktop_unwatch";
} // namespace DesktopEntries
