#include "WebWindow.h"

#include "FAQWC.h"
#include "LiveChat.h"
#include "PrivacyWC.h"
#include "TermsWC.h"
#include "core/Log.h"
#include "platform/SystemBrowser.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"
#include "ui/WebContent.h"
#include "ui/WebContentLoader.h"

#include <QTextBrowser>
#include <QUrlQuery>
#include <QVBoxLayout>

WebWindow::WebWindow(WebContentLoader *loader, QWidget *parent) : QDialog(parent, Qt::Window), m_loader(loader)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void WebWindow::setVisible(bool visible)
{
    if (visible && !ensureContent())
        return;
    QDialog::setVisible(visible);
}

QWidget *WebWindow::createView(WebContent &web)
{
    return web.createPageView(pageUrl(), this);
}

void WebWindow::placeView(QWidget *view)
{
    layout()->addWidget(view);
}

// True when the window has something to show.
bool WebWindow::ensureContent()
{
    if (m_prepared)
        return true;
    if (!pageUrl().isValid()) {
        Log::line(QStringLiteral("Page address not usable; nothing loaded"));
        m_prepared = true;
        return true;
    }
    if (WebContent *web = m_loader ? m_loader->plugin() : nullptr) {
        m_view = createView(*web);
        placeView(m_view);
        m_prepared = true;
        return true;
    }
    // Told once: every later page goes the same way.
    if (m_loader && m_loader->takeFailureNotice())
        CommmonFunction::showCommonAlert(
            localizedText(QStringLiteral("Web pages open in your browser")),
            localizedText(QStringLiteral(
                "Nimbrel's web component could not start, so web pages open in your web browser instead.")));
    const QUrl external = browserUrl();
    if (external.isValid() && !external.isEmpty()) {
        openInSystemBrowser(external);
        deleteLater(); // the browser shows it; holders keep guarded pointers
        return false;
    }
    auto *text = new QTextBrowser(this);
    text->setObjectName(QStringLiteral("fallbackText"));
    text->setOpenExternalLinks(true);
    text->setHtml(fallbackHtml());
    placeView(text);
    m_prepared = true;
    return true;
}

QUrl configuredUrl(const char *address)
{
    const QUrl url(QString::fromUtf8(address), QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl();
}

QUrl inInterfaceLanguage(QUrl url)
{
    // English is what every page shows unasked, so the address stays as configured.
    if (url.isEmpty() || interfaceLanguage() != QLatin1String("fr"))
        return url;
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("lang"));
    query.addQueryItem(QStringLiteral("lang"), QStringLiteral("fr"));
    url.setQuery(query);
    return url;
}

void registerWebWindows(CommmonFunction &common, WebContentLoader *loader)
{
    common.registerWindow(QStringLiteral("LiveChat"), [loader](QWidget *parent) { return new LiveChat(loader, parent); });
    common.registerWindow(QStringLiteral("FAQWC"), [loader, &common](QWidget *parent) {
        return new FAQWC(loader, parent, common.blockPageRequest());
    });
    common.registerWindow(QStringLiteral("TermsWC"), [loader](QWidget *parent) { return new TermsWC(loader, parent); });
    common.registerWindow(QStringLiteral("PrivacyWC"), [loader](QWidget *parent) { return new PrivacyWC(loader, parent); });
}
