#pragma once

#include <QString>
#include <QUrl>
#include <QtPlugin>
#include <functional>

class QWidget;

// What the app asks of the web plugin (src/web), which holds every use of QtWebEngine. The
// app never links QtWebEngine: WebContentLoader loads the plugin the first time a web window
// is shown, so the idle app in the tray never carries it.
class WebContent
{
public:
    virtual ~WebContent() = default;

    // A view that loads url. Local pages may not read file:// URLs (the preferences file holds
    // the sign-in token).
    virtual QWidget *createPageView(const QUrl &url, QWidget *parent) = 0;

    // A view that loads page with script run at document end in every frame; pages call
    // window.webkit.messageHandlers.test.postMessage(text) and onMessage gets the text.
    virtual QWidget *createScriptedPageView(const QUrl &page, const QString &script,
                                            std::function<void(const QString &)> onMessage, QWidget *parent) = 0;

    // A window that shows dialogUrl in a private profile until the page goes to a URL of
    // callbackScheme; done gets that URL (in this process only), or an empty URL when the user
    // closed the window first. done is called once; the window closes itself after it.
    virtual QWidget *startWebSession(const QUrl &dialogUrl, const QString &callbackScheme,
                                     std::function<void(const QUrl &)> done, QWidget *parent) = 0;
};

#define WebContent_iid "com.mac.nimbrel.WebContent/1"
Q_DECLARE_INTERFACE(WebContent, WebContent_iid)
