#include "MacWorkspace.h"

#include "core/Log.h"
#include "platform/ShellRunner.h"

namespace {
QStringList osascriptArguments(const QStringList &script, const QString &name)
{
    QStringList arguments;
    for (const QString &line : script)
        arguments << QStringLiteral("-e") << line;
    // Everything after the script is handed to "on run argv" untouched.
    arguments << name;
    return arguments;
}
} // namespace

MacWorkspace::MacWorkspace(QString applicationsFolder, QObject *parent)
    : Workspace(parent)
    , m_folder(std::move(applicationsFolder))
{
}

QStringList MacWorkspace::idScript()
{
    return {QStringLiteral("on run argv"), QStringLiteral("id of application (item 1 of argv)"),
            QStringLiteral("end run")};
}

QStringList MacWorkspace::quitScript()
{
    return {QStringLiteral("on run argv"), QStringLiteral("tell application id (item 1 of argv)"), QStringLiteral("quit"),
            QStringLiteral("end tell"), QStringLiteral("end run")};
}

QList<InstalledApp> MacWorkspace::installedApplications()
{
    QList<InstalledApp> apps;
    const QStringList titles = runProgram(QStringLiteral("ls"), {m_folder}).output.split(QLatin1Char('\n'));
    for (const QString &title : titles) {
        if (!title.contains(QLatin1String(".app")) || title == QLatin1String("Nimbrel.app"))
            continue;
        QString bundle = runProgram(QStringLiteral("osascript"), osascriptArguments(idScript(), title)).output;
        if (bundle.endsWith(QLatin1Char('\n')))
            bundle.chop(1);
        // AppleScript cannot name it: it has no row.
        if (bundle.contains(QLatin1String("execution error")) || bundle.isEmpty())
            continue;
        InstalledApp app;
        app.id = bundle;
        app.name = QString(title).remove(QLatin1String(".app"));
        app.executable = m_folder + QLatin1Char('/') + title;
        apps.append(app);
    }
    return apps;
}

QuitOutcome MacWorkspace::quitApplication(const QString &appID)
{
    const ProcessResult result = runProgram(QStringLiteral("osascript"), osascriptArguments(quitScript(), appID));
    Log::line(result.output.trimmed());
    QuitOutcome outcome;
    if (result.exitCode != 0)
        Log::line(QStringLiteral("error: ") + result.output.trimmed());
    else
        outcome.windowsAsked = 1; // AppleScript's quit: the application's own polite close
    return outcome;
}
