// GIO names a struct member "signals", which Qt defines as a keyword: GIO comes first.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "DesktopEntries.h"

#include <QCollator>
#include <QFileInfo>
#include <QSet>

#define NIMBREL_EXPORT extern "C" __attribute__((visibility("default")))

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

QList<InstalledApp> readDesktopEntries(const QString &ownId, const QString &self)
{
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

struct Watch {
    GAppInfoMonitor *monitor;
    gulong handler;
    void (*changed)(void *);
    void *context;
};

void monitorChanged(GAppInfoMonitor *, gpointer watch)
{
    auto *w = static_cast<Watch *>(watch);
    w->changed(w->context);
}
} // namespace

NIMBREL_EXPORT void nimbrel_desktop_read(const QString *ownId, const QString *self, QList<InstalledApp> *out)
{
    *out = readDesktopEntries(*ownId, *self);
}

NIMBREL_EXPORT void *nimbrel_desktop_watch(void (*changed)(void *), void *context)
{
    auto *watch = new Watch{g_app_info_monitor_get(), 0, changed, context};
    watch->handler = g_signal_connect(watch->monitor, "changed", G_CALLBACK(monitorChanged), watch);
    return watch;
}

NIMBREL_EXPORT void nimbrel_desktop_unwatch(void *handle)
{
    auto *watch = static_cast<Watch *>(handle);
    g_signal_handler_disconnect(watch->monitor, watch->handler);
    g_object_unref(watch->monitor);
    delete watch;
}

// The exported functions are checked against the types the loader uses.
[[maybe_unused]] static constexpr DesktopReadFn checkRead = nimbrel_desktop_read;
[[maybe_unused]] static constexpr DesktopWatchFn checkWatch = nimbrel_desktop_watch;
[[maybe_unused]] static constexpr DesktopUnwatchFn checkUnwatch = nimbrel_desktop_unwatch;
