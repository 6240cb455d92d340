#include "DeviceIdentity.h"

#include <QFile>
#include <QSysInfo>

QString platformUUID()
{
    const QByteArray id = QSysInfo::machineUniqueId();
    return id.isEmpty() ? QString() : QString::fromLatin1(id);
}

QString deviceModelName()
{
    QFile file(QStringLiteral("/sys/class/dmi/id/product_name"));
    if (file.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromUtf8(file.readAll()).trimmed();
        if (!name.isEmpty())
            return name;
    }
    return QSysInfo::prettyProductName();
}
