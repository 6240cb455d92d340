#pragma once

#include <QString>
#include <optional>

// The host name a blacklist entry stands for: lower case, internationalised names in their
// ASCII (IDNA) form, without a leading "*." or a trailing dot. No value when the text is not
// a host name with at least one dot (addresses, paths, blanks and the like are refused).
std::optional<QString> normalizedDomain(const QString &text);

// The name a user's blacklist entry is stored and filtered as: normalizedDomain() without
// leading "www." labels, so that the site is blocked with all its subdomains, as the list shows
// it. "www.com" and the like, where nothing with a dot would remain, are kept as they are.
// Category lists keep their names as written: there "www." names only that host.
std::optional<QString> blacklistDomain(const QString &text);
