#include "LiveChat.h"

#include "BuildConfig.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/WebContent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QUrlQuery>

namespace {
QString jsStringLiteral(const QString &value)
{
    // A JSON string is a JS string literal; strip the array brackets around it.
    const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}
} // namespace

LiveChat::LiveChat(WebContentLoader *loader, QWidget *parent) : WebWindow(loader, parent)
{
    setWindowTitle(localizedText(QStringLiteral("Live Chat")));
    resize(460, 640);
    const PreferencesStore &prefs = PreferencesStore::shared();
    username = prefs.stringForKey(PrefKey::user_name).value_or(QString());
    if (username.isEmpty())
        username = QStringLiteral("Empty User");
    userEmail = prefs.stringForKey(PrefKey::user_email).value_or(QString());

    url = QUrl(QStringLiteral("qrc:/web/Index_nimbrel.html"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("lang"), localizedText(QStringLiteral("en")) /* "fr" in French */);
    if (const QUrl service = configuredUrl(BuildConfig::liveChatUrl); service.isValid())
        query.addQueryItem(QStringLiteral("service"), service.toString(QUrl::FullyEncoded));
    url.setQuery(query);
}

QString LiveChat::loadScript(const QString &email, const QString &name)
{
    return QStringLiteral("loadURL(%1, %2);").arg(jsStringLiteral(email), jsStringLiteral(name));
}

QWidget *LiveChat::createView(WebContent &web)
{
    js = loadScript(userEmail, username);
    QPointer<LiveChat> self(this);
    return web.createScriptedPageView(url, js, [self](const QString &body) {
        Log::line(body);
        if (self)
            emit self->scriptMessage(body);
    }, this);
}

// Without the web component: the chat service itself, else the FAQ, which tells how to
// reach support.
QUrl LiveChat::browserUrl() const
{
    const QUrl service = configuredUrl(BuildConfig::liveChatUrl);
    return service.isValid() ? service : configuredUrl(BuildConfig::faqUrl);
}
