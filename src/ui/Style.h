#pragma once

#include <QColor>
#include <QString>

namespace Style {
inline const QColor commonOrange(0xF2, 0x7A, 0x1A);

inline QString orangeButton()
{
    return QStringLiteral("QPushButton { background-color: %1; color: white; border: none; border-radius: 5px;"
                          " padding: 5px 22px; font-weight: 600; }"
                          "QPushButton:pressed { background-color: %2; }")
        .arg(commonOrange.name(), commonOrange.darker(115).name());
}
} // namespace Style
