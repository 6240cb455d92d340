#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>

class QWebEngineProfile;
class QWebEngineView;

// A provider's sign-in dialog in a private (off-the-record) profile. The provider ends by
// sending the page to callbackScheme://...; QtWebEngine hands URLs of unknown schemes to
// QDesktopServices, where this window registers itself as the scheme's handler for its
// lifetime, so the URL (and the token in it) never leaves the process.
class WebSessionWindow : public QWidget
{
    Q_OBJECT
public:
    WebSessionWindow(const QString &callbackScheme, std::function<void(const QUrl &)> done, QWidget *parent);
    ~WebSessionWindow() override;

    void start(const QUrl &dialogUrl);

public slots:
    // QDesktopServices calls this for URLs of the callback scheme.
    void handleCallback(const QUrl &url);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void finish(const QUrl &url);

    QString m_scheme;
    std::function<void(const QUrl &)> m_done;
    QWebEngineView *m_view = nullptr;
    QWebEngineProfile *m_profile = nullptr;
};
