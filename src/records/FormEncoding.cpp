#include "FormEncoding.h"

#include <QUrl>

QByteArray encodeForm(const FormFields &fields)
{
    QByteArrayList pairs;
    for (const auto &[key, value] : fields)
        pairs << QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    return pairs.join('&');
}

FormFields decodeForm(const QByteArray &body)
{
    FormFields fields;
    for (const QByteArray &pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        QByteArray key = eq < 0 ? pair : pair.left(eq);
        QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        key.replace('+', ' ');
        value.replace('+', ' ');
        fields.append({QString::fromUtf8(QByteArray::fromPercentEncoding(key)),
                       QString::fromUtf8(QByteArray::fromPercentEncoding(value))});
    }
    return fields;
}
