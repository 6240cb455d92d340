// The protection screen driven like a user, on top of a fake networksetup.
#include "ApiTestBed.h"
#include "FilterDns.h"
#include "LogCapture.h"
#include "Settle.h"
#include "TestEnvironment.h"
#include "pin/PinGate.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "api/CommonWS.h"
#include "platform/linux/ResolvectlResolver.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "protection/DNSConfiguration.h"
#include "protection/ProtectionViewController.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"

#include <QFrame>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QtTest>

class TestProtectionScreen : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApiTestBed> bed;
    TestEnvironment *env = nullptr;
    AlertRecorder *alerts = nullptr;
    std::unique_ptr<MainWindowController> main;
    std::unique_ptr<PinGate> gate;
    const QString filter = DNSConfiguration::defaultAddress();

    ProtectionViewController *screen()
    {
        auto *vc = new ProtectionViewController(gate.get());
        main->window()->setContent(vc);
        main->window()->setFixedContentSize(570, 500);
        main->showWindow();
        return vc;
    }
    int syncs() const { return bed->requestsTo(QStringLiteral("sync-url")); }
    QString ethernet() const { return env->readFile(QStringLiteral("fake-state/networksetup/dns/Ethernet")); }
    void deny() { env->writeFile(QStringLiteral("fake-state/networksetup/deny"), ""); }
    QStringList sheetNames() const
    {
        QStringList names;
        for (QDialog *d : main->window()->findChildren<QDialog *>())
            names << d->objectName();
        return names;
    }

    std::unique_ptr<FilterDns> filterDns;

private slots:
    void initTestCase()
    {
        filterDns = std::make_unique<FilterDns>();
        QString why;
        QVERIFY2(filterDns->start(filter, &why), qPrintable(why));
    }

    void init()
    {
        bed = std::make_unique<ApiTestBed>();
        env = &bed->env;
        alerts = &bed->alerts;
        bed->startAsNewAccount();
        PreferencesStore::shared().setBool(PrefKey::isLogin, true);
        PreferencesStore::shared().setString(PrefKey::loginToken, QStringLiteral("user-token"));
        env->writeFile(QStringLiteral("fake-state/networksetup/services"), "Ethernet\nWi-Fi\n");
        DNSConfiguration::resetShared(std::make_unique<NetworkSetupResolver>());
        main = std::make_unique<MainWindowController>();
        CommmonFunction::shared().setMainWindow(main->window());
        gate = std::make_unique<PinGate>();
    }
    void cleanup()
    {
        gate.reset();
        main.reset();
        bed.reset();
    }

    void switchTurnsProtectionOnAndOff()
    {
        ProtectionViewController *vc = screen();
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("OFF"));
        QCOMPARE(vc->BlockerLbl->text(), QStringLiteral("Tap to Turn on a blocker"));

        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(vc->OnOffLbl->text(), QStringLiteral("ON"));
        QCOMPARE(vc->BlockerLbl->text(), QStringLiteral("Blocker Is On!"));
        QVERIFY(vc->OnOffLbl->styleSheet().contains(QColor(52, 126, 100).name()));
        QCOMPARE(ethernet(), filter + '\n');
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
        QTRY_COMPARE(syncs(), 1);
        // Turning on is not a protected change.
        QCOMPARE(gate->pendingPinAction(), PinAction::None);
        // The system resolver of a test machine is not the filter, and the screen says so.
        QTRY_COMPARE_WITH_TIMEOUT(vc->m_filterCheckLbl->text(), QStringLiteral("Look-ups do not go through the filter yet."), 15000);
        QVERIFY(vc->m_filterCheckLbl->isVisible());

        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(vc->OnOffLbl->text(), QStringLiteral("OFF"));
        QCOMPARE(gate->pendingPinAction(), PinAction::ProtectionOff);
        QCOMPARE(ethernet(), QString());
        QVERIFY(!PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
        QVERIFY(alerts->alerts.isEmpty());
        QVERIFY(!vc->m_filterCheckLbl->isVisible());
    }

    // Where systemd-resolved handles the link, protection asks the filter under the device's own
    // name, encrypted, when the account status gives one; without that, the screen says when the
    // address is shared with other accounts.
    void encryptedDnsLine_data()
    {
        QTest::addColumn<QString>("dotHost"); // in the account status; empty: none
        QTest::addColumn<bool>("shared");
        QTest::addColumn<bool>("resolvedHasDot");
        QTest::addColumn<QString>("line");
        const QString host = QStringLiteral("abcdefghijklmnopqrstuvwxya.dot.example.org");
        const QString sharedLine = QStringLiteral("Your network is shared: encrypted DNS would give you your own lists");
        QTest::newRow("encrypted") << host << true << true << QStringLiteral("Encrypted, this device");
        QTest::newRow("no key, shared network") << QString() << true << true << sharedLine;
        // The account named the device: only this computer lacks what encrypts.
        QTest::newRow("systemd-resolved without DNS over TLS")
            << host << true << false
            << sharedLine + QStringLiteral("\nTo get them, install systemd-resolved.");
        QTest::newRow("no key, own network") << QString() << false << true << QString();
    }
    void encryptedDnsLine()
    {
        QFETCH(QString, dotHost);
        QFETCH(bool, shared);
        QFETCH(bool, resolvedHasDot);
        QFETCH(QString, line);
        env->writeFile(QStringLiteral("fake-state/resolvectl/links"), "wlan0\n");
        env->writeFile(QStringLiteral("fake-state/resolvectl/links.d/wlan0/dns"), "10.0.0.1");
        if (!resolvedHasDot)
            env->writeFile(QStringLiteral("fake-state/resolvectl/no-dot"), "");
        DNSConfiguration::resetShared(std::make_unique<ResolvectlResolver>());
        QJsonObject data{{QStringLiteral("id"), 7}, {QStringLiteral("shared_address"), shared}};
        const QString key = dotHost.section(QLatin1Char('.'), 0, 0);
        if (!dotHost.isEmpty()) {
            data.insert(QStringLiteral("dot_host"), dotHost);
            data.insert(QStringLiteral("doh_url"), QStringLiteral("https://filter.example.org/dns-query/") + key);
        }
        bed->answerSync(data);
        CommonWS::shared().syncURL({});
        QTRY_COMPARE(PreferencesStore::shared().boolForKey(PrefKey::sharedAddress), shared);
        QTRY_COMPARE(syncs(), 1);
        QCOMPARE(PreferencesStore::shared().stringForKey(PrefKey::dotHost).value_or(QString()), dotHost);

        ProtectionViewController *vc = screen();
        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(vc->OnOffLbl->text(), QStringLiteral("ON"));
        const bool encrypted = resolvedHasDot && !dotHost.isEmpty();
        QCOMPARE(env->readFile(QStringLiteral("fake-state/resolvectl/links.d/wlan0/dns")),
                 encrypted ? filter + QLatin1Char('#') + dotHost : filter);
        QCOMPARE(env->readFile(QStringLiteral("fake-state/resolvectl/links.d/wlan0/dnsovertls")),
                 encrypted ? QStringLiteral("yes") : QString());
        QTRY_COMPARE(vc->m_encryptionLbl->text(), line);
        QCOMPARE(vc->m_encryptionLbl->isVisible(), !line.isEmpty());
        // The key the account gave goes back with the next status, to be confirmed.
        QTRY_VERIFY(syncs() >= 2);
        QVERIFY2(bed->server.requests().last().body.contains("dns_key=" + key.toLatin1()),
                 bed->server.requests().last().body.constData());
    }

    // A change of several seconds: the switch says it is busy and takes no press for all of it.
    void slowSwitchIsBusyThroughout()
    {
        ProtectionViewController *vc = screen();
        env->writeFile(QStringLiteral("fake-state/networksetup/slow"), "1");
        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_VERIFY(!vc->btnProtectionOnOff->isEnabled());
        QElapsedTimer busy;
        busy.start();
        while (vc->OnOffLbl->text() != QStringLiteral("ON") && busy.elapsed() < 10000) {
            QVERIFY(!vc->btnProtectionOnOff->isEnabled());
            QVERIFY(vc->m_busy->isVisible());
            QCOMPARE(vc->BlockerLbl->text(), QStringLiteral("Turning protection on..."));
            QTest::qWait(50);
        }
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("ON"));
        QVERIFY(busy.elapsed() >= 500); // the change took a second
        QVERIFY(vc->btnProtectionOnOff->isEnabled());
        QVERIFY(!vc->m_busy->isVisible());
        QCOMPARE(vc->BlockerLbl->text(), QStringLiteral("Blocker Is On!"));
    }

    void refusedChangeShowsTheAlertAndKeepsTheState()
    {
        ProtectionViewController *vc = screen();
        deny();
        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(alerts->alerts.size(), 1);
        QCOMPARE(alerts->alerts.first(), (QPair<QString, QString>("Ooops", "Requires admin privileges")));
        QCOMPARE(vc->protection, Protection::off);
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("OFF"));
        settle();
        QCOMPARE(syncs(), 0);
    }

    void turningOffAsksForThePinOnlyWhenEnabled()
    {
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isPinEnable, true);
        prefs.setString(PrefKey::loginToken, QStringLiteral("user-token")); // the PIN is checked signed in
        ProtectionViewController *vc = screen();
        // On never needs the PIN.
        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(vc->protection, Protection::on);
        QVERIFY(sheetNames().isEmpty());

        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_VERIFY(sheetNames().contains(QStringLiteral("VerifyPin")));
        QCOMPARE(vc->protection, Protection::on);
        QCOMPARE(ethernet(), filter + '\n');
        QCOMPARE(gate->pendingPinAction(), PinAction::ProtectionOff);
    }

    void appearingReadsTheSystemAndOnMeansWatched()
    {
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), filter.toUtf8() + '\n');
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Wi-Fi"), filter.toUtf8() + '\n');
        QTRY_COMPARE(screen()->protection, Protection::on);
        // Made again, the screen shows the last answer at once, not OFF until the next one.
        ProtectionViewController *vc = screen();
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("ON"));
        // Shown as on, so watched: the watchdog follows "dnsLastStatus".
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));

        // Protection on, but the last apply failed: the screen shows OFF, and leaving it must
        // not switch the watchdog off.
        vc->hide();
        env->writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        vc->show();
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("ON")); // until the check answers
        QTRY_COMPARE(vc->protection, Protection::off);
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("OFF"));
        vc->hide();
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus));
    }

    void signedOutProtectionStaysOn()
    {
        ProtectionViewController *vc = screen();
        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(vc->protection, Protection::on);
        // A forced sign-out: the session is gone, protection is not.
        PreferencesStore::shared().setBool(PrefKey::isLogin, false);
        QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(alerts->alerts.size(), 1);
        QCOMPARE(alerts->alerts.first().second, QStringLiteral("Sign in to turn protection off."));
        QCOMPARE(gate->pendingPinAction(), PinAction::None);
        settle();
        QCOMPARE(vc->protection, Protection::on);
        QCOMPARE(ethernet(), filter + '\n');
    }

    void notificationsFromOtherScreens()
    {
        ProtectionViewController *vc = screen();
        NotificationCenter &center = NotificationCenter::defaultCenter();
        center.post(QStringLiteral("DNS_State"), true);
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("ON"));
        center.post(QStringLiteral("DNS_State"));
        QCOMPARE(vc->protection, Protection::off);
        center.post(QStringLiteral("DNS_State"), QStringLiteral("true")); // not a Boolean
        QCOMPARE(vc->protection, Protection::off);

        center.post(QStringLiteral("pin_protection_off"), 1);
        QVERIFY(vc->boxSetupPin->isHidden());
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::isPinEnable));
        center.post(QStringLiteral("pin_protection_off"), 0);
        QVERIFY(!vc->boxSetupPin->isHidden());
        QVERIFY(!PreferencesStore::shared().boolForKey(PrefKey::isPinEnable));
    }

    void setupPin()
    {
        ProtectionViewController *vc = screen();
        QVERIFY(!vc->boxSetupPin->isHidden());
        QTest::mouseClick(vc->btnSetupPin, Qt::LeftButton);
        // The decision waits for the account status.
        QVERIFY(!sheetNames().contains(QStringLiteral("PinProtectionWC")));
        QTRY_VERIFY(sheetNames().contains(QStringLiteral("PinProtectionWC")));
        QCOMPARE(syncs(), 1);
        QVERIFY(alerts->alerts.isEmpty());

        // The server now says the account has a PIN.
        bed->server.answer(QStringLiteral("sync-url"), 200, ApiTestBed::fixture(QStringLiteral("sync-url.json")));
        QVariantList posted;
        QObject observer;
        NotificationCenter::defaultCenter().addObserver(&observer, QStringLiteral("pin_protection_off"),
                                                        [&](const QVariant &v) { posted << v; });
        QTest::mouseClick(vc->btnSetupPin, Qt::LeftButton);
        QTRY_COMPARE(posted, QVariantList{true});
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::isPinSeted));
        QCOMPARE(alerts->alerts, (QList<QPair<QString, QString>>{{"Ooops", "Pin already set"}}));
        QVERIFY(vc->boxSetupPin->isHidden());

        // Made again with a PIN on record: the offer is hidden from the start.
        QVERIFY(screen()->boxSetupPin->isHidden());
    }

    // The confirmation, answered with Uninstall (0) or Cancel (1).
    void answerUninstallConfirmation(ProtectionViewController *vc, int choice)
    {
        QTest::mouseClick(vc->btnUninstall, Qt::LeftButton);
        QCOMPARE(alerts->choices.last(),
                 (QStringList{"Uninstall Nimbrel?", "Protection will be turned off.", "Uninstall", "Cancel"}));
        alerts->choiceActions.last()(choice);
    }

    void uninstall_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("protection off: files, then sign-out") << "off";
        QTest::newRow("protection on: DNS cleared first") << "on";
        QTest::newRow("DNS cannot be cleared: nothing removed") << "dns refused";
        QTest::newRow("files the user may not remove: how to remove the package") << "package";
        QTest::newRow("cancelled") << "cancelled";
    }
    void uninstall()
    {
        QFETCH(QString, situation);
        const QString exe = env->path(QStringLiteral("install/bin/nimbrel"));
        QString entry = env->path(QStringLiteral("install/share/applications/com.mac.nimbrel.desktop"));
        env->writeFile(QStringLiteral("install/bin/nimbrel"), "binary");
        if (situation == QLatin1String("package")) // rm cannot take it away, as a root-owned file for a user
            env->writeFile(QStringLiteral("install/share/applications/com.mac.nimbrel.desktop/keep"), "");
        else
            env->writeFile(QStringLiteral("install/share/applications/com.mac.nimbrel.desktop"), "[Desktop Entry]");
        ProtectionViewController *vc = screen();
        if (situation != QLatin1String("off")) {
            QTest::mouseClick(vc->btnProtectionOnOff, Qt::LeftButton);
            QTRY_COMPARE(vc->protection, Protection::on);
        }
        if (situation == QLatin1String("dns refused"))
            deny();
        vc->installedApplication = InstalledApplication({exe, entry}, exe, exe);
        QList<int> exits;
        int logoutsAtExit = -1;
        vc->exitProcess = [&](int status) {
            exits << status;
            logoutsAtExit = bed->requestsTo(QStringLiteral("logout"));
        };
        QVariantList dnsStates;
        QObject observer;
        NotificationCenter::defaultCenter().addObserver(&observer, QStringLiteral("DNS_State"),
                                                        [&](const QVariant &v) { dnsStates << v; });
        LogCapture log;
        PreferencesStore &prefs = PreferencesStore::shared();
        const int alertsBefore = int(alerts->alerts.size());
        answerUninstallConfirmation(vc, situation == QLatin1String("cancelled") ? 1 : 0);

        if (situation == QLatin1String("cancelled") || situation == QLatin1String("dns refused")) {
            QVERIFY(QFile::exists(exe));
            QCOMPARE(ethernet(), filter + '\n');
            QVERIFY(prefs.boolForKey(PrefKey::dnsLastStatus));
            if (situation == QLatin1String("dns refused"))
                QTRY_COMPARE(alerts->alerts.value(alertsBefore), (QPair<QString, QString>("Ooops", "Requires admin privileges")));
            else
                QCOMPARE(gate->pendingPinAction(), PinAction::None);
            settle();
            QCOMPARE(bed->requestsTo(QStringLiteral("logout")), 0);
            QVERIFY(exits.isEmpty());
            return;
        }
        QTRY_VERIFY(!prefs.boolForKey(PrefKey::dnsLastStatus));
        QCOMPARE(ethernet(), QString());
        QCOMPARE(vc->protection, Protection::off);
        QCOMPARE(vc->OnOffLbl->text(), QStringLiteral("OFF"));
        QCOMPARE(gate->pendingPinAction(), PinAction::Uninstall);
        if (situation == QLatin1String("package")) {
            QVERIFY(QFile::exists(entry));
            QCOMPARE(alerts->alerts.size(), alertsBefore + 1);
            QVERIFY(alerts->alerts.last().second.contains(QLatin1String("sudo apt remove nimbrel")));
            // Signed out and ended once the user has read it.
            settle();
            QCOMPARE(bed->requestsTo(QStringLiteral("logout")), 0);
            alerts->actions.last()();
        } else {
            QVERIFY(!QFile::exists(exe));
            QVERIFY(!QFile::exists(entry));
            const qsizetype result = log.lines.indexOf(QStringLiteral("Result - "));
            QVERIFY(result >= 0);
            QCOMPARE(log.lines.value(result + 1), QStringLiteral("Unistall Success"));
        }
        // The process ends only once the server confirmed the sign-out.
        QTRY_COMPARE(exits, QList<int>{0});
        QCOMPARE(logoutsAtExit, 1);
        QCOMPARE(dnsStates, QVariantList{false});
        QVERIFY(!prefs.boolForKey(PrefKey::isLogin));
        QVERIFY(prefs.boolForKey(PrefKey::isLoggedOut));
        QVERIFY(log.contains(QStringLiteral("Logout success in uninstall")));
    }

    void uninstallStopsWhenNothingMayBeRemoved()
    {
        const QString exe = env->path(QStringLiteral("install/bin/nimbrel"));
        env->writeFile(QStringLiteral("install/bin/nimbrel"), "binary");
        ProtectionViewController *vc = screen();
        // Run from elsewhere (a build tree): the installed copy is left alone.
        vc->installedApplication = InstalledApplication({exe}, exe, env->path(QStringLiteral("build/bin/nimbrel")));
        LogCapture log;
        answerUninstallConfirmation(vc, 0);
        QVERIFY(QFile::exists(exe));
        QCOMPARE(log.lines.size(), 1);
        QVERIFY(log.lines.first().startsWith(QLatin1String("Result - Not removed: this copy runs from ")));
        QCOMPARE(alerts->alerts.last().second,
                 QStringLiteral("Nothing was removed: this copy of Nimbrel does not run from its installed place."));
        settle();
        QCOMPARE(bed->requestsTo(QStringLiteral("logout")), 0);

        // Never a relative, root or unclean target, whatever the build recorded.
        for (const QStringList &targets : {QStringList{QStringLiteral("/")}, QStringList{QStringLiteral("bin/nimbrel")},
                                           QStringList{QStringLiteral("/usr/../")}, QStringList{}}) {
            InstalledApplication bad(targets, exe, exe);
            QVERIFY(bad.remove().startsWith(QLatin1String("Not removed")));
        }
        QVERIFY(QFile::exists(exe));

        // With PIN protection the gate comes first.
        PreferencesStore::shared().setBool(PrefKey::isPinEnable, true);
        PreferencesStore::shared().setString(PrefKey::loginToken, QStringLiteral("user-token"));
        vc->installedApplication = InstalledApplication({exe}, exe, exe);
        answerUninstallConfirmation(vc, 0);
        QVERIFY(QFile::exists(exe));
        QVERIFY(sheetNames().contains(QStringLiteral("VerifyPin")));
        QCOMPARE(gate->pendingPinAction(), PinAction::Uninstall);
    }

    void aClickOnTheTextOfABoxCounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("opens");
        QTest::newRow("live chat") << "lblLive24"
                                   << "LiveChat";
        QTest::newRow("uninstall, PIN first") << "lblUninstall"
                                              << "VerifyPin";
    }
    void aClickOnTheTextOfABoxCounts()
    {
        QFETCH(QString, text);
        QFETCH(QString, opens);
        PreferencesStore::shared().setBool(PrefKey::isPinEnable, true);
        PreferencesStore::shared().setString(PrefKey::loginToken, QStringLiteral("user-token"));
        ProtectionViewController *vc = screen();
        QVERIFY(QTest::qWaitForWindowExposed(main->window()));
        // Through the window, as a real click goes: whatever lies under the text gets it.
        auto *label = vc->findChild<QLabel *>(text);
        const QPoint onText = label->mapTo(main->window(), label->rect().center());
        QTest::mouseClick(main->window()->windowHandle(), Qt::LeftButton, {}, onText);
        if (!alerts->choiceActions.isEmpty())
            alerts->choiceActions.last()(0); // the uninstall confirmation
        QTRY_VERIFY(sheetNames().contains(opens));
    }
};

QTEST_MAIN(TestProtectionScreen)
#include "tst_protectionscreen.moc"
