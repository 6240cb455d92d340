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
    }
    return {};
}

QString path(WebService service, qint64 page)
{
    if (service == WebService::getBlockWebsiteByUser)
        return QStringLiteral("getblockwebsitebyuser?page=") + QString::number(page);
    return path(service);
}
