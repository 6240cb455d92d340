#include "SystemdUserUnit.h"

#include "core/Log.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <unistd.h>

namespace {
const QString manager = QStringLiteral("org.freedesktop.systemd1");
const QString managerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString managerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");
constexpr int callTimeoutMs = 5000;

// systemd takes the program's path quoted, with % doubled (it expands specifiers there), and
// refuses quotes, backslashes and control characters in it.
bool nameableInUnit(const QString &path)
{
    return !path.isEmpty()
        && std::none_of(path.begin(), path.end(), [](QChar c) { return c == u'"' || c == u'\'' || c == u'\\' || c < u' '; });
}

QString execStartValue(const QString &path)
{
    return QLatin1Char('"') + QString(path).replace(QLatin1Char('%'), QLatin1String("%%")) + QLatin1Char('"');
}

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}
} // namespace

SystemdUserUnit::SystemdUserUnit(QString destinationPath, QString executablePath, const QDBusConnection &bus)
    : LaunchAgent(std::move(destinationPath))
    , m_executable(std::move(executablePath))
    , m_bus(bus)
{
}

QString SystemdUserUnit::unitName()
{
    return QStringLiteral("nimbrel.service");
}

QString SystemdUserUnit::defaultDestination()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/systemd/user/")
        + unitName();
}

namespace {
QDBusMessage callManager(const QDBusConnection &bus, const QString &method, const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(manager, managerPath, managerInterface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, callTimeoutMs);
}

bool failed(const QDBusMessage &reply)
{
    return reply.type() != QDBusMessage::ReplyMessage;
}

QString unitPath(const QDBusConnection &bus, const QString &method, const QVariant &argument)
{
    const QDBusMessage reply = callManager(bus, method, {argument});
    return failed(reply) || reply.arguments().isEmpty() ? QString()
                                                        : reply.arguments().constFirst().value<QDBusObjectPath>().path();
}

QString unitProperty(const QDBusConnection &bus, const QString &path, const QString &name)
{
    QDBusMessage message = QDBusMessage::createMethodCall(manager, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
    message.setArguments({QStringLiteral("org.freedesktop.systemd1.Unit"), name});
    const QDBusMessage reply = bus.call(message, QDBus::Block, callTimeoutMs);
    if (failed(reply) || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toString();
}

// Whether this process runs as the unit's main program.
bool runsInUnit(const QDBusConnection &bus, const QString &unit)
{
    const QString own = unitPath(bus, QStringLiteral("GetUnitByPID"), QVariant::fromValue(uint(::getpid())));
    return !own.isEmpty() && own == unitPath(bus, QStringLiteral("GetUnit"), unit);
}
} // namespace

QString SystemdUserUnit::load()
{
    if (!m_bus.isConnected())
        return QStringLiteral("no session bus, the systemd user unit is not enabled");
    // At every start: reload and enable only when needed, since a reload of the whole user
    // manager during login slows every other unit down.
    const QString path = unitPath(m_bus, QStringLiteral("LoadUnit"), unitName());
    if (path.isEmpty())
        return QStringLiteral("systemd user manager not reachable");
    if (unitProperty(m_bus, path, QStringLiteral("LoadState")) != QLatin1String("loaded")
        || unitProperty(m_bus, path, QStringLiteral("NeedDaemonReload")) == QLatin1String("true")) {
        const QDBusMessage reply = callManager(m_bus, QStringLiteral("Reload"));
        if (failed(reply))
            return QStringLiteral("systemd user manager not reachable: ") + reply.errorMessage();
    }
    if (unitProperty(m_bus, unitPath(m_bus, QStringLiteral("LoadUnit"), unitName()), QStringLiteral("UnitFileState"))
        != QLatin1String("enabled")) {
        const QDBusMessage reply = callManager(m_bus, QStringLiteral("EnableUnitFiles"), {QStringList{unitName()}, false, false});
        if (failed(reply))
            return QStringLiteral("could not enable ") + unitName() + QStringLiteral(": ") + reply.errorMessage();
    }
    return QStringLiteral("systemd user unit enabled: ") + destinationPath();
}

bool SystemdUserUnit::handOver(bool atLogin)
{
    if (!m_bus.isConnected())
        return false;
    const QString path = unitPath(m_bus, QStringLiteral("LoadUnit"), unitName());
    if (path.isEmpty() || unitProperty(m_bus, path, QStringLiteral("LoadState")) != QLatin1String("loaded"))
        return false;
    QFile file(unitProperty(m_bus, path, QStringLiteral("FragmentPath")));
    // Only a unit that runs this very program: a build tree's copy never hands over to an
    // installed one, or the other way round.
    if (!file.open(QIODevice::ReadOnly) || canonical(programOf(file.readAll())) != canonical(m_executable))
        return false;
    if (runsInUnit(m_bus, unitName()))
        return false;

    // The unit's copy needs this session's display, as desktops that start units hand on.
    QStringList environment;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE"}) {
        if (qEnvironmentVariableIsSet(name))
            environment << QString::fromLatin1(name) + QLatin1Char('=') + qEnvironmentVariable(name);
    }
    if (!environment.isEmpty())
        callManager(m_bus, QStringLiteral("SetEnvironment"), {environment});

    // At login the unit may already be starting with the session: join it. Started by the
    // user, the newer copy replaces the running one, as it does outside the unit.
    const QDBusMessage reply = callManager(m_bus, atLogin ? QStringLiteral("StartUnit") : QStringLiteral("RestartUnit"),
                                           {unitName(), QStringLiteral("replace")});
    if (failed(reply)) {
        Log::line(QStringLiteral("Could not start ") + unitName() + QStringLiteral(": ") + reply.errorMessage());
        return false;
    }
    // Run here after all if the unit's copy did not get going.
    for (QDeadlineTimer deadline(3000); !deadline.hasExpired(); QThread::msleep(50)) {
        const QString state = unitProperty(m_bus, path, QStringLiteral("ActiveState"));
        if (state == QLatin1String("active")) {
            Log::line(QStringLiteral("Handed over to ") + unitName());
            return true;
        }
        if (state == QLatin1String("failed"))
            break;
    }
    Log::line(unitName() + QStringLiteral(" did not start; running outside it"));
    return false;
}

void SystemdUserUnit::stopBeforeDeliberateEnd()
{
    if (!m_bus.isConnected() || !runsInUnit(m_bus, unitName()))
        return;
    const QDBusMessage reply = callManager(m_bus, QStringLiteral("StopUnit"), {unitName(), QStringLiteral("replace")});
    Log::line(failed(reply) ? QStringLiteral("Could not stop ") + unitName() + QStringLiteral(": ") + reply.errorMessage()
                            : QStringLiteral("Stopping ") + unitName());
}

QByteArray SystemdUserUnit::contents() const
{
    QFile templ(QStringLiteral(":/launch/nimbrel.service"));
    if (!nameableInUnit(m_executable)) {
        Log::line(QStringLiteral("No systemd user unit: its path cannot be named in one: ") + m_executable);
        return {};
    }
    if (!templ.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = templ.readAll();
    text.replace("@EXEC@", execStartValue(m_executable).toUtf8());
    return text;
}

QString SystemdUserUnit::programOf(const QByteArray &unit) const
{
    for (const QByteArray &rawLine : unit.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (!line.startsWith(QLatin1String("ExecStart=")))
            continue;
        QString value = line.mid(10);
        // Prefixes that change how the command runs, not which program.
        while (!value.isEmpty() && QStringLiteral("@-:+!").contains(value.front()))
            value.remove(0, 1);
        QString program = value.startsWith(QLatin1Char('"')) ? value.section(QLatin1Char('"'), 1, 1)
                                                             : value.section(QLatin1Char(' '), 0, 0);
        program.replace(QLatin1String("%%"), QLatin1String("%"));
        return QFileInfo(program).isAbsolute() ? program : QString();
    }
    return {};
}
