// The web windows as a new user meets them in a root shell, and when the web component cannot
// start. Nothing here sets up QtWebEngine beforehand: the app has to do it itself.
#include "AlertRecorder.h"
#include "BuildConfig.h"
#include "LogCapture.h"
#include "TestEnvironment.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/Privileges.h"
#include "settings/FAQWC.h"
#include "settings/TermsWC.h"
#include "ui/CommmonFunction.h"
#include "ui/WebContentLoader.h"

#include <QLineEdit>
#include <QTextBrowser>
#include <QtTest>

class TestWebRoot : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup()
    {
        m_env.reset();
    }

    // As root the engine refuses to start with its sandbox and would end the app: the app starts
    // it without, says so, and the block page shows in the interface language.
    void blockPageAsRoot_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        QTest::newRow("English") << "en"
                                 << "Application blocked";
        QTest::newRow("French") << "fr"
                                << "Application bloquée";
    }
    void blockPageAsRoot()
    {
        if (!runsAsAdministrator())
            QSKIP("runs only as root: the web engine's sandbox works for other users");
        QFETCH(QString, language);
        QFETCH(QString, title);
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, language);
        BlockPageRequest request;
        request.request(QStringLiteral("Solitaire"));
        LogCapture log;
        static WebContentLoader loader{QStringList{QStringLiteral(NIMBREL_PLUGIN_DIR)}};
        const bool first = !loader.attempted();

        FAQWC page(&loader, nullptr, request);
        page.show();
        QVERIFY2(page.webView(), "the web plugin did not load");
        // Its own title, and no FAQ search field.
        QCOMPARE(page.windowTitle(), title);
        QVERIFY(!page.findChild<QLineEdit *>(QStringLiteral("search")));
        QTRY_COMPARE_WITH_TIMEOUT(page.webView()->property("title").toString(), title, 30000);
        QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));
        if (first)
            QVERIFY(log.contains(QStringLiteral("Running as root: the web component starts without its sandbox")));
    }

    // A web component that is there but cannot load: pages go to the system browser (a
    // stand-in xdg-open here), the app keeps running, and the user is told once.
    void brokenComponentOpensTheBrowserWithOneAlert()
    {
        m_env->writeFile(QStringLiteral("plugin/libnimbrel-web.so"), "not a library");
        const QString opened = m_env->path(QStringLiteral("opened.txt"));
        m_env->writeFile(QStringLiteral("bin/xdg-open"),
                         QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(opened).toUtf8());
        QFile::setPermissions(m_env->path(QStringLiteral("bin/xdg-open")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", m_env->path(QStringLiteral("bin")).toUtf8() + ':' + path);
        AlertRecorder alerts;
        LogCapture log;
        WebContentLoader broken(QStringList{m_env->path(QStringLiteral("plugin"))});

        // Each window hands its page to the browser and goes away by itself.
        QPointer<FAQWC> faq = new FAQWC(&broken, nullptr);
        faq->show();
        QPointer<TermsWC> terms = new TermsWC(&broken, nullptr);
        terms->show();
        qputenv("PATH", path);
        QTRY_VERIFY(faq.isNull() && terms.isNull());

        QVERIFY(log.contains(QStringLiteral("Web component failed to load: ")));
        QCOMPARE(alerts.alerts.size(), 1);
        QCOMPARE(alerts.lastTitle(), QStringLiteral("Web pages open in your browser"));
        const auto openedPages = [&] {
            QFile file(opened);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                                  : QStringList();
        };
        QTRY_COMPARE(openedPages().size(), 2);
        QVERIFY(openedPages().contains(QString::fromUtf8(BuildConfig::faqUrl)));
        QVERIFY(openedPages().contains(QString::fromUtf8(BuildConfig::termsUrl)));
    }
};

int main(int argc, char **argv)
{
    // What a root shell gives: nothing said about the web engine's sandbox.
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    QApplication app(argc, argv);
    TestWebRoot test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webroot.moc"
