#include "OnlyIntegerValueFormatter.h"

bool OnlyIntegerValueFormatter::isPartialStringValid(const QString &text)
{
    if (text.isEmpty())
        return true;
    if (text.size() > 6)
        return false;
    const qsizetype start = (text.front() == QLatin1Char('+') || text.front() == QLatin1Char('-')) ? 1 : 0;
    if (start == text.size())
        return false;
    for (qsizetype i = start; i < text.size(); ++i) {
        // ASCII digits only: other scripts' digits are not what the server reads.
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return false;
    }
    return true;
}

QValidator::State OnlyIntegerValueFormatter::validate(QString &input, int &) const
{
    return isPartialStringValid(input) ? Acceptable : Invalid;
}
