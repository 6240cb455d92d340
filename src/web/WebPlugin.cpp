#include "WebPlugin.h"

#include "WebSessionWindow.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {
QWebEngineView *makeView(QWidget *parent)
{
    auto *view = new QWebEngineView(parent);
    view->setObjectName(QStringLiteral("webView"));
    // Local pages must never read files: the preferences file holds the sign-in token.
    view->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    return view;
}

QWebEngineScript script(const QString &name, const QString &source, QWebEngineScript::InjectionPoint when)
{
    QWebEngineScript s;
    s.setName(name);
    s.setSourceCode(source);
    s.setInjectionPoint(when);
    s.setWorldId(QWebEngineScript::MainWorld);
    s.setRunsOnSubFrames(true);
    return s;
}

// Gives every page window.webkit.messageHandlers.test.postMessage, queued until the channel
// is up.
const char bridgeSource[] = R"JS(
(function () {
    if (typeof qt === 'undefined' || !qt.webChannelTransport) return;
    var target = null, queue = [];
    window.webkit = window.webkit || {};
    window.webkit.messageHandlers = window.webkit.messageHandlers || {};
    window.webkit.messageHandlers.test = {
        postMessage: function (body) { if (target) target.postMessage(body); else queue.push(body); }
    };
    new QWebChannel(qt.webChannelTransport, function (channel) {
        target = channel.objects.test;
        queue.forEach(function (body) { target.postMessage(body); });
        queue = [];
    });
})();
)JS";
} // namespace

QWidget *WebPlugin::createPageView(const QUrl &url, QWidget *parent)
{
    QWebEngineView *view = makeView(parent);
    view->load(url);
    return view;
}

QWidget *WebPlugin::createScriptedPageView(const QUrl &page, const QString &userScript,
                                           std::function<void(const QString &)> onMessage, QWidget *parent)
{
    QWebEngineView *view = makeView(parent);
    auto *channel = new QWebChannel(view->page());
    channel->registerObject(QStringLiteral("test"), new ScriptMessageBridge(std::move(onMessage), channel));
    view->page()->setWebChannel(channel);

    QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    channelJs.open(QIODevice::ReadOnly);
    QWebEngineScriptCollection &scripts = view->page()->scripts();
    scripts.insert(script(QStringLiteral("bridge"),
                          QString::fromUtf8(channelJs.readAll()) + QString::fromUtf8(bridgeSource),
                          QWebEngineScript::DocumentCreation));
    scripts.insert(script(QStringLiteral("user"), userScript, QWebEngineScript::DocumentReady));
    view->load(page);
    return view;
}

QWidget *WebPlugin::startWebSession(const QUrl &dialogUrl, const QString &callbackScheme,
                                    std::function<void(const QUrl &)> done, QWidget *parent)
{
    auto *window = new WebSessionWindow(callbackScheme, std::move(done), parent);
    window->start(dialogUrl);
    return window;
}
