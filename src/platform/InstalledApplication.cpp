#include "InstalledApplication.h"

#include "BuildConfig.h"
#include "ShellRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
bool isSafeTarget(const QString &path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path && path != QLatin1String("/")
        && !path.contains(QLatin1Char('\n'));
}

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}
} // namespace

InstalledApplication::InstalledApplication(QStringList installedPaths, QString installedExecutable,
                                           QString runningExecutable)
    : m_paths(std::move(installedPaths))
    , m_installedExecutable(std::move(installedExecutable))
    , m_runningExecutable(std::move(runningExecutable))
{
}

InstalledApplication InstalledApplication::current()
{
    return InstalledApplication(QString::fromUtf8(BuildConfig::installedPaths).split(QLatin1Char(';'), Qt::SkipEmptyParts),
                                QString::fromUtf8(BuildConfig::installedExecutable),
                                QCoreApplication::applicationFilePath());
}

QString InstalledApplication::removalCommand() const
{
    QStringList words;
#if defined(Q_OS_MACOS)
    words << QStringLiteral("rm -rf");
#else
    words << QStringLiteral("rm -f --");
#endif
    for (const QString &path : m_paths)
        words << shellQuote(path);
    return words.join(QLatin1Char(' '));
}

bool InstalledApplication::isInstalledCopy() const
{
    return !m_paths.isEmpty() && std::all_of(m_paths.begin(), m_paths.end(), isSafeTarget)
        && canonical(m_runningExecutable) == canonical(m_installedExecutable);
}

QString InstalledApplication::remove() const
{
    if (m_paths.isEmpty() || !std::all_of(m_paths.begin(), m_paths.end(), isSafeTarget))
        return QStringLiteral("Not removed: this build does not know where it is installed\n");
    if (canonical(m_runningExecutable) != canonical(m_installedExecutable))
        return QStringLiteral("Not removed: this copy runs from %1, not from its installed place %2\n")
            .arg(m_runningExecutable, m_installedExecutable);
    return runShellCommand(removalCommand());
}
