#include "TestEnvironment.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QtTest>

class TestPreferencesStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void freshStoreReadsAsNothingSet()
    {
        PreferencesStore &prefs = PreferencesStore::shared();
        QVERIFY(prefs.filePath().startsWith(env->home()));
        QVERIFY(!prefs.boolForKey(PrefKey::dnsLastStatus));
        QVERIFY(!prefs.boolForKey(PrefKey::isLogin));
        QVERIFY(!prefs.boolForKey(PrefKey::isPinSeted));
        QCOMPARE(prefs.integerForKey(PrefKey::attemp), 0);
        QVERIFY(prefs.stringArrayForKey(PrefKey::blockedAppDetails).isEmpty());
        QVERIFY(!prefs.stringForKey(PrefKey::CurrentLanguage));
        QVERIFY(!QFile::exists(prefs.filePath())); // reading writes nothing
    }

    void valuesKeepTheirTypesAcrossRestarts()
    {
        {
            PreferencesStore &prefs = PreferencesStore::shared();
            prefs.setBool(PrefKey::isLogin, true);
            prefs.setInteger(PrefKey::user_id, 4200000000123);
            prefs.setString(PrefKey::user_email, QStringLiteral("zoé@example.org"));
            prefs.setStringArray(PrefKey::blockedAppDetails, {"Firefox", "Steam"});
            prefs.setInteger(PrefKey::UserName, 7);
        }
        PreferencesStore::resetShared();
        PreferencesStore &prefs = PreferencesStore::shared();
        QVERIFY(prefs.boolForKey(PrefKey::isLogin));
        QCOMPARE(prefs.integerForKey(PrefKey::user_id), 4200000000123);
        QCOMPARE(prefs.textForKey(PrefKey::user_id), QStringLiteral("4200000000123"));
        QCOMPARE(prefs.stringForKey(PrefKey::user_email), QStringLiteral("zoé@example.org"));
        QCOMPARE(prefs.stringArrayForKey(PrefKey::blockedAppDetails), (QStringList{"Firefox", "Steam"}));
        // A number is not a string, and a string is not a Boolean or a number.
        QVERIFY(!prefs.stringForKey(PrefKey::UserName));
        prefs.setString(PrefKey::isPinSeted, QStringLiteral("true"));
        QVERIFY(!prefs.boolForKey(PrefKey::isPinSeted));
        QCOMPARE(prefs.integerForKey(PrefKey::user_email), 0);
    }

    void mistypedArraysReadAsEmpty_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("string") << QByteArray(R"("Firefox")");
        QTest::newRow("number") << QByteArray("3");
        QTest::newRow("mixed array") << QByteArray(R"(["Firefox", 3])");
        QTest::newRow("object") << QByteArray(R"({"a": "b"})");
    }
    void mistypedArraysReadAsEmpty()
    {
        QFETCH(QByteArray, stored);
        const QString file = PreferencesStore::defaultFilePath();
        env->writeFile(file.mid(env->home().size() + 1), R"({"blockedAppDetails": )" + stored + "}");
        QVERIFY(PreferencesStore::shared().stringArrayForKey(PrefKey::blockedAppDetails).isEmpty());
    }

    void fileIsPrivateToTheUser()
    {
        PreferencesStore::shared().setString(PrefKey::loginToken, QStringLiteral("secret"));
        const QFileInfo info(PreferencesStore::shared().filePath());
        // Owner bits are 0xF000, group 0x00F0, others 0x000F.
        QCOMPARE(int(info.permissions() & 0xF0FF), int(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(int(QFileInfo(info.absolutePath()).permissions() & 0x00FF), 0);
    }

    void emptyingRemovesEveryKey()
    {
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isLogin, true);
        prefs.setString(PrefKey::loginToken, QStringLiteral("t"));
        prefs.removeAll();
        QVERIFY(!prefs.contains(PrefKey::isLogin));
        PreferencesStore::resetShared();
        QVERIFY(!PreferencesStore::shared().contains(PrefKey::loginToken));
        QVERIFY(PreferencesStore::shared().synchronize());
    }

    void damagedFileIsKeptAsideAndReadAsEmpty()
    {
        const QString file = PreferencesStore::defaultFilePath();
        const QString relative = file.mid(env->home().size() + 1);
        env->writeFile(relative, "{\"isLogin\": tr");
        PreferencesStore &prefs = PreferencesStore::shared();
        QVERIFY(!prefs.boolForKey(PrefKey::isLogin));
        const QStringList aside = QDir(QFileInfo(file).absolutePath()).entryList({"*.damaged-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(env->readFile(QFileInfo(relative).path() + '/' + aside.first()), QStringLiteral("{\"isLogin\": tr"));
        prefs.setBool(PrefKey::isLogin, true);
        PreferencesStore::resetShared();
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::isLogin));
    }

    void killedWriterLeavesAWholeFile()
    {
        const QString file = env->path(QStringLiteral("atomic/prefs.json"));
        QRandomGenerator random(20261206);
        for (int round = 0; round < 12; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(PREFS_WRITER), {file});
            QVERIFY(writer.waitForReadyRead(10000));
            QThread::msleep(random.bounded(5, 60));
            writer.kill();
            QVERIFY(writer.waitForFinished(5000));

            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QJsonParseError error{};
            const QJsonObject values = QJsonDocument::fromJson(f.readAll(), &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            const QString payload = values.value(QStringLiteral("payload")).toString();
            QCOMPARE(payload.size(), 200000);
            QCOMPARE(payload.count(payload.at(0)), payload.size());
            QVERIFY(values.value(QStringLiteral("counter")).toInteger() >= 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestPreferencesStore)
#include "tst_preferencesstore.moc"
