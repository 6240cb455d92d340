#include "LaunchdAgent.h"

#include "BuildConfig.h"
#include "platform/ShellRunner.h"

#include <QDir>
#include <QFile>

QString LaunchdAgent::defaultDestination()
{
    return QDir::homePath() + QLatin1String("/Library/LaunchAgents/") + QLatin1String(BuildConfig::bundleId)
        + QLatin1String(".plist");
}

QString LaunchdAgent::load()
{
    return runProgram(QStringLiteral("/bin/launchctl"), {QStringLiteral("load"), destinationPath()}).output;
}

QByteArray LaunchdAgent::contents() const
{
    QFile file(QStringLiteral(":/launch/com.mac.nimbrel.plist"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
