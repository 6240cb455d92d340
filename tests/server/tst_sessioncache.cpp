// The memory of signed-in requests: what a change drops, and that nothing read before a change
// is kept after it (two HTTP threads racing cannot be arranged over HTTP).
#include "SessionCache.h"

#include <QTest>

namespace {
SessionCache::Session sessionOf(qint64 userID, qint64 tokenID)
{
    SessionCache::Session session;
    session.user.id = userID;
    session.token.id = tokenID;
    session.token.userID = userID;
    return session;
}
} // namespace

class tst_SessionCache : public QObject
{
    Q_OBJECT

private slots:
    void whatAChangeDrops_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("sessionKept");
        QTest::addColumn<bool>("answerKept");
        QTest::newRow("account") << "account" << false << false;
        QTest::newRow("lists or status") << "answers" << true << false;
    }
    void whatAChangeDrops()
    {
        QFETCH(QString, change);
        QFETCH(bool, sessionKept);
        QFETCH(bool, answerKept);
        SessionCache cache(true);
        cache.keepSession(cache.generation(), "ada-1", sessionOf(1, 10));
        cache.keepSession(cache.generation(), "bob-1", sessionOf(2, 20));
        cache.keepAnswer(cache.generation(), 1, "page:e1", "ada's page");
        cache.keepAnswer(cache.generation(), 2, "page:e1", "bob's page");
        cache.keepStatus(cache.generation(), 1, {});
        if (change == QLatin1String("account"))
            cache.accountChanged(1);
        else
            cache.answersChanged(1);
        QCOMPARE(cache.session("ada-1").has_value(), sessionKept);
        QCOMPARE(cache.answer(1, "page:e1").has_value(), answerKept);
        QCOMPARE(cache.status(1).has_value(), false);
        // Another user's entries stay.
        QVERIFY(cache.session("bob-1"));
        QCOMPARE(cache.answer(2, "page:e1").value_or(QByteArray()), QByteArray("bob's page"));
    }

    void whatWasReadBeforeAChangeIsNotKept()
    {
        SessionCache cache(true);
        const quint64 before = cache.generation(); // a thread reads the database...
        cache.accountChanged(1);                   // ...another revokes the token meanwhile
        cache.keepSession(before, "ada-1", sessionOf(1, 10));
        cache.keepAnswer(before, 1, "categories:e", "old");
        cache.keepStatus(before, 1, {});
        QVERIFY(!cache.session("ada-1"));
        QVERIFY(!cache.answer(1, "categories:e"));
        QVERIFY(!cache.status(1));
        cache.keepSession(cache.generation(), "ada-1", sessionOf(1, 10));
        QVERIFY(cache.session("ada-1"));
    }

    void untrustedCacheKeepsNothing()
    {
        SessionCache cache(false);
        cache.keepSession(cache.generation(), "ada-1", sessionOf(1, 10));
        cache.keepAnswer(cache.generation(), 1, "categories:e", "body");
        cache.syncRecorded(1, "desk", "127.0.0.1");
        QVERIFY(!cache.session("ada-1"));
        QVERIFY(!cache.answer(1, "categories:e"));
        QVERIFY(!cache.repeatsLastSync(1, "desk", "127.0.0.1"));
    }

    // A repeat is the same account, computer and address as the last call recorded for each.
    void repeatedStatusCalls()
    {
        SessionCache cache(true);
        QVERIFY(!cache.repeatsLastSync(1, "desk", "10.0.0.1"));
        cache.syncRecorded(1, "desk", "10.0.0.1");
        QVERIFY(cache.repeatsLastSync(1, "desk", "10.0.0.1"));
        QVERIFY(!cache.repeatsLastSync(1, "desk", "10.0.0.2"));
        cache.syncRecorded(2, "laptop", "10.0.0.1"); // another account at that address since
        QVERIFY(!cache.repeatsLastSync(1, "desk", "10.0.0.1"));
        cache.syncRecorded(1, "desk", "10.0.0.1");
        cache.syncRecorded(1, "laptop", "10.0.0.9"); // the same account on another computer since
        QVERIFY(!cache.repeatsLastSync(1, "desk", "10.0.0.1"));
    }

    void bounded()
    {
        SessionCache cache(true, 8, 8);
        for (qint64 i = 1; i <= 100; ++i) {
            cache.keepSession(cache.generation(), QByteArray::number(i), sessionOf(i, i));
            cache.keepAnswer(cache.generation(), i, "k", "v");
        }
        int sessions = 0;
        int answers = 0;
        for (qint64 i = 1; i <= 100; ++i) {
            sessions += cache.session(QByteArray::number(i)).has_value();
            answers += cache.answer(i, "k").has_value();
        }
        QVERIFY(sessions >= 1 && sessions <= 8);
        QVERIFY(answers >= 1 && answers <= 8);
        QVERIFY(cache.session("100")); // the latest is always kept
    }
};

QTEST_GUILESS_MAIN(tst_SessionCache)
#include "tst_sessioncache.moc"
