// The systemd-resolved backend through the real runner and a fake resolvectl on PATH.
#include "TestEnvironment.h"
#include "platform/linux/ResolvectlResolver.h"

#include <QtTest>

namespace {
const QString filter = QStringLiteral("127.0.2.53");
}

class TestResolvectlResolver : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    ResolvectlResolver resolver;

    // A link with what the network gave it.
    void link(const QString &name, const QString &dns, const QString &domain = QString())
    {
        const QString dir = QStringLiteral("fake-state/resolvectl/links.d/") + name + QLatin1Char('/');
        for (const auto &[file, value] : {std::pair{QStringLiteral("dns"), dns}, {QStringLiteral("own-dns"), dns},
                                          {QStringLiteral("domain"), domain}, {QStringLiteral("own-domain"), domain}})
            env->writeFile(dir + file, value.toUtf8());
        const QString links = QStringLiteral("fake-state/resolvectl/links");
        env->writeFile(links, env->readFile(links).toUtf8() + name.toUtf8() + '\n');
    }
    QString state(const QString &name, const QString &file) const
    {
        return env->readFile(QStringLiteral("fake-state/resolvectl/links.d/%1/%2").arg(name, file));
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        link(QStringLiteral("lo"), QString());
        link(QStringLiteral("enp3s0"), QStringLiteral("192.168.1.1 fd00::1"), QStringLiteral("home.lan"));
        link(QStringLiteral("wlp2s0"), QStringLiteral("10.0.0.1"));
        link(QStringLiteral("tun0"), QStringLiteral("10.8.0.1"));
        link(QStringLiteral("veth-port"), QString());
    }

    void cleanup() { env.reset(); }

    void listsLinksByKind()
    {
        QVERIFY(ResolvectlResolver::isRunning());
        // A tunnel with DNS of its own is a way around the filter; a link without DNS is not.
        QCOMPARE(resolver.listServices(), QStringLiteral("Ethernet\nWi-Fi\nOther Connections\n"));
        QCOMPARE(resolver.readServers(networkservices::Other).output, QStringLiteral("10.8.0.1\n"));
        QCOMPARE(resolver.readServers(networkservices::Ethernet).addresses,
                 (QList<QHostAddress>{QHostAddress(QStringLiteral("192.168.1.1")), QHostAddress(QStringLiteral("fd00::1"))}));
        QCOMPARE(resolver.readServers(networkservices::Thunderbolt).output,
                 QStringLiteral("There aren't any DNS Servers set on Thunderbolt Bridge.\n"));
        env->writeFile(QStringLiteral("fake-state/resolvectl/not-running"), "");
        QVERIFY(!ResolvectlResolver::isRunning());
        QCOMPARE(resolver.listServices(), QString());
    }

    void applyReadBackAndRevert()
    {
        const QString output = resolver.setServers(networkservices::Ethernet, filter);
        QCOMPARE(output, QString());
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("dns")), filter);
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("domain")), QStringLiteral("~."));
        QCOMPARE(resolver.readServers(networkservices::Ethernet).addresses, QList<QHostAddress>{QHostAddress(filter)});
        // The other links are left alone.
        QCOMPARE(state(QStringLiteral("wlp2s0"), QStringLiteral("dns")), QStringLiteral("10.0.0.1"));

        // Clearing a link that does not carry the filter changes nothing of the user's.
        resolver.clearServers(networkservices::WiFi, filter);
        QVERIFY(!env->readFile(QStringLiteral("fake-state/resolvectl/calls")).contains(QLatin1String("revert wlp2s0")));
        resolver.clearServers(networkservices::Ethernet, filter);
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("dns")), QStringLiteral("192.168.1.1 fd00::1"));
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("domain")), QStringLiteral("home.lan"));
    }

    // With the device's name the link's server is the filter under that name, DNS over TLS
    // required; a systemd-resolved without DNS over TLS gets the plain address.
    void encryptedToTheDevicesName_data()
    {
        QTest::addColumn<bool>("resolvedHasDot");
        QTest::newRow("DNS over TLS") << true;
        QTest::newRow("no DNS over TLS in this systemd-resolved") << false;
    }
    void encryptedToTheDevicesName()
    {
        QFETCH(bool, resolvedHasDot);
        if (!resolvedHasDot)
            env->writeFile(QStringLiteral("fake-state/resolvectl/no-dot"), "");
        const QString name = QStringLiteral("k3y.dot.example.org");
        QVERIFY(resolver.setEncryption(filter, name));
        resolver.setServers(networkservices::Ethernet, filter);
        QCOMPARE(resolver.encrypted(), resolvedHasDot);
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("dns")), resolvedHasDot ? filter + '#' + name : filter);
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("dnsovertls")), resolvedHasDot ? "yes" : "");
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("domain")), QStringLiteral("~."));
        if (!resolvedHasDot)
            return;
        QCOMPARE(resolver.readServers(networkservices::Ethernet).addresses, QList<QHostAddress>{QHostAddress(filter)});
        // Under another name (a new key), or plain DNS asked for: the filter is not set as wanted.
        for (const QString &other : {QStringLiteral("n3w.dot.example.org"), QString()}) {
            resolver.setEncryption(filter, other);
            QVERIFY(!usesOnly(resolver.readServers(networkservices::Ethernet), QHostAddress(filter)));
        }
        resolver.clearServers(networkservices::Ethernet, filter);
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("dns")), QStringLiteral("192.168.1.1 fd00::1"));
        QCOMPARE(state(QStringLiteral("enp3s0"), QStringLiteral("dnsovertls")), QString());
    }

    // polkit's refusal is the one case where administrator rights are the reason.
    void refusalSaysAdministratorRightsAreNeeded()
    {
        env->writeFile(QStringLiteral("fake-state/resolvectl/deny"), "");
        const QString output = resolver.setServers(networkservices::WiFi, filter);
        QVERIFY2(output.contains(QLatin1String("administrator rights are needed")), qPrintable(output));
        QCOMPARE(state(QStringLiteral("wlp2s0"), QStringLiteral("dns")), QStringLiteral("10.0.0.1"));
    }
};

QTEST_GUILESS_MAIN(TestResolvectlResolver)
#include "tst_resolvectlresolver.moc"
