#include "WebPlugin.h"

#include "WebSessionWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QOpenGLContext>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

// Exported by QtGui and read by QtWebEngine; declared only in Qt's private headers.
QOpenGLContext *qt_gl_global_share_context();
void qt_gl_set_global_share_context(QOpenGLContext *context);

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

WebPlugin::WebPlugin()
{
    // The app does not ask for Qt::AA_ShareOpenGLContexts at start: that alone loads the GL
    // drivers into the idle app (about 57 MB and 130 ms here). QtWebEngine reads the global
    // share context that attribute would have made, so it is made here, when the first web
    // window opens. It is set even when it cannot be created (no OpenGL, as under the
    // offscreen platform): QtWebEngine 6.4 then draws without GPU, but crashes on a null one.
    if (!qt_gl_global_share_context()) {
        auto *context = new QOpenGLContext(QCoreApplication::instance());
        context->create();
        qt_gl_set_global_share_context(context);
    }
}

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
