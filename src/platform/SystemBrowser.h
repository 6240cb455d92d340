#pragma once

#include <QUrl>

// Opens url in the user's web browser: through the desktop's own services, else (a session
// whose platform offers none, such as a bare X server) through the desktop's opener command
// (xdg-open; open on macOS). False when neither could be started.
bool openInSystemBrowser(const QUrl &url);
