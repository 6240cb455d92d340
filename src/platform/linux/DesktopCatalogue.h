#pragma once

#include "platform/Workspace.h"

#include <QObject>

// The applications of the XDG desktop entries (XDG_DATA_HOME, XDG_DATA_DIRS) that a menu
// would show, sorted by name, read through GIO (in its own module, loaded on first use)
// without starting any process. The entry with id ownId and entries starting our own
// executable are left out. None when the module is missing.
QList<InstalledApp> readDesktopEntries(const QString &ownId);

// Tells when applications are installed or removed (GIO's monitor of the applications folders,
// Flatpak's and Snap's exported ones included). Only after the entries were read once.
class DesktopCatalogueWatcher : public QObject
{
    Q_OBJECT
public:
    explicit DesktopCatalogueWatcher(QObject *parent = nullptr);
    ~DesktopCatalogueWatcher() override;

signals:
    void changed();

private:
    void *m_handle;
};

// Adds the folders where Flatpak and Snap export desktop entries to XDG_DATA_DIRS when they
// exist and are missing; before anything reads desktop entries.
void addPackagedApplicationFolders();
