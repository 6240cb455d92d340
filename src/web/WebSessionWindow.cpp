#include "WebSessionWindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

WebSessionWindow::WebSessionWindow(const QString &callbackScheme, std::function<void(const QUrl &)> done,
                                   QWidget *parent)
    : QWidget(parent, Qt::Window), m_scheme(callbackScheme), m_done(std::move(done))
{
    setObjectName(QStringLiteral("webSessionWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(560, 640);
    // The view before the profile: children go in creation order, and the page must go
    // before its profile.
    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("webView"));
    m_profile = new QWebEngineProfile(this); // no storage name: off the record
    auto *page = new QWebEnginePage(m_profile, m_view);
    page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    // The provider's redirect to our scheme comes without a click.
    page->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
    m_view->setPage(page);
    connect(m_view, &QWebEngineView::titleChanged, this, &QWidget::setWindowTitle);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    QDesktopServices::setUrlHandler(m_scheme, this, "handleCallback");
}

WebSessionWindow::~WebSessionWindow()
{
    // Only while the handler is still this window's: once it finished, a newer window of the
    // same scheme may have registered its own, which a late deletion of this one must not undo.
    if (m_done)
        QDesktopServices::unsetUrlHandler(m_scheme);
}

void WebSessionWindow::start(const QUrl &dialogUrl)
{
    m_view->load(dialogUrl);
    show();
    raise();
}

void WebSessionWindow::handleCallback(const QUrl &url)
{
    if (url.scheme().compare(m_scheme, Qt::CaseInsensitive) != 0)
        return;
    finish(url);
    close();
}

void WebSessionWindow::closeEvent(QCloseEvent *event)
{
    finish(QUrl()); // closed by the user before the provider answered
    event->accept();
}

void WebSessionWindow::finish(const QUrl &url)
{
    QDesktopServices::unsetUrlHandler(m_scheme);
    if (auto done = std::exchange(m_done, nullptr))
        done(url);
}
