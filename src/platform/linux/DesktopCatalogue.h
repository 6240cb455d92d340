#pragma once

#include "platform/Workspace.h"

// The applications of the XDG desktop entries (XDG_DATA_HOME, XDG_DATA_DIRS) that a menu
// would show, sorted by name, read through GIO without starting any process. The entry with
// id ownId and entries starting our own executable are left out.
QList<InstalledApp> readDesktopEntries(const QString &ownId);
