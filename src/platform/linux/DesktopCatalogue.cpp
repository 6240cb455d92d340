// GIO names a struct member "signals", which Qt defines as a keyword: GIO comes first.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "DesktopCatalogue.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {
QString fromUtf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

QString resolvedProgram(const char *executable)
{
    if (!executable || !*executable)
        return {};
    // Symbolic links are resolved later, for the few entries a window or process is matched with.
    char *found = g_find_program_in_path(executable);
    const QString path = fromUtf8(found);
    g_free(found);
    return path;
}

// Programs that start something else: their processes are not the application.
bool isLauncher(const QString &program)
{
    static const QSet<QString> launchers{
        QStringLiteral("env"),     QStringLiteral("sh"),    QStringLiteral("bash"),   QStringLiteral("dash"),
        QStringLiteral("zsh"),     QStringLiteral("flatpak"), QStringLiteral("snap"), QStringLiteral("java"),
        QStringLiteral("perl"),    QStringLiteral("ruby"),  QStringLiteral("node"),   QStringLiteral("gjs"),
        QStringLiteral("wine"),    QStringLiteral("mono"),  QStringLiteral("xdg-open"), QStringLiteral("gio"),
        QStringLiteral("exo-open"), QStringLiteral("sudo"), QStringLiteral("pkexec"), QStringLiteral("busybox")};
    const QString base = QFileInfo(program).fileName();
    return launchers.contains(base) || base.startsWith(QLatin1String("python"))
        || base.startsWith(QLatin1String("lua")) || base.startsWith(QLatin1String("php"));
}

// The entry's own arguments after its program, without the field codes (%U, %f...) the
// launcher fills in.
QStringList argumentsOf(GAppInfo *info)
{
    QStringList arguments;
    const char *line = g_app_info_get_commandline(info);
    int count = 0;
    char **argv = nullptr;
    if (!line || !g_shell_parse_argv(line, &count, &argv, nullptr))
        return arguments;
    for (int i = 1; i < count; ++i) {
        const QString argument = QString::fromUtf8(argv[i]);
        if (argument.size() == 2 && argument.startsWith(QLatin1Char('%')))
            continue;
        arguments.append(argument);
    }
    g_strfreev(argv);
    return arguments;
}

void readIcon(GAppInfo *info, InstalledApp &app)
{
    GIcon *icon = g_app_info_get_icon(info);
    if (!icon)
        return;
    if (G_IS_THEMED_ICON(icon)) {
        const gchar *const *names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        if (names && names[0])
            app.iconName = QString::fromUtf8(names[0]);
    } else if (G_IS_FILE_ICON(icon)) {
        char *path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
        app.iconFile = fromUtf8(path);
        g_free(path);
    }
}
} // namespace

QList<InstalledApp> readDesktopEntries(const QString &ownId)
{
    const QString self = QCoreApplication::applicationFilePath();
    QList<InstalledApp> apps;
    GList *all = g_app_info_get_all();
    for (GList *node = all; node; node = node->next) {
        GAppInfo *info = G_APP_INFO(node->data);
        if (!G_IS_DESKTOP_APP_INFO(info) || !g_app_info_should_show(info))
            continue;
        InstalledApp app;
        app.id = fromUtf8(g_app_info_get_id(info));
        if (app.id.endsWith(QLatin1String(".desktop")))
            app.id.chop(8);
        app.name = fromUtf8(g_app_info_get_name(info));
        app.executable = resolvedProgram(g_app_info_get_executable(info));
        if (app.id == ownId || app.name.isEmpty() || (!self.isEmpty() && app.executable == self))
            continue;
        app.launcher = isLauncher(app.executable);
        app.arguments = argumentsOf(info);
        app.windowClass = fromUtf8(g_desktop_app_info_get_startup_wm_class(G_DESKTOP_APP_INFO(info)));
        readIcon(info, app);
        apps.append(app);
    }
    g_list_free_full(all, g_object_unref);
    // Sort keys made once: comparing through the locale at every step costs more than GIO's reading.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QList<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(apps.size());
    for (qsizetype i = 0; i < apps.size(); ++i)
        keys.append({collator.sortKey(apps.at(i).name), i});
    std::stable_sort(keys.begin(), keys.end(), [](const auto &a, const auto &b) { return a.first.compare(b.first) < 0; });
    QList<InstalledApp> sorted;
    sorted.reserve(apps.size());
    for (const auto &key : std::as_const(keys))
        sorted.append(std::move(apps[key.second]));
    return sorted;
}

namespace {
void monitorChanged(GAppInfoMonitor *, gpointer watcher)
{
    emit static_cast<DesktopCatalogueWatcher *>(watcher)->changed();
}
} // namespace

DesktopCatalogueWatcher::DesktopCatalogueWatcher(QObject *parent)
    : QObject(parent)
    , m_monitor(g_app_info_monitor_get())
{
    m_handler = g_signal_connect(m_monitor, "changed", G_CALLBACK(monitorChanged), this);
}

DesktopCatalogueWatcher::~DesktopCatalogueWatcher()
{
    g_signal_handler_disconnect(m_monitor, m_handler);
    g_object_unref(m_monitor);
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
