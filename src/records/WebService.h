#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

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
    // Focus sessions and weekly windows.
    focusStart,
    focusStatus,
    saveSchedule,
    deleteSchedule,
};

// The path below the API base, spelled as the server expects it ("blockwesitebyuser" and
// the fixed "?page=1" included).
QString path(WebService service);
// The same for a given page of a paged service (the blacklist); other services ignore page.
QString path(WebService service, qint64 page);

// How a service is called. The server builds its routes from these and serves nothing else.
enum class HttpMethod { get, post };

// Who may call a service: the built-in token (an old token of ours counts as one, since the
// app keeps its last token after a logout), a signed-in user, or either (the account status
// call, which tells the two apart).
enum class Caller { app, user, either };

struct Endpoint {
    WebService service;
    HttpMethod method;
    Caller caller;
    // Not part of the original catalogue: a server answering as the original one lacks it.
    bool beyondClassic;
};

// Every service, in the enum's order.
const QList<Endpoint> &endpoints();
Endpoint endpoint(WebService service);
// "GET" or "POST".
QByteArray methodName(HttpMethod method);
// The path's name alone, without a query: "getblockwebsitebyuser".
QString routeName(WebService service);
// The service served at a route name; none for anything else.
std::optional<WebService> serviceAt(QStringView routeName);
