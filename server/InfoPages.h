#pragma once

#include "Messages.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The operator's public information pages the app shows in its web windows: FAQ, terms of
// use and privacy policy. Plain, fixed HTML: nothing from the request ends up in them.
namespace InfoPages {
// The page at path in language, or nothing when path is not one of them.
std::optional<QByteArray> page(const QString &path, Language language);
} // namespace InfoPages
