// The application blocker as the running app has it: the delegate's observer from launch on,
// and the Block Apps screen driven through the sidebar, against desktop entries, a private X
// server with openbox and a real application window.
#include "AlertRecorder.h"
#include "DesktopFixture.h"
#include "TestEnvironment.h"
#include "app/AppDelegate.h"
#include "app/AppMain.h"
#include "app/SidebarViewController.h"
#include "controls/ToggleSwitch.h"
#include "pin/PinGate.h"
#include "pin/VerifyPin.h"
#include "platform/LaunchAgent.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/Workspace.h"
#include "protection/ApplicationBlocker.h"
#include "protection/BlockAppsViewController.h"
#include "protection/BlockPage.h"
#include "protection/BlockPagePresenter.h"
#include "ui/BlockPage.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace DesktopFixture;

class TestAppBlocker : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_entries;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<AlertRecorder> alerts;
    std::unique_ptr<ApplicationBlocker> blocker;
    std::unique_ptr<MainWindowController> main;

    static QStringList stored() { return PreferencesStore::shared().stringArrayForKey(PrefKey::blockedAppDetails); }

    BlockAppsViewController *openBlockApps()
    {
        attachPresenters(main->window(), nullptr, blocker.get()).openMainContent(QSize(800, 500));
        main->showWindow();
        auto *sidebar = main->window()->findChild<SidebarViewController *>();
        sidebar->item(2)->click();
        return main->window()->findChild<BlockAppsViewController *>();
    }
    static ToggleSwitch *switchOf(BlockAppsViewController *screen, const QString &name)
    {
        const QList<AppsTableCell *> cells = screen->findChildren<AppsTableCell *>();
        for (AppsTableCell *cell : cells) {
            if (cell->appName->text() == name)
                return cell->appSwitch;
        }
        return nullptr;
    }

private slots:
    void initTestCase() { install(m_entries.path()); }

    void init()
    {
        env = std::make_unique<TestEnvironment>();
        alerts = std::make_unique<AlertRecorder>();
        main = std::make_unique<MainWindowController>();
        // Signed in: unblocking asks for nobody's sign-in.
        PreferencesStore::shared().setBool(PrefKey::isLogin, true);
        PreferencesStore::shared().setString(PrefKey::loginToken, QStringLiteral("user-token"));
    }
    void cleanup()
    {
        main.reset();
        blocker.reset();
        alerts.reset();
        env.reset();
    }

    void blockedFromLaunchBeforeAnyScreen_data()
    {
        QTest::addColumn<QStringList>("blocked");
        QTest::addColumn<int>("closeRequests");
        QTest::addColumn<QStringList>("storedAfter");
        QTest::newRow("blocked") << QStringList{blockableID} << 1 << QStringList{blockableID};
        // A list from before ids were the key: the name is matched once, then kept as the id.
        QTest::newRow("stored by name") << QStringList{blockable} << 1 << QStringList{blockableID};
        QTest::newRow("stored twice: once per occurrence")
            << QStringList{blockableID, otherID, blockableID} << 2 << QStringList{blockableID, otherID, blockableID};
        QTest::newRow("differs by case") << QStringList{QStringLiteral("blockable test")} << 0
                                         << QStringList{QStringLiteral("blockable test")};
        // With nothing blocked nothing is even identified (the start-up footprint test shows it).
        QTest::newRow("another one blocked") << QStringList{otherID} << 0 << QStringList{otherID};
    }
    void blockedFromLaunchBeforeAnyScreen()
    {
        QFETCH(QStringList, blocked);
        QFETCH(int, closeRequests);
        QFETCH(QStringList, storedAfter);
        if (const QString missing = useX11(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        // Stored by an earlier run: the store is read again from its file, as after a restart.
        PreferencesStore::shared().setStringArray(PrefKey::blockedAppDetails, blocked);
        PreferencesStore::resetShared();

        blocker = std::make_unique<ApplicationBlocker>(makeWorkspace(QStringLiteral("com.mac.nimbrel")));
        AppDelegate delegate(nullptr, &CommmonFunction::shared());
        delegate.blocker = blocker.get();
        delegate.applicationDidFinishLaunching();
        QCOMPARE(stored(), storedAfter);
        // Connected after the delegate, so it reports once the delegate has acted.
        QSignalSpy activated(blocker->shared(), &Workspace::applicationActivated);

        RunningApp app(QStringLiteral(BLOCKABLE_APP), {QStringLiteral("--ignore-close")});
        QVERIFY(app.waitFor(QStringLiteral("active")));
        QTRY_VERIFY(!activated.isEmpty());
        QCOMPARE(activated.first().at(0).toString(), blockableID);

        QCOMPARE(CommmonFunction::shared().blockPageRequest().isBlockPageRequested(), closeRequests > 0);
        auto *page = delegate.blockPage() ? qobject_cast<BlockPage *>(delegate.blockPage()->page()) : nullptr;
        QCOMPARE(page != nullptr, closeRequests > 0);
        if (closeRequests == 0)
            return;
        QVERIFY(page->isFullScreen());
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("m_lblApplication"))->text(), blockable);
        QTRY_COMPARE(app.closeRequests(), closeRequests);
        QVERIFY2(app.firstCloseAfterMs() < 2000, qPrintable(QString::number(app.firstCloseAfterMs())));
    }

    void blockPageNamesTheApplicationJustBlocked_data()
    {
        QTest::addColumn<bool>("faqWindow");
        QTest::newRow("our own page") << false;
        // The FAQ window reads the request when it is made, as the web one does.
        QTest::newRow("the FAQ window's page") << true;
    }
    void blockPageNamesTheApplicationJustBlocked()
    {
        QFETCH(bool, faqWindow);
        if (const QString missing = useX11(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        if (faqWindow) {
            CommmonFunction &common = CommmonFunction::shared();
            common.registerWindow(QStringLiteral("FAQWC"), [&common](QWidget *parent) {
                const BlockPageRequest &request = common.blockPageRequest();
                auto *page = new QDialog(parent);
                page->setAttribute(Qt::WA_DeleteOnClose);
                page->setWindowTitle(request.isBlockPageRequested() ? request.blockedApplication() : QString());
                return page;
            });
        }
        PreferencesStore::shared().setStringArray(PrefKey::blockedAppDetails, {blockableID, otherID});
        blocker = std::make_unique<ApplicationBlocker>(makeWorkspace(QStringLiteral("com.mac.nimbrel")));
        AppDelegate delegate(nullptr, &CommmonFunction::shared());
        delegate.blocker = blocker.get();
        delegate.applicationDidFinishLaunching();
        auto shownName = [&] {
            QDialog *page = delegate.blockPage() ? delegate.blockPage()->page() : nullptr;
            if (!page || !page->isVisible())
                return QString();
            if (auto *ours = qobject_cast<BlockPage *>(page))
                return ours->findChild<QLabel *>(QStringLiteral("m_lblApplication"))->text();
            return page->windowTitle();
        };
        RunningApp first(QStringLiteral(BLOCKABLE_APP), {QStringLiteral("--ignore-close")});
        QVERIFY(first.waitFor(QStringLiteral("active")));
        QTRY_COMPARE(shownName(), blockable);
        if (!faqWindow) {
            auto *grace = delegate.blockPage()->page()->findChild<QLabel *>(QStringLiteral("m_lblGrace"));
            QVERIFY(grace->isVisible());
            QCOMPARE(grace->text(), QStringLiteral("closes in 10 s"));
        }
        RunningApp second(otherProgram(m_entries.path()), {QStringLiteral("--class"), QStringLiteral("OtherClass"),
                                                           QStringLiteral("--ignore-close")});
        QVERIFY(second.waitFor(QStringLiteral("active")));
        QTRY_COMPARE(shownName(), other);
        QCOMPARE(CommmonFunction::shared().blockPageRequest().blockedApplication(), other);
    }

    void switchesDriveTheStoredListAndQuitOnlyOnBlocking()
    {
        if (const QString missing = useX11(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        blocker = std::make_unique<ApplicationBlocker>(makeWorkspace(QStringLiteral("com.mac.nimbrel")));
        RunningApp app(QStringLiteral(BLOCKABLE_APP), {QStringLiteral("--ignore-close")});
        QVERIFY(app.waitFor(QStringLiteral("active")));
        BlockAppsViewController *screen = openBlockApps();
        QVERIFY(screen);
        QCOMPARE(screen->tableBox->height(), 378);
        ToggleSwitch *appSwitch = switchOf(screen, blockable);
        QVERIFY(appSwitch && !appSwitch->isChecked());

        appSwitch->click();
        QCOMPARE(stored(), QStringList{blockableID});
        QTRY_COMPARE(app.closeRequests(), 1);
        appSwitch->click(); // no PIN protection: unblocked at once, and left running
        QCOMPARE(stored(), QStringList{});
        appSwitch->click();
        QCOMPARE(stored(), QStringList{blockableID});
        // Ended by SIGTERM the grace after the first request; by then every request sent
        // before the last block has arrived.
        QTRY_COMPARE_WITH_TIMEOUT(app.process().state(), QProcess::NotRunning, Workspace::graceSeconds * 1000 + 5000);
        QCOMPARE(app.closeRequests(), 2);
    }

    void noticeWhenTheSessionHidesApplications_data()
    {
        QTest::addColumn<bool>("x11");
        QTest::newRow("an X server: applications are seen") << true;
        QTest::newRow("no X server, no app slice: they are not") << false;
    }
    void noticeWhenTheSessionHidesApplications()
    {
        QFETCH(bool, x11);
        if (!x11)
            qunsetenv("DISPLAY");
        else if (const QString missing = useX11(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        blocker = std::make_unique<ApplicationBlocker>(makeWorkspace(QStringLiteral("com.mac.nimbrel")));
        BlockAppsViewController *screen = openBlockApps();
        auto *notice = screen->findChild<QLabel *>(QStringLiteral("m_lblNotice"));
        QVERIFY(notice);
        QCOMPARE(notice->isVisible(), !x11);
        QVERIFY(notice->text().contains(QLatin1String("cannot be blocked")));
    }

    void installedLaterIsListed()
    {
        qunsetenv("DISPLAY");
        blocker = std::make_unique<ApplicationBlocker>(makeWorkspace(QStringLiteral("com.mac.nimbrel")));
        BlockAppsViewController *screen = openBlockApps();
        QVERIFY(!switchOf(screen, QStringLiteral("Installed Later")));
        // GIO reads the data folders once per process: the fixture's is the one it watches.
        QFile file(m_entries.filePath(QStringLiteral("applications/nimbrel-later.desktop")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=Installed Later\nExec=" BLOCKABLE_APP "\n");
        file.close();
        QTRY_VERIFY_WITH_TIMEOUT(switchOf(screen, QStringLiteral("Installed Later")), 10000);
        QVERIFY(file.remove());
        QTRY_VERIFY_WITH_TIMEOUT(!switchOf(screen, QStringLiteral("Installed Later")), 10000);
    }

    void unblockingWaitsForThePin_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::newRow("cancelled: still blocked") << false;
        QTest::newRow("PIN accepted") << true;
    }
    void unblockingWaitsForThePin()
    {
        QFETCH(bool, accepted);
        qunsetenv("DISPLAY");
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isPinSeted, true);
        prefs.setBool(PrefKey::isPinEnable, true);
        prefs.setStringArray(PrefKey::blockedAppDetails, {blockableID, blockableID, otherID});
        blocker = std::make_unique<ApplicationBlocker>(makeWorkspace(QStringLiteral("com.mac.nimbrel")));
        BlockAppsViewController *screen = openBlockApps();
        ToggleSwitch *appSwitch = switchOf(screen, blockable);
        QVERIFY(appSwitch && appSwitch->isChecked());

        appSwitch->click();
        auto *gate = main->window()->findChild<PinGate *>();
        QCOMPARE(gate->pendingPinAction(), PinAction::UnblockApplication);
        QTRY_VERIFY(gate->verifyPinWC() && gate->verifyPinWC()->isVisible());
        QCOMPARE(stored(), (QStringList{blockableID, blockableID, otherID}));
        if (accepted) {
            // The rows change while the dialog is up; the change still goes to the application
            // whose switch was tapped, and an unblock never adds anything.
            QList<ApplicationDetail> reordered = screen->wholeData();
            std::reverse(reordered.begin(), reordered.end());
            screen->setWholeData(reordered);
            // What VerifyPin does once the server accepted the PIN.
            gate->carryOut([](bool) {});
            QCOMPARE(stored(), QStringList{otherID});
            QVERIFY(!switchOf(screen, blockable)->isChecked());
            QVERIFY(switchOf(screen, other)->isChecked());
        } else {
            gate->verifyPinWC()->cancel();
            QCOMPARE(stored(), (QStringList{blockableID, blockableID, otherID}));
            QVERIFY(appSwitch->isChecked());
        }
    }
};

QTEST_MAIN(TestAppBlocker)
#include "tst_appblocker.moc"
