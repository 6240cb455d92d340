// What protects this computer lives on the account: the app's own pieces (delegate, blocker,
// protection screen, request path) against a real nimbrel-server and a fake networksetup. A
// forced sign-out, an edited preferences file or a second computer must not weaken anything.
#include "ServerTestBed.h"
#include "Settle.h"
#include "api/CommonWS.h"
#include "api/FocusState.h"
#include "app/SidebarViewController.h"
#include "focus/FocusViewController.h"
#include "app/AppDelegate.h"
#include "pin/PinGate.h"
#include "platform/DeviceIdentity.h"
#include "platform/LaunchAgent.h"
#include "platform/Workspace.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "protection/ApplicationBlocker.h"
#include "protection/DNSConfiguration.h"
#include "protection/ProtectionViewController.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSpinBox>
#include <QTimeEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimeZone>

namespace {
const QString game = QStringLiteral("org.example.Game");
const QString filter = DNSConfiguration::defaultAddress();
} // namespace

class TestAccountProtection : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServerTestBed> bed;
    std::unique_ptr<ApplicationBlocker> blocker;
    std::unique_ptr<AppDelegate> delegate;

    int quits = 0;

    PreferencesStore &prefs() { return PreferencesStore::shared(); }
    FocusState *focusState() { return bed->main->window()->findChild<FocusState *>(QStringLiteral("focusState")); }
    // The Focus screen, chosen in the sidebar of the main content.
    FocusViewController *openFocus()
    {
        bed->openMain();
        SidebarViewController *sidebar = bed->mainContent()->sidebar();
        sidebar->btnProtectionOnOffTapped(sidebar->item(8));
        return qobject_cast<FocusViewController *>(bed->mainContent()->detail());
    }
    QAction *trayFocus() { return delegate->statusMenu()->findChild<QAction *>(QStringLiteral("actionFocus")); }
    QStringList stored() { return prefs().stringArrayForKey(PrefKey::blockedAppDetails); }
    QString ethernet() const { return bed->env.readFile(QStringLiteral("fake-state/networksetup/dns/Ethernet")); }
    // The account status as this computer sends it, with the given protection.
    ServerAnswer syncAs(const QString &protection)
    {
        return bed->api(QStringLiteral("sync-url"), {{"platform_unique_id", platformUUID()}, {"protection", protection}});
    }
    QStringList accountApps()
    {
        QStringList ids;
        const QJsonArray apps = syncAs(QStringLiteral("1")).data()[QStringLiteral("blocked_apps")].toArray();
        for (const QJsonValue &app : apps)
            ids << app[QStringLiteral("app_id")].toString();
        return ids;
    }
    // The app starting, as after a restart: the preferences read again from their file.
    void launch()
    {
        PreferencesStore::resetShared();
        blocker = std::make_unique<ApplicationBlocker>(nullptr);
        delegate = std::make_unique<AppDelegate>(nullptr, &CommmonFunction::shared());
        delegate->systemLanguage = [] { return QStringLiteral("en"); };
        delegate->blocker = blocker.get();
        delegate->pinGate = bed->main->window()->findChild<PinGate *>(QStringLiteral("pinGate"));
        delegate->focusState = focusState();
        delegate->quitApplication = [this] { ++quits; };
        delegate->applicationDidFinishLaunching();
        // What the launch screen sends first.
        CommonWS::shared().syncURL({});
    }
    bool start(const QStringList &serverArguments = {})
    {
        bed = std::make_unique<ServerTestBed>();
        if (!bed->start(serverArguments) || !bed->signUp())
            return false;
        bed->env.writeFile(QStringLiteral("fake-state/networksetup/services"), "Ethernet\nWi-Fi\n");
        DNSConfiguration::resetShared(std::make_unique<NetworkSetupResolver>());
        bed->storeSignedIn();
        return true;
    }

private slots:
    void init() { quits = 0; }
    void cleanup()
    {
        delegate.reset();
        blocker.reset();
        bed.reset();
    }

    void forcedSignOutEndsTheSessionOnly()
    {
        QVERIFY(start());
        prefs().setBool(PrefKey::dnsLastStatus, true);
        prefs().setStringArray(PrefKey::blockedAppDetails, {game});
        launch();
        // The start-up apply has read its change back before anything else touches the file.
        QTRY_VERIFY(DNSConfiguration::shared().configuredAtLastCheck());
        QCOMPARE(ethernet(), filter + '\n');
        QTRY_COMPARE(accountApps(), QStringList{game}); // handed to the account at the first answer

        // The token this computer holds is revoked elsewhere (a logout through the API).
        QVERIFY(bed->api(QStringLiteral("logout")).accepted());
        CommonWS::shared().blockApp(QStringLiteral("org.example.Other"), QStringLiteral("Other"), {});
        QTRY_VERIFY(!prefs().boolForKey(PrefKey::isLogin));
        QVERIFY(prefs().boolForKey(PrefKey::isLoggedOut));
        QVERIFY(!prefs().contains(PrefKey::loginToken));
        QVERIFY(!prefs().contains(PrefKey::user_id));
        QVERIFY(bed->onLaunchScreen());
        // What protects stays, and the watchdog still puts the filter back.
        QVERIFY(prefs().boolForKey(PrefKey::dnsLastStatus));
        QCOMPARE(stored(), QStringList{game});
        bed->env.writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
        bed->clock.advance(AppDelegate::watchdogIntervalMs);
        QTRY_COMPARE(ethernet(), filter + '\n');
        // Said once, however many answers come back refused.
        CommonWS::shared().checkPin(1, QStringLiteral("482913"), {});
        settle();
        QCOMPARE(bed->alerts.alerts,
                 (QList<QPair<QString, QString>>{{"Signed out", "Your session has ended. Please sign in again."}}));
        QVERIFY(prefs().boolForKey(PrefKey::dnsLastStatus));
    }

    // One value edited in the preferences file, then a restart: the account puts it back.
    void editedPreferencesComeBackFromTheAccount()
    {
        QVERIFY(start());
        bed->pinOnServer(QStringLiteral("482913"));
        QVERIFY(syncAs(QStringLiteral("1")).accepted());
        QVERIFY(bed->api(QStringLiteral("blockapp"), {{"app_id", game}, {"name", "Game"}}).accepted());
        prefs().setBool(PrefKey::dnsLastStatus, false);
        prefs().setStringArray(PrefKey::blockedAppDetails, {});
        prefs().setBool(PrefKey::blockedAppsOnAccount, true);

        launch();
        QTRY_COMPARE(ethernet(), filter + '\n');
        QVERIFY(prefs().boolForKey(PrefKey::dnsLastStatus));
        QTRY_COMPARE(stored(), QStringList{game});

        // Signed out, the computer still learns what its account keeps.
        prefs().setBool(PrefKey::isLogin, false);
        prefs().setBool(PrefKey::isLoggedOut, true);
        prefs().remove({PrefKey::loginToken});
        prefs().setStringArray(PrefKey::blockedAppDetails, {});
        CommonWS::shared().syncURL({});
        QTRY_COMPARE(stored(), QStringList{game});
    }

    // A PIN on the account, the local gate switched off in the file: the account says no.
    void turningOffWithoutTheVerifiedPinIsRefused()
    {
        QVERIFY(start());
        bed->pinOnServer(QStringLiteral("482913"));
        prefs().setBool(PrefKey::isPinEnable, false);
        prefs().setBool(PrefKey::dnsLastStatus, true);
        launch();
        QTRY_COMPARE(ethernet(), filter + '\n');
        QTRY_COMPARE(syncAs(QStringLiteral("1")).data()[QStringLiteral("device_protected")], QJsonValue(true));

        PinGate gate;
        ProtectionViewController screen(&gate);
        screen.show();
        QTRY_COMPARE(screen.protection, Protection::on);
        QTest::mouseClick(screen.btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(bed->alerts.alerts.size(), 1);
        QCOMPARE(bed->alerts.alerts.first().second,
                 QStringLiteral("Protection stays on: your account needs your PIN to turn it off."));
        QCOMPARE(ethernet(), filter + '\n');
        QVERIFY(prefs().boolForKey(PrefKey::dnsLastStatus));
        QCOMPARE(screen.protection, Protection::on);

        // With the PIN verified, it goes off, and the account records it.
        QVERIFY(bed->api(QStringLiteral("checkPin"), {{"attempt", "1"}, {"pin", "482913"}}).accepted());
        QTest::mouseClick(screen.btnProtectionOnOff, Qt::LeftButton);
        QTRY_VERIFY(!prefs().boolForKey(PrefKey::dnsLastStatus));
        QCOMPARE(ethernet(), QString());
        QCOMPARE(bed->alerts.alerts.size(), 1);
    }

    // Blocked on one computer, the list reaches another signed into the same account; unblocking
    // needs the verified PIN there too.
    void theListFollowsTheAccount()
    {
        QVERIFY(start());
        launch();
        QTRY_VERIFY(blocker->accountKeepsList());
        blocker->blockApp(game, QStringLiteral("Game"));
        QTRY_COMPARE(accountApps(), QStringList{game});
        bed->pinOnServer(QStringLiteral("482913"));

        // A second computer: its own home, nothing stored yet but the sign-in.
        QTemporaryDir second;
        qputenv("HOME", second.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (second.path() + QStringLiteral("/config")).toUtf8());
        PreferencesStore::resetShared();
        bed->storeSignedIn();
        launch();
        QTRY_COMPARE(stored(), QStringList{game});

        std::optional<QString> refusal;
        blocker->unblockApp(game, [&](bool unblocked, const QString &text) { refusal = unblocked ? QString() : text; });
        QTRY_VERIFY(refusal);
        QCOMPARE(*refusal, QStringLiteral("Please verify your pin first."));
        QCOMPARE(stored(), QStringList{game});
        QVERIFY(bed->api(QStringLiteral("checkPin"), {{"attempt", "1"}, {"pin", "482913"}}).accepted());
        refusal.reset();
        blocker->unblockApp(game, [&](bool unblocked, const QString &text) { refusal = unblocked ? QString() : text; });
        QTRY_COMPARE(refusal, std::optional<QString>(QString()));
        QCOMPARE(stored(), QStringList{});
        QCOMPARE(accountApps(), QStringList{});
    }

    // A session started on the Focus screen holds every block, PIN or not, until the server's
    // clock says it ended; this computer's clock moving on changes nothing.
    void aFocusSessionHoldsTheBlocksUntilTheServersEnd()
    {
        QVERIFY(start());
        bed->pinOnServer(QStringLiteral("482913"));
        prefs().setBool(PrefKey::dnsLastStatus, true);
        qint64 elapsedMs = 0; // the monotonic time, moved by hand
        focusState()->setElapsedSource([&elapsedMs] { return elapsedMs; });
        launch();
        QTRY_COMPARE(ethernet(), filter + '\n');
        QVERIFY(bed->api(QStringLiteral("blockapp"), {{"app_id", game}, {"name", "Game"}}).accepted());
        FocusViewController *screen = openFocus();
        QVERIFY(screen);
        QTRY_COMPARE(focusState()->offer(), FocusState::Offer::offered);
        QTRY_VERIFY(!screen->isBusy()); // the categories to choose from are in
        QVERIFY(!trayFocus()->isVisible());

        // 15 minutes, the first preset, with a site.
        screen->findChild<QLineEdit *>(QStringLiteral("m_sitesEdit"))->setText(QStringLiteral("News.example.net, "));
        QTest::mouseClick(screen->findChild<QPushButton *>(QStringLiteral("m_startButton")), Qt::LeftButton);
        QVERIFY(screen->isBusy());
        QTRY_VERIFY(focusState()->session());
        QVERIFY(!screen->isBusy());
        const QJsonObject held = bed->api(QStringLiteral("focus-status")).data()[QStringLiteral("focus")].toObject();
        QCOMPARE(held[QStringLiteral("remaining_seconds")].toInt(), 900);
        QCOMPARE(held[QStringLiteral("websites")].toArray(), QJsonArray{QStringLiteral("news.example.net")});

        // The verified PIN lifts nothing: the server's refusal, in this computer's time zone,
        // after which the lock is asked for again.
        QVERIFY(bed->api(QStringLiteral("checkPin"), {{"attempt", "1"}, {"pin", "482913"}}).accepted());
        const auto statusAnswers = [this] { return bed->log.lines.filter(QStringLiteral("focus-status JSON")).size(); };
        const qsizetype answersBefore = statusAnswers();
        std::optional<QString> refusal;
        blocker->unblockApp(game, [&](bool unblocked, const QString &text) { refusal = unblocked ? QString() : text; });
        QTRY_VERIFY(refusal);
        const QString end = QDateTime(QDate(2026, 1, 1), QTime(12, 15), QTimeZone::utc())
                                .toTimeZone(QTimeZone::systemTimeZone())
                                .toString(QStringLiteral("HH:mm"));
        QVERIFY2(refusal->startsWith(QStringLiteral("A focus session holds your blocks until ") + end), qPrintable(*refusal));
        QCOMPARE(accountApps(), QStringList{game});
        QTRY_VERIFY(statusAnswers() > answersBefore);

        // A minute later the screen, the tray menu and the tooltip show the same time left.
        elapsedMs = 61'000;
        focusState()->tick();
        QVERIFY(screen->findChild<QWidget *>(QStringLiteral("m_runningPage"))->isVisible());
        QCOMPARE(screen->findChild<QLabel *>(QStringLiteral("m_countdownLabel"))->text(), QStringLiteral("13:59"));
        QVERIFY(trayFocus()->isVisible());
        QCOMPARE(trayFocus()->text(), QStringLiteral("Blocks held for 13:59"));
        QCOMPARE(delegate->statusItem->toolTip(), trayFocus()->text());

        // Quit, Logout and Uninstall say why, with the time left, and do nothing.
        bed->alerts.alerts.clear();
        delegate->quitFromMenu();
        CommmonFunction::shared().startLogout();
        bool uninstalled = false;
        QVERIFY(!delegate->pinGate->ask(PinAction::Uninstall, [&uninstalled](ChangeGate::Finish) { uninstalled = true; }));
        QVERIFY(!uninstalled);
        const QString why = QStringLiteral("Your blocks are held for 14 min more: until then Nimbrel cannot quit, "
                                           "sign out or be uninstalled.");
        QCOMPARE(bed->alerts.alerts, (QList<QPair<QString, QString>>{{"Focus", why}, {"Focus", why}, {"Focus", why}}));
        QCOMPARE(quits, 0);
        QVERIFY(prefs().boolForKey(PrefKey::isLogin));

        // Protection off, with the PIN verified: it stays on, and the user is told until when.
        prefs().setBool(PrefKey::isPinEnable, false);
        PinGate gate;
        ProtectionViewController protection(&gate);
        protection.show();
        QTRY_COMPARE(protection.protection, Protection::on);
        bed->alerts.alerts.clear();
        QTest::mouseClick(protection.btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(bed->alerts.alerts.size(), 1);
        QCOMPARE(bed->alerts.alerts.first().second,
                 QStringLiteral("Your blocks are held for 15 min more: protection stays on until then."));
        QCOMPARE(ethernet(), filter + '\n');
        QCOMPARE(protection.protection, Protection::on);
        prefs().setBool(PrefKey::isPinEnable, true);

        // This computer's clock an hour on: still held.
        bed->clock.advance(60 * 60 * 1000);
        bool answered = false;
        CommonWS::shared().syncURL([&answered](const BaseModel<SyncURLModel> &, bool) { answered = true; });
        QTRY_VERIFY(answered);
        QVERIFY(focusState()->locked());
        QVERIFY(trayFocus()->isVisible());

        // The server's clock past the end: the next answer frees everything.
        bed->server.advance(15 * 60);
        CommonWS::shared().syncURL({});
        QTRY_VERIFY(!focusState()->locked());
        QVERIFY(!trayFocus()->isVisible());
        QVERIFY(screen->findChild<QWidget *>(QStringLiteral("m_startPage"))->isVisible());
        // Quitting is the PIN's matter again.
        bed->alerts.alerts.clear();
        delegate->quitFromMenu();
        QVERIFY(bed->alerts.alerts.isEmpty());
        QVERIFY(delegate->pinGate->isAsking());
    }

    // The start form sends the minutes it shows: a custom length, or up to a time today on
    // this computer's clock; what cannot be a session is said on the screen, and nothing is sent.
    void theStartFormSendsTheMinutesChosen_data()
    {
        QTest::addColumn<int>("button"); // 5 custom, 6 until
        QTest::addColumn<int>("value");  // minutes, or minutes from now to the time chosen
        QTest::addColumn<int>("sent");   // 0: nothing sent
        QTest::addColumn<QString>("refusal");
        QTest::newRow("custom") << 5 << 45 << 45 << "";
        QTest::newRow("until a time today") << 6 << 30 << 30 << "";
        QTest::newRow("until a time gone") << 6 << -1 << 0 << "Choose a time later today.";
        QTest::newRow("until too soon") << 6 << 10 << 0 << "A focus session lasts at least 15 minutes.";
    }
    void theStartFormSendsTheMinutesChosen()
    {
        QFETCH(int, button);
        QFETCH(int, value);
        QFETCH(int, sent);
        QFETCH(QString, refusal);
        QVERIFY(start());
        launch();
        FocusViewController *screen = openFocus();
        QTRY_COMPARE(focusState()->offer(), FocusState::Offer::offered);
        QTRY_VERIFY(!screen->isBusy());
        screen->findChild<QPushButton *>(QStringLiteral("m_durationButton%1").arg(button))->click();
        if (button == 5)
            screen->findChild<QSpinBox *>(QStringLiteral("m_customMinutes"))->setValue(value);
        else
            screen->findChild<QTimeEdit *>(QStringLiteral("m_untilTime"))
                ->setTime(bed->clock.now().toLocalTime().time().addSecs(value * 60));
        auto *startButton = screen->findChild<QPushButton *>(QStringLiteral("m_startButton"));
        auto *line = screen->findChild<QLabel *>(QStringLiteral("m_errorLine"));
        startButton->click();
        if (!sent) {
            QCOMPARE(line->text(), refusal);
            QVERIFY(!screen->isBusy());
            QVERIFY(!bed->api(QStringLiteral("focus-status")).data()[QStringLiteral("focus")].isObject());
            return;
        }
        QTRY_VERIFY(focusState()->session());
        const QJsonObject held = bed->api(QStringLiteral("focus-status")).data()[QStringLiteral("focus")].toObject();
        QCOMPARE(held[QStringLiteral("remaining_seconds")].toInt(), sent * 60);
    }

    // A weekly window made in the editor is the account's, in this computer's time zone; while
    // it is open and locks, it holds the blocks and cannot be deleted.
    void aLockingWeeklyWindowHoldsWhileOpen()
    {
        QVERIFY(start());
        launch();
        FocusViewController *screen = openFocus();
        QVERIFY(screen);
        QTRY_COMPARE(focusState()->offer(), FocusState::Offer::offered);
        QTRY_VERIFY(!screen->isBusy());

        // The server's now (2026-01-01 12:00 UTC) as this computer reads it, inside the window.
        const QTime now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), QTimeZone::utc())
                              .toTimeZone(QTimeZone::systemTimeZone())
                              .time();
        screen->findChild<QPushButton *>(QStringLiteral("m_addScheduleButton"))->click();
        ScheduleEditor *editor = screen->editor();
        QVERIFY(editor);
        editor->m_saveButton->click();
        QCOMPARE(editor->m_errorLine->text(), QStringLiteral("Give the window a name."));
        editor->m_nameEdit->setText(QStringLiteral("Work"));
        for (QCheckBox *day : editor->m_dayBoxes)
            day->setChecked(true);
        editor->m_startTime->setTime(now.addSecs(-3600));
        editor->m_endTime->setTime(now.addSecs(3600));
        editor->m_sitesEdit->setText(QStringLiteral("video.example.org"));
        editor->m_locksBox->setChecked(true);
        editor->m_saveButton->click();
        QTRY_VERIFY(!screen->editor());
        const QJsonArray windows = bed->api(QStringLiteral("focus-status")).data()[QStringLiteral("schedules")].toArray();
        QCOMPARE(windows.size(), 1);
        const QJsonObject saved = windows.first().toObject();
        QCOMPARE(saved[QStringLiteral("time_zone")].toString(), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
        QCOMPARE(saved[QStringLiteral("start")].toString(), now.addSecs(-3600).toString(QStringLiteral("HH:mm")));
        QCOMPARE(saved[QStringLiteral("websites")].toArray(), QJsonArray{QStringLiteral("video.example.org")});
        QVERIFY(saved[QStringLiteral("locks")].toBool());
        QVERIFY(saved[QStringLiteral("open")].toBool());
        auto *rows = screen->findChild<QListView *>(QStringLiteral("m_scheduleView"));
        QTRY_COMPARE(rows->model()->rowCount(), 1);
        QVERIFY(rows->model()->index(0, 0).data().toString().startsWith(QStringLiteral("Work · Every day · ")));
        QTRY_VERIFY(focusState()->locked());
        QVERIFY(screen->findChild<QLabel *>(QStringLiteral("m_lockLine"))->isVisible());
        QVERIFY(trayFocus()->isVisible());

        // Deleting it while open: the server's refusal, in one line on the screen.
        rows->setCurrentIndex(rows->model()->index(0, 0));
        screen->findChild<QPushButton *>(QStringLiteral("m_deleteScheduleButton"))->click();
        QCOMPARE(bed->alerts.choices.size(), 1);
        bed->alerts.choiceActions.last()(0);
        auto *refusal = screen->findChild<QLabel *>(QStringLiteral("m_errorLine"));
        QTRY_VERIFY(refusal->isVisible());
        QVERIFY2(refusal->text().startsWith(QStringLiteral("Your schedule \"Work\" holds your blocks until ")),
                 qPrintable(refusal->text()));
        QCOMPARE(bed->api(QStringLiteral("focus-status")).data()[QStringLiteral("schedules")].toArray().size(), 1);

        // Closed, by the server's clock: it goes.
        bed->server.advance(2 * 60 * 60);
        CommonWS::shared().syncURL({});
        QTRY_VERIFY(!focusState()->locked());
        rows->setCurrentIndex(rows->model()->index(0, 0));
        screen->findChild<QPushButton *>(QStringLiteral("m_deleteScheduleButton"))->click();
        bed->alerts.choiceActions.last()(0);
        QTRY_COMPARE(rows->model()->rowCount(), 0);
        QVERIFY(!refusal->isVisible());
        QVERIFY(bed->api(QStringLiteral("focus-status")).data()[QStringLiteral("schedules")].toArray().isEmpty());
    }

    // A server without focus sessions: the Focus screen says so, and nothing is refused.
    void classicServerHasNoFocus()
    {
        QVERIFY(start({QStringLiteral("--classic-api")}));
        launch();
        FocusViewController *screen = openFocus();
        QVERIFY(screen);
        QTRY_COMPARE(focusState()->offer(), FocusState::Offer::missing);
        QVERIFY(screen->findChild<QLabel *>(QStringLiteral("m_unavailableLabel"))->isVisible());
        QVERIFY(!screen->findChild<QWidget *>(QStringLiteral("m_content"))->isVisible());
        settle();
        QVERIFY(bed->alerts.alerts.isEmpty());
    }

    // A server with only the original services: the app works from its own list, as before.
    void classicServerLeavesTheLocalList()
    {
        QVERIFY(start({QStringLiteral("--classic-api")}));
        prefs().setStringArray(PrefKey::blockedAppDetails, {game});
        launch();
        QTRY_VERIFY(bed->log.contains(QStringLiteral("sync-url JSON: ")));
        settle();
        QVERIFY(!blocker->accountKeepsList());
        QCOMPARE(stored(), QStringList{game});
        blocker->blockApp(QStringLiteral("org.example.Other"), QStringLiteral("Other"));
        bool unblocked = false;
        blocker->unblockApp(game, [&](bool done, const QString &) { unblocked = done; });
        QVERIFY(unblocked);
        QCOMPARE(stored(), QStringList{QStringLiteral("org.example.Other")});
        QVERIFY(bed->alerts.alerts.isEmpty());
    }
};

QTEST_MAIN(TestAccountProtection)
#include "tst_accountprotection.moc"
