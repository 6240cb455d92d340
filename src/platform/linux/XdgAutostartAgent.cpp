#include "XdgAutostartAgent.h"

#include "BuildConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
// Exec values quote reserved characters inside double quotes; the value itself then escapes
// backslashes once more as a desktop-entry string.
QString execValue(const QString &path)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes = std::any_of(path.begin(), path.end(), [](QChar c) { return reserved.contains(c); });
    if (!needsQuotes)
        return path;
    QString quoted;
    for (QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return quoted;
}
} // namespace

XdgAutostartAgent::XdgAutostartAgent(QString destinationPath, QString executablePath)
    : LaunchAgent(std::move(destinationPath))
    , m_executable(std::move(executablePath))
{
}

QString XdgAutostartAgent::defaultDestination()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/autostart/")
        + QLatin1String(BuildConfig::bundleId) + QLatin1String(".desktop");
}

QString XdgAutostartAgent::load()
{
    const QString path = destinationPath();
    return QFileInfo::exists(path) ? QStringLiteral("autostart entry in place: ") + path
                                   : QStringLiteral("autostart entry missing: ") + path;
}

QByteArray XdgAutostartAgent::contents() const
{
    QFile templ(QStringLiteral(":/launch/autostart.desktop"));
    if (m_executable.isEmpty() || !templ.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = templ.readAll();
    // Tells the app it was started by the session, so it can join the login unit instead.
    text.replace("@EXEC@", (execValue(m_executable) + QLatin1Char(' ') + QLatin1String(loginArgument)).toUtf8());
    return text;
}

QString XdgAutostartAgent::programOf(const QByteArray &entry) const
{
    for (const QByteArray &rawLine : entry.split('\n')) {
        QString line = QString::fromUtf8(rawLine).trimmed();
        if (!line.startsWith(QLatin1String("Exec=")))
            continue;
        // The reverse of execValue: the string's own escapes, then the quoted argument's.
        QString value = line.mid(5).replace(QLatin1String("\\\\"), QLatin1String("\\"));
        QString program;
        if (value.startsWith(QLatin1Char('"'))) {
            for (qsizetype i = 1; i < value.size() && value.at(i) != QLatin1Char('"'); ++i) {
                if (value.at(i) == QLatin1Char('\\') && i + 1 < value.size())
                    ++i;
                program += value.at(i);
            }
        } else {
            program = value.section(QLatin1Char(' '), 0, 0);
        }
        return QDir::isAbsolutePath(program) ? program : QString();
    }
    return {};
}
