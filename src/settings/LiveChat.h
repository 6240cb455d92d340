#pragma once

#include "WebWindow.h"

// The live chat: our chat page, told who is signed in through loadURL(email, name) once the
// document has loaded. Messages the page posts to window.webkit.messageHandlers.test are logged.
class LiveChat : public WebWindow
{
    Q_OBJECT
public:
    LiveChat(WebContentLoader *loader, QWidget *parent);

    // loadURL(email, name) with both values as JS string literals, so no name can end the
    // string early (an apostrophe broke the page; a crafted name ran as script).
    static QString loadScript(const QString &email, const QString &name);

    QUrl url;
    QString username;
    QString userEmail;
    QString js;

signals:
    void scriptMessage(const QString &body);

protected:
    QUrl pageUrl() const override { return url; }
    QWidget *createView(WebContent &web) override;
    QUrl browserUrl() const override;
};
