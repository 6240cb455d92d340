#include "EmailValidation.h"

#include <QRegularExpression>

bool isValidEmail(const QString &text)
{
    // The whole text must match, not just a part of it.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,64}")));
    return pattern.match(text).hasMatch();
}
