// The web windows with the real plugin (QtWebEngine offscreen) and without it. Few cases,
// grouped: starting QtWebEngine is slow.
#include "AlertRecorder.h"
#include "BuildConfig.h"
#include "TestEnvironment.h"
#include "app/AppMain.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "settings/FAQWC.h"
#include "settings/LiveChat.h"
#include "settings/WebWindow.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"
#include "ui/WebContentLoader.h"

#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBrowser>
#include <QtTest>

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestWebWindows : public QObject
{
    Q_OBJECT
    WebContentLoader m_loader{QStringList{QStringLiteral(NIMBREL_PLUGIN_DIR)}};
    std::unique_ptr<TestEnvironment> m_env;

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup()
    {
        m_env.reset();
    }

    void chatPageGetsTheSignedInUser_data()
    {
        QTest::addColumn<QString>("storedName");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("expectedName");
        QTest::newRow("plain") << "Ada Lovelace" << "ada@example.org" << "Ada Lovelace";
        QTest::newRow("apostrophe") << "O'Brien" << "o'brien@example.org" << "O'Brien";
        QTest::newRow("crafted") << "'); alert(1); ('" << "x@example.org" << "'); alert(1); ('";
        QTest::newRow("quotes, backslash, line breaks")
            << "\"\\\n</script>\u2028" << "" << "\"\\\n</script>\u2028";
        QTest::newRow("no name") << QString() << QString() << "Empty User";
    }
    void chatPageGetsTheSignedInUser()
    {
        QFETCH(QString, storedName);
        QFETCH(QString, email);
        QFETCH(QString, expectedName);
        if (!storedName.isNull())
            PreferencesStore::shared().setString(PrefKey::user_name, storedName);
        if (!email.isNull())
            PreferencesStore::shared().setString(PrefKey::user_email, email);
        LiveChat chat(&m_loader, nullptr);
        QSignalSpy messages(&chat, &LiveChat::scriptMessage);
        chat.show();
        QVERIFY2(chat.webView(), "the web plugin did not load");
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 30000);
        const QJsonObject body = QJsonDocument::fromJson(messages.first().first().toString().toUtf8()).object();
        QCOMPARE(body.value(QLatin1String("name")).toString(), expectedName);
        QCOMPARE(body.value(QLatin1String("email")).toString(), email);
    }

    // After a block the next FAQ window shows the block page; the sidebar's FAQ item clears
    // the flag first and shows the FAQ page.
    void blockPageUntilTheSidebarFaqItem()
    {
        MainWindowController main;
        CommmonFunction &common = attachPresenters(main.window(), &m_loader);
        common.blockPageRequest().request(QStringLiteral("Solitaire"));
        QPointer<QDialog> blocked = common.makeWindow(QStringLiteral("FAQWC"));
        blocked->show();
        auto *view = static_cast<FAQWC *>(blocked.data())->webView();
        QVERIFY(view);
        QTRY_COMPARE_WITH_TIMEOUT(view->property("title").toString(), QStringLiteral("Application blocked"), 30000);
        delete blocked;

        common.openMainContent(QSize(800, 500));
        auto *split = qobject_cast<SplitViewController *>(main.window()->content());
        QVERIFY(split);
        SidebarViewController *sidebar = split->sidebar();
        sidebar->btnProtectionOnOffTapped(sidebar->item(5));
        QVERIFY(!common.blockPageRequest().isBlockPageRequested());
        auto *faq = qobject_cast<FAQWC *>(sidebar->wc.data());
        QVERIFY(faq && faq->webView());
        QCOMPARE(faq->faqPageURL, QUrl(QString::fromUtf8(BuildConfig::faqUrl)));
        QTRY_COMPARE(faq->webView()->property("url").toUrl(), faq->faqPageURL);
    }

    void withoutThePluginTheBrowserShowsThePage_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("expected");
        QTest::newRow("FAQ") << "FAQWC" << BuildConfig::faqUrl;
        QTest::newRow("terms") << "TermsWC" << BuildConfig::termsUrl;
        QTest::newRow("privacy") << "PrivacyWC" << BuildConfig::privacyUrl;
        // No chat service configured: the FAQ tells how to reach support.
        QTest::newRow("live chat") << "LiveChat"
                                   << (*BuildConfig::liveChatUrl ? BuildConfig::liveChatUrl : BuildConfig::faqUrl);
    }
    void withoutThePluginTheBrowserShowsThePage()
    {
        QFETCH(QString, window);
        QFETCH(QString, expected);
        WebContentLoader noPlugin(QStringList{});
        CommmonFunction &common = CommmonFunction::shared();
        registerWebWindows(common, &noPlugin);
        UrlRecorder browser;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
        QPointer<QDialog> made = common.makeWindow(window);
        made->show();
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(browser.opened, QList<QUrl>{QUrl(expected)});
        QTRY_VERIFY(made.isNull()); // no empty window left behind
    }

    // Our block page is not on the web: without the plugin the window shows it as text.
    void withoutThePluginTheBlockPageIsText()
    {
        BlockPageRequest request;
        request.request(QStringLiteral("<b>Solitaire</b>"));
        WebContentLoader noPlugin(QStringList{});
        FAQWC faq(&noPlugin, nullptr, request);
        faq.show();
        QVERIFY(faq.isVisible());
        auto *text = faq.findChild<QTextBrowser *>(QStringLiteral("fallbackText"));
        QVERIFY(text);
        QVERIFY(text->toPlainText().contains(QStringLiteral("<b>Solitaire</b> is on your block list")));
    }
};

int main(int argc, char **argv)
{
    // QtWebEngine runs here as root: without its sandbox.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    TestWebWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webwindows.moc"
