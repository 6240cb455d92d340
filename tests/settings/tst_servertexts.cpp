// Every text the server can send, as the app shows it: in French in a French app, including
// the two refusals the server keeps word for word in every language because the PIN dialogs
// compare them.
#include "AlertRecorder.h"
#include "Messages.h"
#include "TestEnvironment.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "ui/CommmonFunction.h"

#include <QtTest>

class TestServerTexts : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

    // What the user reads when a screen shows the server's text as it came, as title and as
    // message (screens do both).
    static QStringList shown(const QString &wire)
    {
        AlertRecorder alerts;
        CommmonFunction::showCommonAlert(QStringLiteral("Ooops"), wire);
        CommmonFunction::showCommonAlert(wire, QString());
        return {alerts.alerts.at(0).second, alerts.alerts.at(1).first};
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void everyServerTextShowsInFrench_data()
    {
        QTest::addColumn<int>("message");
        for (int m = int(Msg::unauthenticated); m <= int(Msg::pinMailBody); ++m)
            QTest::newRow(qPrintable(text(Msg(m), Language::english).left(40))) << m;
    }
    void everyServerTextShowsInFrench()
    {
        QFETCH(int, message);
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, QStringLiteral("fr"));
        // The app asks the server in its language; what comes back is shown.
        const QString wire = text(Msg(message), languageFrom(QStringLiteral("fr")));
        const QString english = text(Msg(message), Language::english);
        QVERIFY(!wire.isEmpty());
        for (const QString &read : shown(wire)) {
            QVERIFY2(read != english, qPrintable(read));
            QVERIFY(!read.isEmpty());
        }
    }

    void comparedRefusalsKeepTheirWireText_data()
    {
        QTest::addColumn<int>("message");
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("french");
        QTest::newRow("wrong PIN") << int(Msg::wrongPin) << "Please enter a valid otp."
                                   << "This PIN is not right. Please try again."
                                   << "Ce code PIN n’est pas le bon. Veuillez réessayer.";
        QTest::newRow("blocked PIN") << int(Msg::pinBlocked) << "Your pin has been bloked."
                                     << "Your PIN has been blocked."
                                     << "Votre code PIN a été bloqué.";
    }
    void comparedRefusalsKeepTheirWireText()
    {
        QFETCH(int, message);
        QFETCH(QString, wire);
        QFETCH(QString, english);
        QFETCH(QString, french);
        QCOMPARE(text(Msg(message), Language::english), wire);
        QCOMPARE(text(Msg(message), Language::french), wire);
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
        QCOMPARE(shown(wire), (QStringList{english, english}));
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, QStringLiteral("fr"));
        QCOMPARE(shown(wire), (QStringList{french, french}));
    }
};

QTEST_MAIN(TestServerTexts)
#include "tst_servertexts.moc"
