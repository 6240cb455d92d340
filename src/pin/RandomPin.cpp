#include "RandomPin.h"

#include <QRandomGenerator>

namespace {
// Uniform in [0, n): values from the incomplete last block of 2^32 would bias the low digits.
quint32 uniformBelow(quint32 n, const std::function<quint32()> &source)
{
    const quint64 range = quint64(1) << 32;
    const quint64 limit = range - range % n;
    for (;;) {
        const quint32 value = source();
        if (value < limit)
            return value % n;
    }
}
} // namespace

QString randomPin(const std::function<quint32()> &source)
{
    const std::function<quint32()> draw = source ? source : [] { return QRandomGenerator::system()->generate(); };
    QString pin;
    pin.append(QLatin1Char(char('1' + uniformBelow(9, draw))));
    for (int i = 1; i < 6; ++i)
        pin.append(QLatin1Char(char('0' + uniformBelow(10, draw))));
    return pin;
}
