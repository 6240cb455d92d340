#pragma once

#include <QString>

// Every service of the server, one per endpoint, in the server's order.
enum class WebService {
    signup,
    login,
    forgot,
    updateProfile,
    setupPin,
    checkPin,
    retrievePin,
    updatePin,
    removepin,
    getBlockWebsiteByUser,
    blockWebsite,
    unblockWebsite,
    syncURL,
    getCategories,
    blockCategory,
    unblockCategory,
    logout,
    // Beyond the original catalogue: the account's blocked applications. A server without
    // them is told apart by its account-status answer, which then lacks "blocked_apps".
    blockApp,
    unblockApp,
};

// The path below the API base, spelled as the server expects it ("blockwesitebyuser" and
// the fixed "?page=1" included).
QString path(WebService service);
// The same for a given page of a paged service (the blacklist); other services ignore page.
QString path(WebService service, qint64 page);
