#pragma once

#include <QString>

// Whether the desktop blends a window's translucent pixels with what lies behind it, so a
// window may draw its own soft shadow. windowSystem is the name of the GUI platform in use
// ("xcb", "wayland", "offscreen", ...). Without a compositor, X11 shows those pixels black.
bool windowsAreComposited(const QString &windowSystem);
