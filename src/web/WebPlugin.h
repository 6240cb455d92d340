#pragma once

#include "ui/WebContent.h"

#include <QObject>

class WebPlugin : public QObject, public WebContent
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID WebContent_iid)
    Q_INTERFACES(WebContent)
public:
    WebPlugin();
    QWidget *createPageView(const QUrl &url, QWidget *parent) override;
    QWidget *createScriptedPageView(const QUrl &page, const QString &script,
                                    std::function<void(const QString &)> onMessage, QWidget *parent) override;
    QWidget *startWebSession(const QUrl &dialogUrl, const QString &callbackScheme,
                             std::function<void(const QUrl &)> done, QWidget *parent) override;
};

// The object pages reach as window.webkit.messageHandlers.test through the web channel.
class ScriptMessageBridge : public QObject
{
    Q_OBJECT
public:
    ScriptMessageBridge(std::function<void(const QString &)> onMessage, QObject *parent)
        : QObject(parent), m_onMessage(std::move(onMessage))
    {
    }
    // Only text is passed on; anything else a page posts is ignored.
    Q_INVOKABLE void postMessage(const QVariant &body)
    {
        if (body.typeId() == QMetaType::QString && m_onMessage)
            m_onMessage(body.toString());
    }

private:
    std::function<void(const QString &)> m_onMessage;
};
