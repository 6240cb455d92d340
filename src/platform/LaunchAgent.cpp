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
    const QString folder = QFileInfo(m_destination).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (QDir().mkpath(folder))
            Log::line(QStringLiteral("LaunchAgents Folder Created"));
        else
            Log::line(QStringLiteral("Error creating LaunchAgents folder: could not create ") + folder);
    }

    const QByteArray data = contents();
    if (data.isEmpty()) {
        Log::line(QStringLiteral("Error copying .plist file: the application carries no launch entry"));
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
        Log::line(QStringLiteral("Error copying .plist file: ") + file.errorString() + QStringLiteral(" (")
                  + m_destination + QLatin1Char(')'));
        return;
    }
    if (file.write(data) != data.size() || !file.flush()) {
        Log::line(QStringLiteral("Error copying .plist file: ") + file.errorString());
        file.close();
        file.remove();
        return;
    }
    file.close();
    Log::line(QStringLiteral("copied plist file to LaunchAgents folder"));
}
