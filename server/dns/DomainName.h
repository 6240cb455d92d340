#pragma once

#include <QString>
#include <optional>

// The host name a blacklist entry stands for: lower case, internationalised names in their
// ASCII (IDNA) form, without a leading "*." or a trailing dot. No value when the text is not
// a host name with at least one dot (addresses, paths, blanks and the like are refused).
std::optional<QString> normalizedDomain(const QString &text);
