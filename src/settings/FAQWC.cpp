#include "FAQWC.h"

#include "BuildConfig.h"
#include "core/Log.h"
#include "texts/LocalizedText.h"

#include <QLineEdit>
#include <QUrlQuery>
#include <QVBoxLayout>

FAQWC::FAQWC(WebContentLoader *loader, QWidget *parent, const BlockPageRequest &request) : WebWindow(loader, parent)
{
    resize(900, 640);
    m_blockPage = request.isBlockPageRequested();
    m_blockedApplication = request.blockedApplication();
    if (m_blockPage) {
        // The block page is no FAQ: its own title, and nothing to search.
        setWindowTitle(localizedText(QStringLiteral("Application blocked")));
        faqPageURL = QUrl(QStringLiteral("qrc:/web/nb_blockpage.html"));
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("lang"), interfaceLanguage());
        query.addQueryItem(QStringLiteral("app"), m_blockedApplication);
        faqPageURL.setQuery(query);
        return;
    }
    setWindowTitle(localizedText(QStringLiteral("FAQ")));
    faqPageURL = inInterfaceLanguage(configuredUrl(BuildConfig::faqUrl));

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(localizedText(QStringLiteral("Search")));
    m_search->setClearButtonEnabled(true);
    m_search->setAttribute(Qt::WA_MacShowFocusRect, false);
    // The search field's look: a faint dark rounded fill, no focus ring.
    m_search->setStyleSheet(QStringLiteral("QLineEdit#search { background: rgba(0, 0, 0, 26); border: none;"
                                           " border-radius: 7px; padding: 4px 8px; margin: 8px 12px; }"));
    layout()->addWidget(m_search);
    connect(m_search, &QLineEdit::returnPressed, this, &FAQWC::searchAction);
}

void FAQWC::searchAction()
{
    if (m_search)
        Log::line(m_search->text());
}

QUrl FAQWC::browserUrl() const
{
    return m_blockPage ? QUrl() : faqPageURL;
}

QString FAQWC::fallbackHtml() const
{
    QString app = m_blockedApplication.toHtmlEscaped();
    if (app.isEmpty())
        app = localizedText(QStringLiteral("An application"));
    return QStringLiteral("<h2>%1</h2><p>%2</p>")
        .arg(localizedText(QStringLiteral("Application blocked")),
             localizedText(QStringLiteral("%1 is on your block list, so Nimbrel closed it.")).arg(app));
}

void FAQWC::placeView(QWidget *view)
{
    layout()->addWidget(view);
    static_cast<QVBoxLayout *>(layout())->setStretchFactor(view, 1);
}
