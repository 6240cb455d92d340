// Two nimbrel-server processes on one PostgreSQL database, as an operator runs them when one
// server is not enough: neither keeps state of its own.
#include "DnsTestSupport.h"
#include "ServerPostgres.h"
#include "ServerTestSupport.h"
#include "Settle.h"

#include <QTemporaryDir>

using namespace ServerTest;

class tst_ServerPostgres : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServerPostgres> m_postgres;
    QString m_missing;

    // Two servers with DNS on one new database, a dnsmasq upstream; dns: the second one's port.
    struct TwoServers {
        DnsTest::Dnsmasq upstream;
        QTemporaryDir dir;
        std::unique_ptr<ServerProcess> one, two;
        quint16 dns = 0;
    };
    void startTwoServers(TwoServers &servers, const QString &database)
    {
        QVERIFY2(m_postgres, qPrintable(m_missing));
        QVERIFY(m_postgres->createDatabase(database));
        QString why;
        QVERIFY2(servers.upstream.start(&why), qPrintable(why));
        QVERIFY(servers.dir.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), m_postgres->password());
        const QStringList shared{QStringLiteral("--database"),     m_postgres->url(database),
                                 QStringLiteral("--key-file"),     servers.dir.filePath(QStringLiteral("server.key")),
                                 QStringLiteral("--dns-port"),     QStringLiteral("0"),
                                 QStringLiteral("--dns-upstream"), servers.upstream.upstream()};
        for (auto [server, name] : {std::pair{&servers.one, "one"}, std::pair{&servers.two, "two"}}) {
            *server = std::make_unique<ServerProcess>(QStringLiteral(NIMBREL_SERVER_BINARY),
                                                      servers.dir.filePath(QLatin1String(name)));
            QVERIFY((*server)->start(shared, env));
        }
        servers.dns = servers.two->dnsPort();
        QVERIFY2(servers.dns, qPrintable(servers.two->output()));
    }

private slots:
    void initTestCase()
    {
        auto postgres = std::make_unique<ServerPostgres>();
        if (postgres->start(&m_missing))
            m_postgres = std::move(postgres);
    }

    void twoServersShareOneDatabase()
    {
        if (!m_postgres && ServerPostgres::binaries().isEmpty())
            QSKIP(qPrintable(m_missing));
        QVERIFY2(m_postgres, qPrintable(m_missing));
        QVERIFY(m_postgres->createDatabase(QStringLiteral("shared")));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), m_postgres->password());
        // One key file and one outbox for both, as the operator is told to set them up.
        const QStringList shared{QStringLiteral("--database"), m_postgres->url(QStringLiteral("shared")),
                                 QStringLiteral("--key-file"), dir.filePath(QStringLiteral("server.key"))};
        ServerProcess one(QStringLiteral(NIMBREL_SERVER_BINARY), dir.filePath(QStringLiteral("one")));
        ServerProcess two(QStringLiteral(NIMBREL_SERVER_BINARY), dir.filePath(QStringLiteral("two")));
        QVERIFY(one.start(shared, env));
        QVERIFY(two.start(shared, env));
        QVERIFY(!one.output().contains(m_postgres->password()));
        ServerClient a(one.apiBase());
        ServerClient b(two.apiBase());

        const Account ada = signUp(a, QStringLiteral("ada@example.org"));
        QVERIFY(ada.id);
        QCOMPARE(signUp(b, QStringLiteral("ADA@example.org")).id, 0);
        const ServerAnswer login = logIn(b, ada.email, ada.password);
        QCOMPARE(contractProblem<BaseModel<AuthModel>>(login, QStringLiteral("login.json"), true), QString());

        // Failed sign-ins counted by either server add up to one limit.
        for (int i = 0; i < 5; ++i)
            QVERIFY(!logIn(i % 2 ? a : b, ada.email, QStringLiteral("wrong password")).accepted());
        QVERIFY(logIn(a, ada.email, ada.password).msg().startsWith(QStringLiteral("Too many failed sign-in attempts")));
        QVERIFY(logIn(b, ada.email, ada.password).msg().startsWith(QStringLiteral("Too many failed sign-in attempts")));
        one.advance(15 * 60 + 1);
        two.advance(15 * 60 + 1);

        // Wrong PINs counted by either server add up.
        QVERIFY(b.post(QStringLiteral("setupPin"), {{"time", "12"}, {"pin", "482913"}}, ada.token).accepted());
        for (int i = 0; i < 4; ++i)
            QCOMPARE((i % 2 ? a : b).post(QStringLiteral("checkPin"), {{"pin", "000000"}}, ada.token).msg(),
                     QStringLiteral("Please enter a valid otp."));
        QCOMPARE(a.post(QStringLiteral("checkPin"), {{"pin", "000000"}}, ada.token).msg(),
                 QStringLiteral("Your pin has been bloked."));
        QCOMPARE(b.post(QStringLiteral("checkPin"), {{"pin", "482913"}}, ada.token).msg(),
                 QStringLiteral("Your pin has been bloked."));
        one.advance(15 * 60);
        two.advance(15 * 60);
        QVERIFY(b.post(QStringLiteral("checkPin"), {{"pin", "482913"}}, ada.token).accepted());
        // The window opened on one server is honoured by the other.
        const ServerAnswer site = a.post(QStringLiteral("blockwesitebyuser"), {{"domain", "example.com"}}, ada.token);
        QCOMPARE(contractProblem<BaseModel<BlockData>>(site, QStringLiteral("blockwesitebyuser.json"), true),
                 QString());
        const QString domainID = QString::number(site.data()[QStringLiteral("id")].toInteger());
        QVERIFY(a.post(QStringLiteral("unblockwesitebyuser"), {{"domain_id", domainID}}, ada.token).accepted());

        // A retrieved PIN is e-mailed once, by one of the two.
        QVERIFY(a.post(QStringLiteral("retrievePin"), {}, ada.token).accepted());
        one.advance(12 * 3600);
        two.advance(12 * 3600);
        QTRY_COMPARE(one.mails().size() + two.mails().size(), 1);
        settle(300);
        QCOMPARE(one.mails().size() + two.mails().size(), 1);

        QVERIFY(a.post(QStringLiteral("logout"), {}, ada.token).accepted());
        QCOMPARE(b.post(QStringLiteral("sync-url"), {}, ada.token).status, 401);
        QVERIFY(one.stop());
        QVERIFY(two.stop());
        const QString log = one.output() + two.output();
        QVERIFY(!log.contains(QLatin1String(ada.token)));
        QVERIFY(!log.contains(QLatin1String("482913")));
    }

    // A change made through one server reaches the other's DNS through the database's
    // notifications, within a second.
    void dnsChangesReachEveryServer()
    {
        if (!m_postgres && ServerPostgres::binaries().isEmpty())
            QSKIP(qPrintable(m_missing));
        if (DnsTest::Dnsmasq::binary().isEmpty())
            QSKIP("dnsmasq is not installed (Debian package dnsmasq-base; make test installs it)");
        TwoServers servers;
        startTwoServers(servers, QStringLiteral("dns"));
        if (QTest::currentTestFailed())
            return;
        ServerProcess &one = *servers.one, &two = *servers.two;
        const quint16 dns = servers.dns;
        ServerClient a(one.apiBase());

        const Account ada = signUp(a, QStringLiteral("ada@example.org"));
        QVERIFY(ada.id);
        QVERIFY(a.post(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}}, ada.token).accepted());
        QVERIFY(a.post(QStringLiteral("blockwesitebyuser"), {{"domain", "shared.test"}}, ada.token).accepted());
        QTRY_COMPARE_WITH_TIMEOUT(DnsTest::rcodeOf(dns, "www.shared.test"), int(LDNS_RCODE_NXDOMAIN), 1000);
        QVERIFY(a.post(QStringLiteral("blockcategory"), {{"category_id", "2"}}, ada.token).accepted());
        QTRY_COMPARE_WITH_TIMEOUT(DnsTest::rcodeOf(dns, "bet365.com"), int(LDNS_RCODE_NXDOMAIN), 1000);

        // A focus session started on one server locks the account on the other and is in its
        // DNS; so is a window saved through it.
        QVERIFY(a.post(QStringLiteral("focus-start"), {{"minutes", "15"}, {"websites", "session.test"}}, ada.token)
                    .accepted());
        QTRY_COMPARE_WITH_TIMEOUT(DnsTest::rcodeOf(dns, "session.test"), int(LDNS_RCODE_NXDOMAIN), 1000);
        ServerClient b(two.apiBase());
        QCOMPARE(b.post(QStringLiteral("unblockcategory"), {{"category_id", "2"}}, ada.token).msg(),
                 QStringLiteral("A focus session holds your blocks until 12:15 (15 min left)."));
        QCOMPARE(b.post(QStringLiteral("focus-start"), {{"minutes", "15"}}, ada.token).json()[QStringLiteral("code")],
                 QJsonValue(409));
        QVERIFY(a.post(QStringLiteral("save-schedule"),
                       {{"name", "Always"}, {"days", "1,2,3,4,5,6,7"}, {"start", "00:00"}, {"end", "00:00"},
                        {"time_zone", "UTC"}, {"websites", "window.test"}},
                       ada.token)
                    .accepted());
        QTRY_COMPARE_WITH_TIMEOUT(DnsTest::rcodeOf(dns, "window.test"), int(LDNS_RCODE_NXDOMAIN), 1000);
        QCOMPARE(b.post(QStringLiteral("focus-status"), {}, ada.token).data()[QStringLiteral("schedules")][0]
                     [QStringLiteral("open")],
                 QJsonValue(true));
        QVERIFY(one.stop());
        QVERIFY(two.stop());
    }

    // PostgreSQL goes away and comes back: the servers answer "try again" meanwhile, the DNS
    // keeps its last policy, and afterwards everything works again without restarting them. A
    // change made through one reaches the other's DNS within a second of the database's return.
    void databaseRestart()
    {
        if (!m_postgres && ServerPostgres::binaries().isEmpty())
            QSKIP(qPrintable(m_missing));
        if (DnsTest::Dnsmasq::binary().isEmpty())
            QSKIP("dnsmasq is not installed (Debian package dnsmasq-base; make test installs it)");
        TwoServers servers;
        startTwoServers(servers, QStringLiteral("restart"));
        if (QTest::currentTestFailed())
            return;
        ServerProcess &one = *servers.one, &two = *servers.two;
        const quint16 dns = servers.dns;
        ServerClient a(one.apiBase());
        ServerClient b(two.apiBase());
        const Account ada = signUp(a, QStringLiteral("ada@example.org"));
        QVERIFY(ada.id);
        QVERIFY(a.post(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}}, ada.token).accepted());
        QVERIFY(a.post(QStringLiteral("blockwesitebyuser"), {{"domain", "before.test"}}, ada.token).accepted());
        QTRY_COMPARE_WITH_TIMEOUT(DnsTest::rcodeOf(dns, "before.test"), int(LDNS_RCODE_NXDOMAIN), 1000);

        QVERIFY(m_postgres->halt());
        for (ServerClient *client : {&a, &b}) {
            const ServerAnswer away = client->post(QStringLiteral("getblockwebsitebyuser"), {{"page", "1"}}, ada.token);
            QCOMPARE(away.status, 503);
            QCOMPARE(away.msg(), QStringLiteral("The server is busy. Please try again in a moment."));
        }
        QCOMPARE(DnsTest::rcodeOf(dns, "before.test"), int(LDNS_RCODE_NXDOMAIN));
        QCOMPARE(DnsTest::rcodeOf(dns, "after.test"), int(LDNS_RCODE_NOERROR));

        QVERIFY(m_postgres->resume());
        // The app asks again after a 503; the first try may still meet the pause between attempts.
        QList<int> statuses;
        bool blocked = false;
        auto blockAfter = [&] {
            if (!blocked) {
                const ServerAnswer answer =
                    a.post(QStringLiteral("blockwesitebyuser"), {{"domain", "after.test"}}, ada.token);
                statuses.append(answer.status);
                blocked = answer.accepted();
            }
            return blocked;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(blockAfter(), qPrintable(QDebug::toString(statuses)), 1000);
        QVERIFY2(!statuses.contains(500), qPrintable(QDebug::toString(statuses)));
        QTRY_COMPARE_WITH_TIMEOUT(DnsTest::rcodeOf(dns, "www.after.test"), int(LDNS_RCODE_NXDOMAIN), 1000);
        QCOMPARE(b.post(QStringLiteral("getblockwebsitebyuser"), {{"page", "1"}}, ada.token).status, 200);
        QVERIFY(one.stop());
        QVERIFY(two.stop());
        QVERIFY(!two.output().contains(m_postgres->password()));
    }
};

QTEST_GUILESS_MAIN(tst_ServerPostgres)
#include "tst_serverpostgres.moc"
