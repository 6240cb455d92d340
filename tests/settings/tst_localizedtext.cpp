#include "LogCapture.h"
#include "TestEnvironment.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"

#include <QtTest>

class TestLocalizedText : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

    static QJsonObject table(const QString &code)
    {
        QFile file(QStringLiteral(":/strings/%1.json").arg(code));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void bothTablesTranslateEveryText()
    {
        const QJsonObject en = table(QStringLiteral("en"));
        const QJsonObject fr = table(QStringLiteral("fr"));
        QVERIFY(en.size() > 20);
        QCOMPARE(fr.keys(), en.keys());
        for (const QString &key : en.keys()) {
            QVERIFY2(!en.value(key).toString().trimmed().isEmpty(), qPrintable(key));
            QVERIFY2(!fr.value(key).toString().trimmed().isEmpty(), qPrintable(key));
        }
    }

    // The keys stay as the screens and the French table know them; what English shows is
    // spelled right.
    void englishShowsKeysSpelledRight_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shown");
        QTest::newRow("send") << "We’ll sent you link for reset password."
                              << "We’ll send you a link to reset your password.";
        QTest::newRow("conditions") << "Terms & Condition"
                                    << "Terms & Conditions";
        QTest::newRow("therapist")
            << "If you choose the FOREVER option, know that the only way to get the pin code will be to chat with a "
               "terapiste on the live chat"
            << "If you choose the Forever option, know that the only way to get the PIN code will be to chat with a "
               "therapist on the live chat";
        QTest::newRow("blocked") << "Your pin has been bloked."
                                 << "Your PIN has been blocked.";
        QTest::newRow("unchanged") << "Cancel"
                                   << "Cancel";
    }
    void englishShowsKeysSpelledRight()
    {
        QFETCH(QString, key);
        QFETCH(QString, shown);
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
        QCOMPARE(localizedText(key), shown);
        QCOMPARE(table(QStringLiteral("fr")).contains(key), true);
    }

    void textFollowsTheStoredLanguage_data()
    {
        QTest::addColumn<QString>("stored"); // empty: absent
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("french stored") << "fr" << "en" << "Logout" << "Déconnexion";
        QTest::newRow("english stored on a french system") << "en" << "fr" << "Logout" << "Logout";
        QTest::newRow("nothing stored: system language") << "" << "fr" << "Settings" << "Réglages";
        QTest::newRow("key missing from the table") << "fr" << "fr" << "No such text" << "No such text";
        // A language without a table reads in English rather than with no text at all.
        QTest::newRow("system language without a table") << "" << "de" << "Settings" << "Settings";
        QTest::newRow("stored language without a table") << "de" << "de" << "Logout" << "Logout";
        QTest::newRow("no system language") << "" << "" << "Logout" << "Logout";
        QTest::newRow("code that is not a language") << "../fr" << "en" << "Logout" << "Logout";
        QTest::newRow("code in capitals") << "FR" << "en" << "Logout" << "Logout";
        QTest::newRow("code with a line feed") << "fr\n" << "en" << "Logout" << "Logout";
    }
    void textFollowsTheStoredLanguage()
    {
        QFETCH(QString, stored);
        QFETCH(QString, system);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        LocalizedTextTesting::setSystemLanguage([system] { return system; });
        if (!stored.isEmpty())
            PreferencesStore::shared().setString(PrefKey::CurrentLanguage, stored);
        QCOMPARE(localizedText(key), expected);
    }

    void messagesKeepTheLanguageOfTheirFirstUse()
    {
        LocalizedTextTesting::setSystemLanguage([] { return QStringLiteral("fr"); });
        QCOMPARE(messageText(QStringLiteral("Ooops")), QStringLiteral("Oups"));
        changeLanguage(QStringLiteral("English Selected"), QStringLiteral("en"));
        // The interface language does not move message constants.
        QCOMPARE(messageText(QStringLiteral("Ooops")), QStringLiteral("Oups"));
        QCOMPARE(localizedText(QStringLiteral("Logout")), QStringLiteral("Logout"));
        QCOMPARE(messageText(QStringLiteral("Requires admin privileges")), QStringLiteral("Droits d'administrateur requis"));
    }

    void changingLanguageStoresAndTellsTheScreens()
    {
        LogCapture log;
        QObject screen;
        QVariantList posted;
        NotificationCenter::defaultCenter().addObserver(&screen, QStringLiteral("UpdateChooseLanguage"),
                                                        [&](const QVariant &v) { posted << v; });
        changeLanguage(QStringLiteral("French Selected"), QStringLiteral("fr"));
        QCOMPARE(log.lines, QStringList{"French Selected"});
        QCOMPARE(posted, QVariantList{QStringLiteral("fr")});
        PreferencesStore::resetShared(); // written to disk, not only in memory
        QCOMPARE(PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage), QStringLiteral("fr"));
    }
};

QTEST_GUILESS_MAIN(TestLocalizedText)
#include "tst_localizedtext.moc"
