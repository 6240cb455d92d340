#include "DesktopCatalogue.h"

#include "desktopentries/DesktopEntries.h"
#include "platform/Components.h"

#include <QCoreApplication>
#include <QDir>

namespace {
// The GIO module, loaded the first time the entries are needed and kept.
struct Module {
    DesktopReadFn read = nullptr;
    DesktopWatchFn watch = nullptr;
    DesktopUnwatchFn unwatch = nullptr;
};

const Module &module()
{
    static const Module loaded = [] {
        Module found;
        if (!Components::load(DesktopEntries::fileBaseName,
                              {{DesktopEntries::readSymbol, reinterpret_cast<QFunctionPointer *>(&found.read)},
                               {DesktopEntries::watchSymbol, reinterpret_cast<QFunctionPointer *>(&found.watch)},
                               {DesktopEntries::unwatchSymbol, reinterpret_cast<QFunctionPointer *>(&found.unwatch)}}))
            return Module();
        return found;
    }();
    return loaded;
}

void catalogueChanged(void *watcher)
{
    emit static_cast<DesktopCatalogueWatcher *>(watcher)->changed();
}
} // namespace

QList<InstalledApp> readDesktopEntries(const QString &ownId)
{
    QList<InstalledApp> apps;
    const QString self = QCoreApplication::applicationFilePath();
    if (module().read)
        module().read(&ownId, &self, &apps);
    return apps;
}

DesktopCatalogueWatcher::DesktopCatalogueWatcher(QObject *parent)
    : QObject(parent)
    , m_handle(module().watch ? module().watch(catalogueChanged, this) : nullptr)
{
}

DesktopCatalogueWatcher::~DesktopCatalogueWatcher()
{
    if (m_handle)
        module().unwatch(m_handle);
}

void addPackagedApplicationFolders()
{
    // Flatpak and Snap export their desktop entries to folders their session scripts add to
    // XDG_DATA_DIRS; a session started without those scripts would not list them.
    const QString home = QDir::homePath();
    const QStringList exported{home + QStringLiteral("/.local/share/flatpak/exports/share"),
                               QStringLiteral("/var/lib/flatpak/exports/share"), QStringLiteral("/var/lib/snapd/desktop")};
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    const QStringList listed = dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    bool added = false;
    for (const QString &folder : exported) {
        if (!listed.contains(folder) && !listed.contains(folder + QLatin1Char('/')) && QDir(folder).exists()) {
            dirs += QLatin1Char(':') + folder;
            added = true;
        }
    }
    if (added)
        qputenv("XDG_DATA_DIRS", dirs.toUtf8());
}
