#include "platform/DeviceIdentity.h"

#include "platform/ShellRunner.h"

#include <QSysInfo>

QString platformUUID()
{
    const QByteArray id = QSysInfo::machineUniqueId();
    return id.isEmpty() ? QString() : QString::fromLatin1(id);
}

QString deviceModelName()
{
    const ProcessResult r = runProgram(QStringLiteral("/usr/sbin/sysctl"), {QStringLiteral("-n"), QStringLiteral("hw.model")});
    return r.exitCode == 0 ? r.output.trimmed() : QString();
}
