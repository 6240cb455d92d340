#include "LaunchAgent.h"

#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

LaunchAgent::LaunchAgent(QString destinationPath)
    : m_destination(std::move(destinationPath))
{
}

void LaunchAgent::install()
{
    const QString name = logName();
    const bool launchd = name.isEmpty();
    const QString folder = QFileInfo(m_destination).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (QDir().mkpath(folder))
            Log::line(launchd ? QStringLiteral("LaunchAgents Folder Created")
                              : QStringLiteral("Created the folder of the %1: %2").arg(name, folder));
        else
            Log::line(
                launchd ? QStringLiteral("Error creating LaunchAgents folder: could not create ") + folder
                        : QStringLiteral("Error creating the folder of the %1: could not create %2").arg(name, folder));
    }
    const QString failed =
        launchd ? QStringLiteral("Error copying .plist file: ") : QStringLiteral("Error installing the %1: ").arg(name);

    const QByteArray data = contents();
    if (data.isEmpty()) {
        Log::line(failed + QStringLiteral("the application carries no launch entry"));
        return;
    }
    QFile file(m_destination);
    if (file.open(QIODevice::ReadOnly)) {
        const QString program = programOf(file.readAll());
        file.close();
        if (!program.isEmpty() && !QFileInfo::exists(program)) {
            Log::line(QStringLiteral("Replacing the login entry: its program %1 no longer exists").arg(program));
            file.remove();
        }
    }
    // NewOnly: an existing entry is never replaced, even if it appears between check and write.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        // An entry already there is the usual case after the first start, not a failure.
        if (!launchd && QFileInfo::exists(m_destination))
            Log::line(QStringLiteral("The %1 is already in place: %2").arg(name, m_destination));
        else
            Log::line(failed + file.errorString() + QStringLiteral(" (") + m_destination + QLatin1Char(')'));
        return;
    }
    if (file.write(data) != data.size() || !file.flush()) {
        Log::line(failed + file.errorString());
        file.close();
        file.remove();
        return;
    }
    file.close();
    Log::line(launchd ? QStringLiteral("copied plist file to LaunchAgents folder")
                      : QStringLiteral("Installed the %1: %2").arg(name, m_destination));
}
