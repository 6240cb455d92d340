#include "DomainName.h"

#include <QStringList>
#include <QUrl>

namespace {
bool validLabel(const QString &label)
{
    if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) || label.endsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : label) {
        const char ch = c.toLatin1();
        if (!((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-'))
            return false;
    }
    return true;
}
} // namespace

std::optional<QString> normalizedDomain(const QString &text)
{
    QString name = text.trimmed().toLower();
    if (name.startsWith(QLatin1String("*.")))
        name = name.mid(2);
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name.isEmpty() || name.size() > 253)
        return std::nullopt;
    const QString ascii = QString::fromLatin1(QUrl::toAce(name, {})).toLower();
    if (ascii.isEmpty() || ascii.size() > 253)
        return std::nullopt;
    const QStringList labels = ascii.split(QLatin1Char('.'));
    if (labels.size() < 2)
        return std::nullopt;
    for (const QString &label : labels) {
        if (!validLabel(label))
            return std::nullopt;
    }
    // A name whose last label is all digits is an IPv4 address, which the filtering DNS
    // never sees.
    bool numeric = false;
    labels.last().toLongLong(&numeric);
    if (numeric)
        return std::nullopt;
    return ascii;
}

std::optional<QString> blacklistDomain(const QString &text)
{
    std::optional<QString> name = normalizedDomain(text);
    while (name && name->startsWith(QLatin1String("www.")) && name->indexOf(QLatin1Char('.'), 4) > 4)
        name->remove(0, 4);
    return name;
}
