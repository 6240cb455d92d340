// The filtering DNS of the real nimbrel-server on a free loopback port, a real dnsmasq as its
// upstream, queries made with ldns. The account's device is 127.0.0.1 (where the test's HTTP
// requests come from); 127.0.0.2 is another machine on the local network.
#include "DnsTestSupport.h"
#include "ServerTestSupport.h"
#include "TestCertificates.h"
#include "dns/DeviceKey.h"
#include "dns/DnsOverTls.h"
#include "dns/DnsPolicy.h"
#include "dns/DnsPolicyBuilder.h"
#include "dns/DnsQuery.h"
#include "dns/DnsServer.h"
#include "dns/DnsStreamClients.h"

#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace ServerTest;
using namespace DnsTest;

namespace {
const QHostAddress otherClient(QStringLiteral("127.0.0.2"));
const QString dotZone = QStringLiteral("dot.nimbrel.test");

constexpr int applyMs = 1000; // a change through the API reaches DNS within a second
} // namespace

class tst_ServerDns : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Dnsmasq> m_upstream;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<ServerClient> m_client;
    Account m_user;
    QString m_key; // m_user's device key
    quint16 m_dns = 0;
    quint16 m_dot = 0; // 0: no certificate could be made
    QList<QSslCertificate> m_testCa;

    // Messages over one DNS over TLS connection to the server name "<key>.<zone>", checked
    // against the test's CA; the answers in order. *encrypted: whether the handshake was made.
    QList<QByteArray> exchangeDot(const QString &serverName, const QList<QByteArray> &messages,
                                  bool *encrypted = nullptr, QSslSocket *keep = nullptr)
    {
        QSslSocket own;
        QSslSocket &socket = keep ? *keep : own;
        QSslConfiguration tls = socket.sslConfiguration();
        tls.setCaCertificates(m_testCa);
        socket.setSslConfiguration(tls);
        if (socket.state() != QAbstractSocket::ConnectedState)
            socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_dot, serverName);
        const bool made = socket.isEncrypted() || socket.waitForEncrypted(5000);
        if (encrypted)
            *encrypted = made;
        if (!made)
            return {};
        return exchangeStream(socket, messages);
    }

    int dotRcode(const QString &key, const QByteArray &name, QSslSocket *keep = nullptr)
    {
        const QList<QByteArray> answers =
            exchangeDot(key + QLatin1Char('.') + dotZone, {queryWire({name, LDNS_RR_TYPE_A, true, false, {}}, 11)},
                        nullptr, keep);
        return answers.isEmpty() ? -1 : readAnswer(answers.first()).rcode;
    }

    void sync(const Account &account)
    {
        m_server->advance(1); // the latest status call wins
        QVERIFY(m_client->post(QStringLiteral("sync-url"), {{"platform_unique_id", account.email}}, account.token)
                    .accepted());
    }

    // Months later the session has expired.
    void signInAgain()
    {
        const ServerAnswer login = logIn(*m_client, m_user.email, m_user.password);
        QVERIFY2(login.accepted(), qPrintable(login.msg()));
        m_user.token = login.data()[QStringLiteral("token")].toString().toLatin1();
    }

    // The status answer's encrypted-DNS fields; dnsKey: what the app sends as "dns_key" (null:
    // nothing).
    QJsonObject deviceDns(const Account &account, const QString &dnsKey = QString())
    {
        ServerClient::Form form{{"platform_unique_id", account.email}};
        if (!dnsKey.isNull())
            form.append({"dns_key", dnsKey});
        const ServerAnswer answer = m_client->post(QStringLiteral("sync-url"), form, account.token);
        const QJsonObject data = answer.data().toObject();
        QJsonObject fields;
        for (const char *name : {"dot_host", "doh_url", "shared_address"}) {
            if (data.contains(QLatin1String(name)))
                fields.insert(QLatin1String(name), data.value(QLatin1String(name)));
        }
        return fields;
    }

    // A DNS over HTTPS exchange: GET with ?dns= or POST of the message.
    ServerAnswer doh(const QString &key, const QByteArray &message, const QByteArray &method = "GET",
                     const QByteArray &contentType = "application/dns-message")
    {
        QUrl url = m_server->apiBase().resolved(QUrl(QStringLiteral("/dns-query/") + key));
        if (method == "GET") {
            url.setQuery(QStringLiteral("dns=") +
                         QString::fromLatin1(message.toBase64(QByteArray::Base64UrlEncoding |
                                                              QByteArray::OmitTrailingEquals)));
            return m_client->send(method, url, {}, {});
        }
        return m_client->send(method, url, message, {{"Content-Type", contentType}});
    }

    int dohRcode(const QString &key, const QByteArray &name)
    {
        const ServerAnswer answer = doh(key, queryWire({name, LDNS_RR_TYPE_A, true, false, {}}, 9));
        return answer.status == 200 ? readAnswer(answer.body).rcode : -answer.status;
    }

    // The key in a DoH address, or empty.
    static QString keyOf(const QJsonObject &fields)
    {
        static const QRegularExpression doh(
            QRegularExpression::anchoredPattern(QStringLiteral("http://127\\.0\\.0\\.1:\\d+/dns-query/([a-z2-7]{26})")));
        return doh.match(fields.value(QStringLiteral("doh_url")).toString()).captured(1);
    }

private slots:
    void initTestCase()
    {
        if (Dnsmasq::binary().isEmpty())
            QSKIP("dnsmasq is not installed (Debian package dnsmasq-base; make test installs it)");
        QVERIFY(m_dir.isValid());
        m_upstream = std::make_unique<Dnsmasq>();
        QString why;
        // Upstream answers live five minutes, so the server's own cache has something to keep.
        QVERIFY2(m_upstream->start(&why, {QStringLiteral("--local-ttl=300")}), qPrintable(why));

        // Category 3 (social networks) gets one more name from a hosts-file style list.
        QDir().mkpath(m_dir.filePath(QStringLiteral("lists")));
        QFile list(m_dir.filePath(QStringLiteral("lists/3.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("# extra social names\n0.0.0.0 social-extra.test\n\nnot a name\n");
        list.close();

        m_server = std::make_unique<ServerProcess>(QStringLiteral(NIMBREL_SERVER_BINARY),
                                                   m_dir.filePath(QStringLiteral("server")));
        QStringList arguments{QStringLiteral("--dns-port"), QStringLiteral("0"), QStringLiteral("--dns-upstream"),
                              m_upstream->upstream(), QStringLiteral("--category-lists"),
                              m_dir.filePath(QStringLiteral("lists"))};
        const QDir certificates(m_dir.path());
        if (QSslSocket::supportsSsl() && TestCertificates::make(certificates, dotZone, &why)) {
            m_testCa = QSslCertificate::fromPath(certificates.filePath(QStringLiteral("ca.pem")));
            arguments << QStringLiteral("--dot-zone") << dotZone << QStringLiteral("--dot-port") << QStringLiteral("0")
                      << QStringLiteral("--dot-cert") << certificates.filePath(QStringLiteral("zone.pem"))
                      << QStringLiteral("--dot-key") << certificates.filePath(QStringLiteral("zone.key"));
        } else {
            qInfo().noquote() << "DNS over TLS not tried:" << why;
        }
        QVERIFY(m_server->start(arguments));
        m_dns = m_server->dnsPort();
        QVERIFY2(m_dns, qPrintable(m_server->output()));
        if (!m_testCa.isEmpty()) {
            static const QRegularExpression dotListening(QStringLiteral("DNS over TLS listening on .* port (\\d+) "));
            QTRY_VERIFY2(dotListening.match(m_server->output()).hasMatch(), qPrintable(m_server->output()));
            m_dot = quint16(dotListening.match(m_server->output()).captured(1).toUInt());
        }
        m_client = std::make_unique<ServerClient>(m_server->apiBase());
        m_user = signUp(*m_client, QStringLiteral("ada@example.org"));
        QVERIFY(m_user.id);
        sync(m_user);
        QVERIFY(m_client->post(QStringLiteral("blockwesitebyuser"), {{"domain", "Blocked.test"}}, m_user.token)
                    .accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "blocked.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
    }

    void filtering_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<bool>("edns");
        QTest::addColumn<bool>("otherMachine");
        QTest::addColumn<int>("rcode");
        QTest::addColumn<bool>("blockedError");
        QTest::addColumn<QString>("record");

        const int a = LDNS_RR_TYPE_A;
        const int nx = LDNS_RCODE_NXDOMAIN;
        const int ok = LDNS_RCODE_NOERROR;
        const QString upstreamA = QStringLiteral("A 192.0.2.10");
        QTest::newRow("blocked site") << QByteArray("blocked.test.") << a << false << true << false << nx << true
                                      << QString();
        QTest::newRow("subdomain, AAAA, any case")
            << QByteArray("www.BLOCKED.Test.") << int(LDNS_RR_TYPE_AAAA) << false << true << false << nx << true
            << QString();
        QTest::newRow("over TCP, without EDNS: no extended error")
            << QByteArray("a.b.blocked.test.") << a << true << false << false << nx << false << QString();
        QTest::newRow("label boundary") << QByteArray("notblocked.test.") << a << false << true << false << ok
                                        << false << upstreamA;
        QTest::newRow("allowed name resolved upstream, TCP")
            << QByteArray("example.test.") << a << true << false << false << ok << false << upstreamA;
        QTest::newRow("another client does not get the user's list")
            << QByteArray("blocked.test.") << a << false << true << true << ok << false << upstreamA;
        QTest::newRow("encrypted DNS host, user's device")
            << QByteArray("dns.google.") << a << false << true << false << nx << true << QString();
        for (const char *name : {"use-application-dns.net.", "mask.icloud.com.", "mask-h2.icloud.com.",
                                 "_dns.resolver.arpa."}) {
            QTest::addRow("always blocked %s", name) << QByteArray(name) << a << false << true << false << nx << true
                                                     << QString();
            QTest::addRow("always blocked %s, another client", name)
                << QByteArray(name) << int(LDNS_RR_TYPE_HTTPS) << false << false << true << nx << false
                << QString();
        }
        QTest::newRow("probe") << QByteArray("x7f3k.probe.nimbrel.test.") << int(LDNS_RR_TYPE_TXT) << false << true
                               << false << ok << false << QStringLiteral("TXT \"nimbrel-filter\"");
        QTest::newRow("probe, another client") << QByteArray("q9.probe.nimbrel.test.") << int(LDNS_RR_TYPE_TXT)
                                               << false << false << true << ok << false
                                               << QStringLiteral("TXT \"nimbrel-filter\"");
    }

    void filtering()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, type);
        QFETCH(bool, tcp);
        QFETCH(bool, edns);
        QFETCH(bool, otherMachine);
        QFETCH(int, rcode);
        QFETCH(bool, blockedError);
        QFETCH(QString, record);
        const Answer answer = ask(m_dns, {name, ldns_rr_type(type), tcp, edns,
                                          otherMachine ? otherClient : QHostAddress(QHostAddress::LocalHost)});
        QVERIFY(answer.received);
        QCOMPARE(answer.rcode, rcode);
        QCOMPARE(answer.blockedError, blockedError);
        QCOMPARE(answer.records, record.isEmpty() ? QStringList() : QStringList{record});
        if (record.startsWith(QLatin1String("TXT")))
            QCOMPARE(answer.ttls, QList<quint32>{0}); // a probe is never answered from a cache
    }

    // An upstream answer is reused for its TTL, which counts down meanwhile.
    void answersAreKeptForTheirTtl()
    {
        const Query query{"kept.test.", LDNS_RR_TYPE_A, false, false, {}};
        const Answer first = ask(m_dns, query);
        QCOMPARE(first.records, QStringList{QStringLiteral("A 192.0.2.10")});
        QCOMPARE(first.ttls, QList<quint32>{300});
        QTRY_VERIFY_WITH_TIMEOUT(ask(m_dns, query).ttls.value(0, 300) < 300, 3000);
        // The name in another letter case is the same entry.
        const Answer other = ask(m_dns, {"KEPT.test.", LDNS_RR_TYPE_A, true, false, {}});
        QVERIFY(other.ttls.value(0, 300) < 300);
    }

    // Answers built once are reused for the same question: each still carries its own query's id
    // and name as the client spelled it.
    void repeatedQuestionsKeepTheirIdAndSpelling_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("edns");
        QTest::newRow("blocked") << QByteArray("www.blocked.test.") << true;
        QTest::newRow("allowed, from the cache") << QByteArray("spelled.test.") << false;
    }

    void repeatedQuestionsKeepTheirIdAndSpelling()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, edns);
        const QList<QByteArray> spellings{name, name.toUpper(), name.left(3).toUpper() + name.mid(3)};
        QList<Answer> answers;
        for (quint16 id = 0; id < spellings.size(); ++id) {
            const Query query{spellings[id], LDNS_RR_TYPE_A, false, edns, QHostAddress(QHostAddress::LocalHost)};
            answers.append(readAnswer(exchangeUdp(queryWire(query, quint16(4000 + id)), m_dns, query.source)));
        }
        for (qsizetype i = 0; i < answers.size(); ++i) {
            QCOMPARE(answers[i].id, quint16(4000 + i));
            QCOMPARE(answers[i].question, spellings[i]);
            QCOMPARE(answers[i].rcode, answers[0].rcode);
            QCOMPARE(answers[i].blockedError, edns);
            QCOMPARE(answers[i].records, answers[0].records);
        }
    }

    // The same message, byte for byte, from a client whose lists block the name and from one
    // whose lists do not, alternately: an answer kept for one is never sent to the other.
    void sameQuestionFromClientsWithDifferentLists()
    {
        const QByteArray message = queryWire({"pair.blocked.test.", LDNS_RR_TYPE_A, false, true, {}}, 77);
        const QHostAddress device(QHostAddress::LocalHost);
        for (const QHostAddress &source : {otherClient, otherClient, device, otherClient, device, otherClient}) {
            const Answer answer = readAnswer(exchangeUdp(message, m_dns, source));
            QCOMPARE(answer.id, quint16(77));
            QCOMPARE(answer.rcode, source == device ? int(LDNS_RCODE_NXDOMAIN) : int(LDNS_RCODE_NOERROR));
        }
    }

    // Queries sent at once are read and answered in batches: each is answered exactly once, under
    // its own id, whether blocked, resolved, cached or malformed.
    void burstAnsweredOncePerQuery()
    {
        constexpr int count = 160;
        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress::LocalHost, 0));
        for (int i = 0; i < count; ++i) {
            const quint16 id = quint16(20000 + i);
            const QByteArray n = QByteArray::number(i);
            QByteArray message = QByteArray::fromHex("000001000001000000000000"); // no question
            qToBigEndian<quint16>(id, message.data());
            if (i % 4 == 0)
                message = queryWire({"b" + n + ".blocked.test.", LDNS_RR_TYPE_A, false, true, {}}, id);
            else if (i % 4 == 1)
                message = queryWire({"burst" + n + ".test.", LDNS_RR_TYPE_A, false, false, {}}, id);
            else if (i % 4 == 2)
                message = queryWire({"burst.test.", LDNS_RR_TYPE_A, false, false, {}}, id);
            QCOMPARE(socket.writeDatagram(message, QHostAddress::LocalHost, m_dns), qint64(message.size()));
        }
        QMap<quint16, int> rcodes; // by id
        int received = 0;
        while (socket.waitForReadyRead(rcodes.size() < count ? 3000 : 300)) {
            while (socket.hasPendingDatagrams()) {
                const QByteArray wire = socket.receiveDatagram().data();
                QVERIFY(wire.size() >= 12);
                rcodes.insert(qFromBigEndian<quint16>(wire.constData()), wire.at(3) & 0x0f);
                ++received;
            }
        }
        QCOMPARE(received, count);
        QCOMPARE(rcodes.size(), count);
        for (int i = 0; i < count; ++i) {
            const int expected[] = {LDNS_RCODE_NXDOMAIN, LDNS_RCODE_NOERROR, LDNS_RCODE_NOERROR, LDNS_RCODE_FORMERR};
            QCOMPARE(rcodes.value(quint16(20000 + i), -1), expected[i % 4]);
        }
    }

    // The key is in the answer that makes it; the app keeps it and has it confirmed by sending
    // it back. Sending none keeps it (an app that knows nothing of keys); sending a wrong or an
    // empty one replaces it.
    void deviceKeys()
    {
        const QJsonObject made = deviceDns(m_user, QStringLiteral(""));
        const QString key = keyOf(made);
        QVERIFY2(!key.isEmpty(), qPrintable(QJsonDocument(made).toJson()));
        QCOMPARE(made.value(QStringLiteral("shared_address")), QJsonValue(false));
        QCOMPARE(keyOf(deviceDns(m_user, key.toUpper())), key);
        QVERIFY(keyOf(deviceDns(m_user)).isEmpty());
        const QString replaced = keyOf(deviceDns(m_user, key.left(25) + (key.endsWith(QLatin1Char('a')) ? u'b' : u'a')));
        QVERIFY(!replaced.isEmpty() && replaced != key);
        QCOMPARE(keyOf(deviceDns(m_user, replaced)), replaced);
        m_key = keyOf(deviceDns(m_user, key));
        QVERIFY(!m_key.isEmpty() && m_key != key); // the old one is gone for good
        QTRY_COMPARE_WITH_TIMEOUT(dohRcode(m_key, "blocked.test."), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(dohRcode(key, "blocked.test."), -403);
    }

    void dnsOverHttps_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("key"); // "own": m_user's
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("rcode");
        const QByteArray blocked = queryWire({"www.blocked.test.", LDNS_RR_TYPE_A, true, true, {}}, 0);
        const QByteArray allowed = queryWire({"example.test.", LDNS_RR_TYPE_A, true, false, {}}, 0);
        const QByteArray type = "application/dns-message";
        const int nx = LDNS_RCODE_NXDOMAIN;
        QTest::newRow("GET, blocked") << QByteArray("GET") << "own" << blocked << type << 200 << nx;
        QTest::newRow("POST, blocked") << QByteArray("POST") << "own" << blocked << type << 200 << nx;
        QTest::newRow("POST, allowed") << QByteArray("POST") << "own" << allowed << type << 200
                                       << int(LDNS_RCODE_NOERROR);
        QTest::newRow("the key in capitals") << QByteArray("GET") << "OWN" << blocked << type << 200 << nx;
        QTest::newRow("malformed base64") << QByteArray("GET") << "own" << QByteArray() << type << 400 << -1;
        QTest::newRow("not a DNS message") << QByteArray("POST") << "own" << QByteArray("hello") << type << 400 << -1;
        QTest::newRow("wrong content type") << QByteArray("POST") << "own" << blocked
                                            << QByteArray("application/x-www-form-urlencoded") << 415 << -1;
        QTest::newRow("unknown key") << QByteArray("GET") << QString(26, QLatin1Char('a')) << blocked << type << 403
                                     << -1;
        QTest::newRow("not a key") << QByteArray("POST") << "not-a-key%2F..%2F" << blocked << type << 403 << -1;
    }

    // Answered with the account's lists although the request's address is nobody's device.
    void dnsOverHttps()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, key);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, contentType);
        QFETCH(int, status);
        QFETCH(int, rcode);
        if (key.toLower() == QLatin1String("own"))
            key = key == QLatin1String("OWN") ? m_key.toUpper() : m_key;
        ServerAnswer answer;
        if (message.isEmpty()) { // a GET whose parameter is not base64url
            QUrl url = m_server->apiBase().resolved(QUrl(QStringLiteral("/dns-query/") + key));
            url.setQuery(QStringLiteral("dns=AAAB*AAB"));
            answer = m_client->send("GET", url, {}, {});
        } else {
            answer = doh(key, message, method, contentType);
        }
        QCOMPARE(answer.status, status);
        if (status != 200) {
            QVERIFY(!answer.body.contains("blocked")); // a refusal says nothing of any list
            return;
        }
        QCOMPARE(answer.contentType, QByteArray("application/dns-message"));
        QCOMPARE(readAnswer(answer.body).rcode, rcode);
        QVERIFY(!m_server->output().contains(m_key)); // the key is a secret: never logged
    }

    // The device is named by the server name it asks for; the certificate checks out against the
    // operator's CA; a name that is no known device gets no handshake at all.
    void dnsOverTls()
    {
        if (!m_dot)
            QSKIP("no test certificate: DNS over TLS not tried");
        const QByteArray blocked = queryWire({"www.blocked.test.", LDNS_RR_TYPE_A, true, true, {}}, 21);
        const QByteArray allowed = queryWire({"example.test.", LDNS_RR_TYPE_A, true, false, {}}, 22);
        bool encrypted = false;
        const QList<QByteArray> answers =
            exchangeDot(m_key.toUpper() + QLatin1Char('.') + dotZone, {blocked, allowed, blocked}, &encrypted);
        QVERIFY(encrypted);
        QCOMPARE(answers.size(), 3);
        QList<int> rcodes;
        for (const QByteArray &answer : answers)
            rcodes.append(readAnswer(answer).rcode);
        QCOMPARE(rcodes, (QList<int>{LDNS_RCODE_NXDOMAIN, LDNS_RCODE_NOERROR, LDNS_RCODE_NXDOMAIN}));
        QCOMPARE(readAnswer(answers.first()).blockedError, true);

        for (const QString &name : {QString(26, QLatin1Char('a')) + QLatin1Char('.') + dotZone,
                                    m_key + QStringLiteral(".elsewhere.test"), dotZone}) {
            exchangeDot(name, {blocked}, &encrypted);
            QVERIFY2(!encrypted, qPrintable(name));
        }
    }

    // The name is read from a client's hello however it comes: whole, cut short (more is awaited),
    // or not TLS at all; only "<key>.<zone>" names a device.
    void serverNameFromTheClientHello()
    {
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        QSslSocket client;
        const QString key = QStringLiteral("abcdefghijklmnopqrstuvwxya");
        client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), listener.serverPort(), key + QStringLiteral(".dot.test"));
        QTRY_VERIFY(listener.hasPendingConnections());
        QTcpSocket *peer = listener.nextPendingConnection();
        QByteArray hello;
        QTRY_VERIFY((hello += peer->readAll(), DnsOverTls::serverName(hello).has_value()));
        QCOMPARE(*DnsOverTls::serverName(hello), (key + QStringLiteral(".dot.test")).toLatin1());
        QVERIFY(!DnsOverTls::serverName(hello.left(hello.size() / 2)));
        QCOMPARE(DnsOverTls::serverName("GET /dns-query HTTP/1.1\r\nHost: x\r\n\r\n"), std::optional(QByteArray()));

        const QByteArray hash = DeviceKey::hash(key);
        QCOMPARE(DnsOverTls::keyHashOf(key.toUpper().toLatin1() + ".DOT.test.", QStringLiteral("dot.test")), hash);
        QVERIFY(DnsOverTls::keyHashOf(key.toLatin1() + ".dot.test.evil", QStringLiteral("dot.test")).isEmpty());
        QVERIFY(DnsOverTls::keyHashOf("www." + key.toLatin1() + ".dot.test", QStringLiteral("dot.test")).isEmpty());
        QVERIFY(DnsOverTls::keyHashOf(key.toLatin1() + "dot.test", QStringLiteral("dot.test")).isEmpty());
    }

    // A key goes with its session: a logout ends it.
    void deviceKeyEndsWithItsSession()
    {
        const Account carol = signUp(*m_client, QStringLiteral("carol@example.org"));
        QVERIFY(carol.id);
        m_server->advance(1);
        const QString key = keyOf(deviceDns(carol, QStringLiteral("")));
        QVERIFY(!key.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(dohRcode(key, "dns.google."), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QSslSocket open; // a DNS over TLS connection made before the logout
        if (m_dot)
            QCOMPARE(dotRcode(key, "dns.google.", &open), int(LDNS_RCODE_NXDOMAIN));
        QVERIFY(m_client->post(QStringLiteral("logout"), {}, carol.token).accepted());
        QTRY_COMPARE_WITH_TIMEOUT(dohRcode(key, "dns.google."), -403, applyMs);
        if (m_dot) {
            QCOMPARE(dotRcode(key, "dns.google.", &open), int(LDNS_RCODE_REFUSED));
            QTRY_COMPARE(open.state(), QAbstractSocket::UnconnectedState);
            QCOMPARE(dotRcode(key, "dns.google."), -1);
        }
    }

    void changesThroughTheApi()
    {
        auto post = [this](const char *path, const ServerClient::Form &form) {
            return m_client->post(QString::fromLatin1(path), form, m_user.token);
        };
        QCOMPARE(rcodeOf(m_dns, "late.test"), int(LDNS_RCODE_NOERROR));
        const ServerAnswer site = post("blockwesitebyuser", {{"domain", "late.test"}});
        QVERIFY(site.accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "www.late.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QVERIFY(post("unblockwesitebyuser",
                     {{"domain_id", QString::number(site.data()[QStringLiteral("id")].toInteger())}})
                    .accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "www.late.test"), int(LDNS_RCODE_NOERROR), applyMs);

        // A category, with a name from the --category-lists file.
        QCOMPARE(rcodeOf(m_dns, "social-extra.test"), int(LDNS_RCODE_NOERROR));
        QVERIFY(post("blockcategory", {{"category_id", "3"}}).accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "cdn.social-extra.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(rcodeOf(m_dns, "social-extra.test", otherClient), int(LDNS_RCODE_NOERROR));
        QVERIFY(post("unblockcategory", {{"category_id", "3"}}).accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "cdn.social-extra.test"), int(LDNS_RCODE_NOERROR), applyMs);

    }

    // A focus session's sites and categories are filtered from its start to its end by the
    // server's clock, and leave the lists within a second of the end.
    void focusSessionAddsToTheLists()
    {
        QCOMPARE(rcodeOf(m_dns, "focus.test"), int(LDNS_RCODE_NOERROR));
        QCOMPARE(rcodeOf(m_dns, "social-extra.test"), int(LDNS_RCODE_NOERROR));
        const ServerAnswer started = m_client->post(
            QStringLiteral("focus-start"), {{"minutes", "15"}, {"websites", "focus.test"}, {"categories", "3"}},
            m_user.token);
        QVERIFY2(started.accepted(), qPrintable(started.msg()));
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "www.focus.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(rcodeOf(m_dns, "cdn.social-extra.test"), int(LDNS_RCODE_NXDOMAIN));
        QCOMPARE(rcodeOf(m_dns, "focus.test", otherClient), int(LDNS_RCODE_NOERROR));

        // Just before the end, a rebuild (another site blocked) keeps the session's lists.
        m_server->advance(15 * 60 - 2);
        QVERIFY(m_client->post(QStringLiteral("blockwesitebyuser"), {{"domain", "focus-marker.test"}}, m_user.token)
                    .accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "focus-marker.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(rcodeOf(m_dns, "focus.test"), int(LDNS_RCODE_NXDOMAIN));
        m_server->advance(2);
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "focus.test"), int(LDNS_RCODE_NOERROR), applyMs);
        QCOMPARE(rcodeOf(m_dns, "social-extra.test"), int(LDNS_RCODE_NOERROR));
        QCOMPARE(rcodeOf(m_dns, "blocked.test"), int(LDNS_RCODE_NXDOMAIN)); // the account's own list stays
    }

    void twoQueriesOnOneConnection()
    {
        const QList<QByteArray> answers =
            exchangeTcp({queryWire({"example.test.", LDNS_RR_TYPE_A, true, false, {}}, 101),
                         queryWire({"blocked.test.", LDNS_RR_TYPE_A, true, false, {}}, 102)},
                        m_dns);
        QCOMPARE(answers.size(), 2);
        QMap<quint16, int> rcodes;
        for (const QByteArray &wire : answers) {
            const Answer answer = readAnswer(wire);
            rcodes.insert(answer.id, answer.rcode);
        }
        QCOMPARE(rcodes.value(101, -1), int(LDNS_RCODE_NOERROR));
        QCOMPARE(rcodes.value(102, -1), int(LDNS_RCODE_NXDOMAIN));
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("answered"); // FORMERR; otherwise dropped
        const QByteArray header = QByteArray::fromHex("beef01000001000000000000");
        QTest::newRow("shorter than a header") << QByteArray::fromHex("beef0100") << false;
        QTest::newRow("question missing") << header << true;
        // Five labels of 63 bytes: 321 bytes of name.
        QByteArray longName;
        for (int i = 0; i < 5; ++i)
            longName += char(63) + QByteArray(63, 'a');
        QTest::newRow("name over 255 bytes") << header + longName + QByteArray::fromHex("0000010001") << true;
        // A pointer to itself, at offset 12.
        QTest::newRow("compression loop") << header + QByteArray::fromHex("c00c00010001") << true;
        QTest::newRow("an answer, not a query") << QByteArray::fromHex("beef81800000000000000000") << false;
    }

    void malformed()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, answered);
        const QByteArray wire = exchangeUdp(message, m_dns, QHostAddress::LocalHost, answered ? 3000 : 300);
        if (answered) {
            QVERIFY(!wire.isEmpty());
            const quint16 id = qFromBigEndian<quint16>(wire.constData());
            QCOMPARE(id, quint16(0xbeef));
            QCOMPARE(wire.at(3) & 0x0f, int(LDNS_RCODE_FORMERR));
        } else {
            QVERIFY(wire.isEmpty());
        }
        // A length prefix promising more than comes, then the connection closes.
        QTcpSocket cut;
        cut.connectToHost(QHostAddress::LocalHost, m_dns);
        QVERIFY(cut.waitForConnected(3000));
        cut.write(QByteArray::fromHex("0040") + message.left(10));
        QVERIFY(cut.waitForBytesWritten(3000));
        cut.close();
        QCOMPARE(rcodeOf(m_dns, "example.test"), int(LDNS_RCODE_NOERROR));
    }

    // Clients holding many connections over TCP, from one address or from enough addresses to
    // fill the server, empty or with a message begun: the idlest ones make room, and a query
    // from elsewhere is still answered.
    void tcpConnectionsHeldOpen_data()
    {
        QTest::addColumn<int>("addresses");
        QTest::addColumn<int>("perAddress");
        QTest::addColumn<bool>("trickle"); // each sends the first byte of a length
        QTest::newRow("one address") << 1 << 100 << false;
        QTest::newRow("300 trickling from one address") << 1 << 300 << true;
        QTest::newRow("the server full, trickling") << 80 << 4 << true;
    }

    void tcpConnectionsHeldOpen()
    {
        QFETCH(int, addresses);
        QFETCH(int, perAddress);
        QFETCH(bool, trickle);
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < addresses * perAddress; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            QVERIFY(socket->bind(
                QHostAddress(QStringLiteral("127.0.%1.%2").arg(1 + i % addresses / 200).arg(2 + i % addresses % 200)),
                0));
            if (trickle)
                connect(socket.get(), &QTcpSocket::connected, socket.get(), [s = socket.get()] { s->write("\0", 1); });
            socket->connectToHost(QHostAddress::LocalHost, m_dns);
            held.push_back(std::move(socket));
        }
        auto open = [&] {
            return std::count_if(held.begin(), held.end(), [](const auto &socket) {
                return socket->state() != QAbstractSocket::UnconnectedState;
            });
        };
        // One address keeps at most its share; all together no more than the server takes.
        QTRY_VERIFY_WITH_TIMEOUT(open() <= qMin(addresses * DnsServer::maxTcpPerAddress, DnsServer::maxTcpConnections),
                                 5000);
        QVERIFY(open() > 0);
        const QList<QByteArray> answers =
            exchangeTcp({queryWire({"example.test.", LDNS_RR_TYPE_A, true, false, {}}, 303)}, m_dns);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(readAnswer(answers.first()).rcode, int(LDNS_RCODE_NOERROR));
    }

    // The stream clients alone, with a policy that refuses 127.0.9.x and a short idle limit: a
    // refused client gets no connection however many it opens, a trickle of bytes that never
    // makes a message does not keep one, and a refusal ends the connection it is written on.
    void streamClientsKeepSlotsForAnsweredClients()
    {
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        const QHostAddress refusedRange(QStringLiteral("127.0.9.0"));
        DnsStreamClients::Limits limits;
        limits.maxConnections = 8;
        limits.idleMs = 600;
        DnsStreamClients clients(
            limits, [&](const QHostAddress &client) { return !client.isInSubnet(refusedRange, 24); },
            [&](QTcpSocket *socket, const QByteArray &message, const QHostAddress &) {
                clients.answer(socket, message, message == "refuse me");
            });
        connect(&listener, &QTcpServer::newConnection, &clients, [&] {
            while (QTcpSocket *socket = listener.nextPendingConnection())
                clients.add(socket, socket->peerAddress());
        });
        auto framed = [](const QByteArray &message) {
            char prefix[2];
            qToBigEndian<quint16>(quint16(message.size()), prefix);
            return QByteArray(prefix, 2) + message;
        };

        // In waves, so the listening queue of this one process holds them.
        for (int wave = 0; wave < 10; ++wave) {
            std::vector<std::unique_ptr<QTcpSocket>> refused;
            for (int i = 0; i < 30; ++i) {
                auto socket = std::make_unique<QTcpSocket>();
                QVERIFY(socket->bind(QHostAddress(QStringLiteral("127.0.9.%1").arg(1 + wave * 20 + i % 20)), 0));
                socket->connectToHost(QHostAddress::LocalHost, listener.serverPort());
                refused.push_back(std::move(socket));
            }
            QTRY_VERIFY_WITH_TIMEOUT(
                std::all_of(refused.begin(), refused.end(),
                            [](auto &s) { return s->state() == QAbstractSocket::UnconnectedState; }),
                5000);
            QCOMPARE(clients.count(), 0);
        }
        QCOMPARE(clients.count(), 0);

        QTcpSocket steady;
        QTcpSocket trickler;
        for (QTcpSocket *socket : {&steady, &trickler}) {
            socket->connectToHost(QHostAddress::LocalHost, listener.serverPort());
            QVERIFY(socket->waitForConnected(3000));
        }
        QTRY_COMPARE(clients.count(), 2);
        // A byte, then more bytes, never a whole message; the other sends whole ones.
        trickler.write(framed("a long message").left(1));
        QByteArray echoed;
        connect(&steady, &QTcpSocket::readyRead, &steady, [&] { echoed += steady.readAll(); });
        QTimer pace;
        connect(&pace, &QTimer::timeout, &pace, [&] {
            trickler.write("x", 1);
            steady.write(framed("ping"));
        });
        pace.start(100);
        QElapsedTimer timer;
        timer.start();
        QTRY_COMPARE_WITH_TIMEOUT(trickler.state(), QAbstractSocket::UnconnectedState, 5000);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(steady.state(), QAbstractSocket::ConnectedState);
        QVERIFY(echoed.endsWith(framed("ping")));
        pace.stop();

        steady.write(framed("refuse me"));
        QTRY_COMPARE(steady.state(), QAbstractSocket::UnconnectedState);
        echoed += steady.readAll();
        QVERIFY(echoed.endsWith(framed("refuse me")));
        QCOMPARE(clients.count(), 0);
    }

    // The upstream stops answering: a name seen before is answered from the cache past its TTL,
    // marked stale; a name never seen gets SERVFAIL quickly instead of a client left waiting.
    void upstreamDown()
    {
        Dnsmasq upstream;
        QString why;
        QVERIFY2(upstream.start(&why, {QStringLiteral("--local-ttl=1")}), qPrintable(why));
        ServerProcess server(QStringLiteral(NIMBREL_SERVER_BINARY), m_dir.filePath(QStringLiteral("down")));
        QVERIFY(server.start({QStringLiteral("--dns-port"), QStringLiteral("0"), QStringLiteral("--dns-upstream"),
                              upstream.upstream()}));
        const quint16 dns = server.dnsPort();
        QVERIFY2(dns, qPrintable(server.output()));
        const Query seen{"seen.test.", LDNS_RR_TYPE_A, false, true, {}};
        const Answer fresh = ask(dns, seen);
        QCOMPARE(fresh.records, QStringList{QStringLiteral("A 192.0.2.10")});
        QVERIFY(!fresh.staleError);

        upstream.stop();
        // Once its second of TTL is over, the name is asked upstream again, in vain.
        Answer stale;
        QTRY_VERIFY_WITH_TIMEOUT((stale = ask(dns, seen)).staleError, 6000);
        QCOMPARE(stale.rcode, int(LDNS_RCODE_NOERROR));
        QCOMPARE(stale.records, fresh.records);
        QVERIFY(stale.ttls.value(0) <= DnsQuery::staleTtl);
        // Once the upstream has failed, the stale answer comes without waiting for it again.
        QElapsedTimer again;
        again.start();
        QVERIFY(ask(dns, seen).staleError);
        QVERIFY2(again.elapsed() < 500, qPrintable(QString::number(again.elapsed())));

        for (const bool tcp : {false, true}) {
            QElapsedTimer waited;
            waited.start();
            const Answer unknown = ask(dns, {tcp ? "never-tcp.test." : "never.test.", LDNS_RR_TYPE_A, tcp, true, {}});
            QCOMPARE(unknown.rcode, int(LDNS_RCODE_SERVFAIL));
            QVERIFY2(waited.elapsed() < 2000, qPrintable(QString::number(waited.elapsed())));
            QVERIFY(!unknown.staleError);
        }
        QVERIFY(server.stop());
    }

    // Another account's app reports from this address: plain DNS from it gets both accounts'
    // lists, never one alone, and the status answers say so. Once the other account has made no
    // status call from there for an hour, the address is this account's again.
    void sharedAddressGetsEveryonesLists()
    {
        const Account other = signUp(*m_client, QStringLiteral("bob@example.org"));
        QVERIFY(other.id);
        QVERIFY(m_client->post(QStringLiteral("blockwesitebyuser"), {{"domain", "bobs.test"}}, other.token).accepted());
        QCOMPARE(rcodeOf(m_dns, "bobs.test"), int(LDNS_RCODE_NOERROR));
        m_server->advance(1);
        QCOMPARE(deviceDns(other, QStringLiteral("")).value(QStringLiteral("shared_address")), QJsonValue(true));
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "bobs.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(rcodeOf(m_dns, "blocked.test"), int(LDNS_RCODE_NXDOMAIN));
        QCOMPARE(deviceDns(m_user).value(QStringLiteral("shared_address")), QJsonValue(true));
        // Either account's change applies to the shared lists.
        QVERIFY(m_client->post(QStringLiteral("blockwesitebyuser"), {{"domain", "later.bobs.test"}}, other.token)
                    .accepted());
        QVERIFY(m_client->post(QStringLiteral("blockwesitebyuser"), {{"domain", "adas.test"}}, m_user.token)
                    .accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "adas.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(rcodeOf(m_dns, "bobs.test", otherClient), int(LDNS_RCODE_NOERROR));
        // By their keys, from this same address, each gets their own lists.
        const QString bobsKey = keyOf(deviceDns(other, QStringLiteral("")));
        QTRY_COMPARE_WITH_TIMEOUT(dohRcode(bobsKey, "bobs.test."), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(dohRcode(bobsKey, "blocked.test."), int(LDNS_RCODE_NOERROR));
        QCOMPARE(dohRcode(m_key, "bobs.test."), int(LDNS_RCODE_NOERROR));
        QCOMPARE(dohRcode(m_key, "adas.test."), int(LDNS_RCODE_NXDOMAIN));
        if (m_dot) {
            QCOMPARE(dotRcode(bobsKey, "bobs.test."), int(LDNS_RCODE_NXDOMAIN));
            QCOMPARE(dotRcode(bobsKey, "blocked.test."), int(LDNS_RCODE_NOERROR));
            QCOMPARE(dotRcode(m_key, "bobs.test."), int(LDNS_RCODE_NOERROR));
        }

        m_server->advance(DnsPolicyBuilder::sharedAddressSeconds + 1);
        QCOMPARE(deviceDns(m_user).value(QStringLiteral("shared_address")), QJsonValue(false));
        // A status call from another computer of the account makes the DNS look again.
        QVERIFY(m_client->post(QStringLiteral("sync-url"), {{"platform_unique_id", "another computer"}}, m_user.token)
                    .accepted());
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "bobs.test"), int(LDNS_RCODE_NOERROR), applyMs);
        QCOMPARE(rcodeOf(m_dns, "adas.test"), int(LDNS_RCODE_NXDOMAIN));
    }

    // The policy alone: no real traffic comes from outside the machine.
    void strangersAreRefused()
    {
        DnsPolicy::Data data;
        data.allowedClients.append(QHostAddress::parseSubnet(QStringLiteral("198.51.100.0/24")));
        const DnsPolicy policy(data);
        const QByteArray query = queryWire({"example.test.", LDNS_RR_TYPE_A, false, false, {}}, 7);
        auto rcode = [&](const char *client) {
            const DnsQuery::Outcome outcome = DnsQuery::answer(query.constData(), query.size(), policy,
                                                               QHostAddress(QString::fromLatin1(client)),
                                                               DnsQuery::Transport::udp);
            return outcome.kind == DnsQuery::Outcome::Kind::forward ? -2 : readAnswer(outcome.reply).rcode;
        };
        QCOMPARE(rcode("203.0.113.5"), int(LDNS_RCODE_REFUSED));
        QCOMPARE(rcode("2001:db8::1"), int(LDNS_RCODE_REFUSED));
        QCOMPARE(rcode("198.51.100.20"), -2);
        QCOMPARE(rcode("192.168.1.20"), -2);
        QCOMPARE(rcode("::ffff:10.1.2.3"), -2);
    }

    // A weekly window's sites are filtered from its start to its end as its own zone has them,
    // clock changes included, and leave within a second of the end.
    void weeklyWindowAtItsEdges_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QDateTime>("opens");
        QTest::addColumn<QDateTime>("closes");
        const auto utc = [](const char *text) { return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate); };
        // Rows in the order of time: the server's clock only goes forward.
        QTest::newRow("Paris, a winter Sunday") << "7" << "01:00" << "04:00" << "Europe/Paris"
                                                << utc("2026-03-22T00:00:00Z") << utc("2026-03-22T03:00:00Z");
        QTest::newRow("Paris, clocks go forward") << "7" << "01:00" << "04:00" << "Europe/Paris"
                                                  << utc("2026-03-29T00:00:00Z") << utc("2026-03-29T02:00:00Z");
        QTest::newRow("New York, past midnight as clocks go back")
            << "6" << "23:00" << "02:00" << "America/New_York" << utc("2026-11-01T03:00:00Z")
            << utc("2026-11-01T07:00:00Z");
    }
    void weeklyWindowAtItsEdges()
    {
        QFETCH(QString, days);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, zone);
        QFETCH(QDateTime, opens);
        QFETCH(QDateTime, closes);
        const QByteArray site = "edge-" + QByteArray::number(opens.date().dayOfYear()) + ".test";
        m_server->setNow(opens.addSecs(-2));
        signInAgain();
        const ServerAnswer saved = m_client->post(QStringLiteral("save-schedule"),
                                                  {{"name", "Edges"},
                                                   {"days", days},
                                                   {"start", start},
                                                   {"end", end},
                                                   {"time_zone", zone},
                                                   {"websites", QString::fromLatin1(site)}},
                                                  m_user.token);
        QVERIFY2(saved.accepted(), qPrintable(saved.msg()));
        QCOMPARE(saved.data()[QStringLiteral("next_edge_seconds")].toInteger(), qint64(2));
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, site), int(LDNS_RCODE_NOERROR), applyMs);
        m_server->setNow(opens);
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "www." + site), int(LDNS_RCODE_NXDOMAIN), applyMs);
        m_server->setNow(closes.addSecs(-1));
        QCOMPARE(rcodeOf(m_dns, site), int(LDNS_RCODE_NXDOMAIN));
        m_server->setNow(closes);
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, site), int(LDNS_RCODE_NOERROR), applyMs);
        const qint64 id = saved.data()[QStringLiteral("schedules")][0][QStringLiteral("id")].toInteger();
        QVERIFY(m_client->post(QStringLiteral("delete-schedule"), {{"id", QString::number(id)}}, m_user.token)
                    .accepted());
    }

    // Overlapping windows add up: each one's sites are filtered while that one is open.
    void overlappingWindowsAddUp()
    {
        const QDateTime ten = QDateTime::fromString(QStringLiteral("2026-11-02T10:00:00Z"), Qt::ISODate);
        m_server->setNow(ten);
        signInAgain();
        const auto save = [this](const char *name, const char *start, const char *end, const char *site) {
            return m_client
                ->post(QStringLiteral("save-schedule"),
                       {{"name", name}, {"days", "1,2,3,4,5,6,7"}, {"start", start}, {"end", end},
                        {"time_zone", "UTC"}, {"websites", site}},
                       m_user.token)
                .accepted();
        };
        QVERIFY(save("Morning", "10:00", "12:00", "morning.test"));
        QVERIFY(save("Noon", "11:00", "13:00", "noon.test"));
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "morning.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(rcodeOf(m_dns, "noon.test"), int(LDNS_RCODE_NOERROR));
        m_server->setNow(ten.addSecs(90 * 60));
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "noon.test"), int(LDNS_RCODE_NXDOMAIN), applyMs);
        QCOMPARE(rcodeOf(m_dns, "morning.test"), int(LDNS_RCODE_NXDOMAIN));
        m_server->setNow(ten.addSecs(2 * 3600));
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "morning.test"), int(LDNS_RCODE_NOERROR), applyMs);
        QCOMPARE(rcodeOf(m_dns, "noon.test"), int(LDNS_RCODE_NXDOMAIN));
        m_server->setNow(ten.addSecs(3 * 3600));
        QTRY_COMPARE_WITH_TIMEOUT(rcodeOf(m_dns, "noon.test"), int(LDNS_RCODE_NOERROR), applyMs);
    }

    void cleanupTestCase()
    {
        if (m_server)
            QVERIFY(m_server->stop());
    }
};

QTEST_GUILESS_MAIN(tst_ServerDns)
#include "tst_serverdns.moc"
