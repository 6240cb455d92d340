#include "WebService.h"

QString path(WebService service)
{
    switch (service) {
    case WebService::signup:
        return QStringLiteral("signup");
    case WebService::login:
        return QStringLiteral("login");
    case WebService::forgot:
        return QStringLiteral("forgot-password");
    case WebService::updateProfile:
        return QStringLiteral("update-profile");
    case WebService::setupPin:
        return QStringLiteral("setupPin");
    case WebService::checkPin:
        return QStringLiteral("checkPin");
    case WebService::retrievePin:
        return QStringLiteral("retrievePin");
    case WebService::updatePin:
        return QStringLiteral("updatePin");
    case WebService::removepin:
        return QStringLiteral("removepin");
    case WebService::getBlockWebsiteByUser:
        return QStringLiteral("getblockwebsitebyuser?page=1");
    case WebService::blockWebsite:
        return QStringLiteral("blockwesitebyuser");
    case WebService::unblockWebsite:
        return QStringLiteral("unblockwesitebyuser");
    case WebService::syncURL:
        return QStringLiteral("sync-url");
    case WebService::getCategories:
        return QStringLiteral("category");
    case WebService::blockCategory:
        return QStringLiteral("blockcategory");
    case WebService::unblockCategory:
        return QStringLiteral("unblockcategory");
    case WebService::logout:
        return QStringLiteral("logout");
    case WebService::blockApp:
        return QStringLiteral("blockapp");
    case WebService::unblockApp:
        return QStringLiteral("unblockapp");
    case WebService::focusStart:
        return QStringLiteral("focus-start");
    case WebService::focusStatus:
        return QStringLiteral("focus-status");
    case WebService::saveSchedule:
        return QStringLiteral("save-schedule");
    case WebService::deleteSchedule:
        return QStringLiteral("delete-schedule");
    }
    return {};
}

QString path(WebService service, qint64 page)
{
    if (service == WebService::getBlockWebsiteByUser)
        return QStringLiteral("getblockwebsitebyuser?page=") + QString::number(page);
    return path(service);
}

const QList<Endpoint> &endpoints()
{
    using W = WebService;
    constexpr auto get = HttpMethod::get;
    constexpr auto post = HttpMethod::post;
    static const QList<Endpoint> table{
        {W::signup, post, Caller::app, false},
        {W::login, post, Caller::app, false},
        {W::forgot, post, Caller::app, false},
        {W::updateProfile, post, Caller::user, false},
        {W::setupPin, post, Caller::user, false},
        {W::checkPin, post, Caller::user, false},
        {W::retrievePin, post, Caller::user, false},
        {W::updatePin, post, Caller::user, false},
        {W::removepin, post, Caller::user, false},
        {W::getBlockWebsiteByUser, post, Caller::user, false},
        {W::blockWebsite, post, Caller::user, false},
        {W::unblockWebsite, post, Caller::user, false},
        {W::syncURL, post, Caller::either, false},
        {W::getCategories, get, Caller::app, false},
        {W::blockCategory, post, Caller::user, false},
        {W::unblockCategory, post, Caller::user, false},
        {W::logout, post, Caller::user, false},
        {W::blockApp, post, Caller::user, true},
        {W::unblockApp, post, Caller::user, true},
        {W::focusStart, post, Caller::user, true},
        {W::focusStatus, post, Caller::user, true},
        {W::saveSchedule, post, Caller::user, true},
        {W::deleteSchedule, post, Caller::user, true},
    };
    return table;
}

Endpoint endpoint(WebService service)
{
    return endpoints().at(qsizetype(service));
}

QByteArray methodName(HttpMethod method)
{
    return method == HttpMethod::get ? QByteArrayLiteral("GET") : QByteArrayLiteral("POST");
}

QString routeName(WebService service)
{
    return path(service).section(QLatin1Char('?'), 0, 0);
}

std::optional<WebService> serviceAt(QStringView name)
{
    for (const Endpoint &e : endpoints()) {
        if (routeName(e.service) == name)
            return e.service;
    }
    return std::nullopt;
}
