#pragma once

#include <QFunctionPointer>
#include <QStringList>
#include <initializer_list>
#include <utility>

// The app's own modules, loaded the first time a feature needs them so that their libraries
// stay out of a process that never uses them.
namespace Components {
// Where they are looked for, in order: the executable's folder, then the installed library
// folder. Tests point it at the build's.
QStringList &folders();

// Loads the module baseName ("nimbrel-dnswire") from the first folder that has a usable one
// and fills every symbol; false, with a log line, when none has them all. A loaded module
// stays for the life of the process: its functions are kept and called later.
bool load(const char *baseName, std::initializer_list<std::pair<const char *, QFunctionPointer *>> symbols);
} // namespace Components
