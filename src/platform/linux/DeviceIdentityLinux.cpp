#include "platform/DeviceIdentity.h"

#include <QFile>
#include <QSysInfo>

namespace {
// What board makers leave in the product name when they do not fill it in.
bool isPlaceholder(const QString &name)
{
    static const QStringList placeholders = {
        QStringLiteral("To be filled by O.E.M."),
        QStringLiteral("To be filled by OEM"),
        QStringLiteral("System Product Name"),
        QStringLiteral("System Name"),
        QStringLiteral("Product Name"),
        QStringLiteral("Default string"),
        QStringLiteral("None"),
        QStringLiteral("Not Specified"),
        QStringLiteral("Not Applicable"),
        QStringLiteral("Unknown"),
        QStringLiteral("OEM"),
        QStringLiteral("O.E.M."),
        QStringLiteral("Type1ProductConfigId"),
        QStringLiteral("INVALID"),
    };
    return name.isEmpty() || placeholders.contains(name, Qt::CaseInsensitive);
}
} // namespace

QString platformUUID()
{
    const QByteArray id = QSysInfo::machineUniqueId();
    return id.isEmpty() ? QString() : QString::fromLatin1(id);
}

QString deviceModelName()
{
    // Tests point this at a file of their own, as they put fake tools on PATH.
    const QString path = qEnvironmentVariableIsSet("NIMBREL_DMI_PRODUCT_NAME")
                             ? qEnvironmentVariable("NIMBREL_DMI_PRODUCT_NAME")
                             : QStringLiteral("/sys/class/dmi/id/product_name");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Firmware strings end in a newline or NUL; anything else unprintable is noise too.
    QString name = QString::fromUtf8(file.read(256));
    name.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    name = name.simplified();
    return isPlaceholder(name) ? QString() : name;
}
