// Main window: sidebar navigation, the PIN switch, language changes and the presenters.
#include "AlertRecorder.h"
#include "LogCapture.h"
#include "Settle.h"
#include "TestEnvironment.h"
#include "app/AppMain.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "controls/ToggleSwitch.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "protection/ProtectionViewController.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"
#include "ui/PlaceholderSheet.h"

#include <QLabel>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<AlertRecorder> alerts;
    std::unique_ptr<MainWindowController> main;

    SplitViewController *openMain()
    {
        attachPresenters(main->window()).openMainContent(QSize(800, 500));
        main->showWindow();
        return qobject_cast<SplitViewController *>(main->window()->content());
    }
    static QString image(SidebarItem *item) { return item->imageView->property("imageName").toString(); }
    static QList<QDialog *> sheets(QWidget *window) { return window->findChildren<QDialog *>(); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        alerts = std::make_unique<AlertRecorder>();
        env->writeFile(QStringLiteral("fake-state/networksetup/services"), "Ethernet\n");
        main = std::make_unique<MainWindowController>();
    }
    void cleanup()
    {
        main.reset();
        alerts.reset();
        env.reset();
    }

    void mainContentOpensOnceWithItsSize()
    {
        SplitViewController *split = openMain();
        QVERIFY(split);
        QCOMPARE(main->window()->maximumSize(), QSize(800, 500));
        QCOMPARE(main->window()->minimumSize(), QSize(800, 500));
        QVERIFY(qobject_cast<ProtectionViewController *>(split->detail()));
        QCOMPARE(CommmonFunction::shared().objcSplitViewController, split);
        // Opening it again (the tray item) keeps the same content.
        CommmonFunction::shared().openMainContent(QSize());
        QCOMPARE(main->window()->content(), split);
        QCOMPARE(main->window()->maximumSize(), QSize(800, 500));
    }

    void selectingItemsHighlightsAndKeepsScreens_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("selectedImage");
        QTest::addColumn<QString>("screen"); // empty: the detail pane does not change
        QTest::newRow("protection") << 1 << "shieldSelected" << "ProtectionViewController";
        QTest::newRow("applications") << 2 << "appBlockListSelected" << "BlockAppsViewController";
        QTest::newRow("categories") << 3 << "websiteBlockListSelected" << "CategoriesBlockingViewController";
        QTest::newRow("website black list") << 7 << "websiteBlockListSelected"
                                            << "BlackListWebsitesViewController";
        QTest::newRow("settings") << 4 << "settingsSelected" << "SettingsViewController";
        QTest::newRow("FAQ") << 5 << "faq" << "";
        QTest::newRow("logout") << 6 << "logout" << "";
    }
    void selectingItemsHighlightsAndKeepsScreens()
    {
        QFETCH(int, tag);
        QFETCH(QString, selectedImage);
        QFETCH(QString, screen);
        SplitViewController *split = openMain();
        SidebarViewController *sidebar = split->sidebar();
        SidebarItem *first = sidebar->item(1);
        QVERIFY(!first->box->isHidden());
        QCOMPARE(sidebar->previouslySelectedBtnTag, 1);

        // Move away from item 1 first, so every row also shows the unhighlighting.
        QTest::mouseClick(sidebar->item(4), Qt::LeftButton);
        QTest::mouseClick(sidebar->item(tag), Qt::LeftButton);
        SidebarItem *item = sidebar->item(tag);
        QVERIFY(!item->box->isHidden());
        QCOMPARE(image(item), selectedImage);
        QCOMPARE(item->label->font().weight(), QFont::Medium);
        QCOMPARE(sidebar->previouslySelectedBtnTag, tag);
        for (int other : {1, 2, 3, 4, 5, 6, 7}) {
            if (other == tag)
                continue;
            QVERIFY2(sidebar->item(other)->box->isHidden(), qPrintable(QString::number(other)));
            QCOMPARE(image(sidebar->item(other)), sidebar->arrImages.at(other - 1));
            QCOMPARE(sidebar->item(other)->label->font().weight(), QFont::Normal);
        }
        if (screen.isEmpty())
            return;
        QWidget *shown = split->detail();
        QVERIFY(shown->inherits(qPrintable(screen)));
        // Back again: the same instance, state and all.
        QTest::mouseClick(sidebar->item(tag == 1 ? 2 : 1), Qt::LeftButton);
        QTest::mouseClick(sidebar->item(tag), Qt::LeftButton);
        QCOMPARE(split->detail(), shown);
    }

    void faqOpensAFreshWindowEachTime()
    {
        SidebarViewController *sidebar = openMain()->sidebar();
        sidebar->btnProtectionOnOffTapped(sidebar->item(5));
        QPointer<QDialog> first = sidebar->wc;
        QVERIFY(first);
        QCOMPARE(first->objectName(), QStringLiteral("FAQWC"));
        sidebar->btnProtectionOnOffTapped(sidebar->item(5));
        QVERIFY(sidebar->wc && sidebar->wc != first);
        QTRY_VERIFY(first.isNull());
    }

    void logoutAsksFirst()
    {
        SidebarViewController *sidebar = openMain()->sidebar();
        int flows = 0;
        CommmonFunction::shared().setLogoutFlow([&] { ++flows; });
        LogCapture log;
        sidebar->btnProtectionOnOffTapped(sidebar->item(6));
        QCOMPARE(alerts->choices.size(), 1);
        QCOMPARE(alerts->choices.first(), (QStringList{"Are you sure?", "Any changes done while logged out will not be synced", "Ok", "Cancel"}));
        alerts->choiceActions.first()(1);
        QCOMPARE(flows, 0);
        alerts->choiceActions.first()(-1);
        alerts->choiceActions.first()(0);
        QCOMPARE(flows, 1);
        QCOMPARE(log.lines, (QStringList{"Cancel Tapped", "No option", "OK Tapped"}));
    }

    void pinSwitch()
    {
        PreferencesStore &prefs = PreferencesStore::shared();
        SidebarViewController *sidebar = openMain()->sidebar();
        ToggleSwitch *pinSwitch = sidebar->pinSwitch;
        QVERIFY(!pinSwitch->isChecked());

        // No PIN yet: the switch stays off and PIN setup opens.
        QTest::mouseClick(pinSwitch, Qt::LeftButton);
        QVERIFY(!pinSwitch->isChecked());
        QVERIFY(!prefs.boolForKey(PrefKey::isPinEnable));
        QCOMPARE(sheets(main->window()).last()->objectName(), QStringLiteral("PinProtectionWC"));

        // With a PIN: switching on only stores the choice.
        prefs.setBool(PrefKey::isPinSeted, true);
        const int sheetsBefore = int(sheets(main->window()).size());
        QTest::mouseClick(pinSwitch, Qt::LeftButton);
        QVERIFY(pinSwitch->isChecked());
        QVERIFY(prefs.boolForKey(PrefKey::isPinEnable));
        QCOMPARE(sheets(main->window()).size(), sheetsBefore);

        // Switching off asks how to turn the PIN off.
        QTest::mouseClick(pinSwitch, Qt::LeftButton);
        QCOMPARE(sidebar->window->objectName(), QStringLiteral("PinProtectionOff"));
    }

    void pinNotificationMovesTheSwitch_data()
    {
        QTest::addColumn<QVariant>("object");
        QTest::addColumn<bool>("on");
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("1") << QVariant(1) << true;
        QTest::newRow("0") << QVariant(0) << false;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("none") << QVariant() << false;
    }
    void pinNotificationMovesTheSwitch()
    {
        QFETCH(QVariant, object);
        QFETCH(bool, on);
        SidebarViewController *sidebar = openMain()->sidebar();
        PreferencesStore::shared().setBool(PrefKey::isPinEnable, !on);
        NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"), object);
        QCOMPARE(sidebar->pinSwitch->isChecked(), on);
        QCOMPARE(PreferencesStore::shared().boolForKey(PrefKey::isPinEnable), on);
    }

    void sidebarTellsThePinStateWhenItAppears()
    {
        PreferencesStore::shared().setBool(PrefKey::isPinSeted, true);
        SidebarViewController *sidebar = openMain()->sidebar();
        QVERIFY(sidebar->pinSwitch->isChecked());
        QVERIFY(PreferencesStore::shared().boolForKey(PrefKey::isPinEnable));
    }

    void languageChangeRelabelsOpenScreens()
    {
        SplitViewController *split = openMain();
        SidebarViewController *sidebar = split->sidebar();
        auto *protection = qobject_cast<ProtectionViewController *>(split->detail());
        QTest::mouseClick(sidebar->item(4), Qt::LeftButton);
        QWidget *settings = split->detail();
        QCOMPARE(sidebar->lblLogout->text(), QStringLiteral("Logout"));

        changeLanguage(QStringLiteral("French Selected"), QStringLiteral("fr"));
        QCOMPARE(sidebar->lblLogout->text(), QStringLiteral("Déconnexion"));
        QCOMPARE(sidebar->lblWebsiteBlockList->text(), QStringLiteral("Blocage par catégories"));
        QCOMPARE(sidebar->lblWebsiteOrCategoryBlocking->text(), QStringLiteral("Liste noire de sites"));
        QCOMPARE(protection->lblUninstall->text(), QStringLiteral("Désinstaller"));
        QCOMPARE(settings->findChild<QLabel *>(QStringLiteral("lblSetting"))->text(), QStringLiteral("Réglages"));
        QTRY_COMPARE(protection->setupPinProtectionWidthCons, 313);
        QCOMPARE(protection->uninstallBoxWidthCons, 210);

        // Only a language code relabels.
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
        NotificationCenter::defaultCenter().post(QStringLiteral("UpdateChooseLanguage"), 1);
        QCOMPARE(sidebar->lblLogout->text(), QStringLiteral("Déconnexion"));
        NotificationCenter::defaultCenter().post(QStringLiteral("UpdateChooseLanguage"), QStringLiteral("en"));
        QCOMPARE(sidebar->lblLogout->text(), QStringLiteral("Logout"));
        QTRY_COMPARE(protection->setupPinProtectionWidthCons, 203);
    }

    void presentersShowSheetsOnTheMainWindow()
    {
        CommmonFunction &common = CommmonFunction::shared();
        common.setMainWindow(main->window());
        main->showWindow();
        // The start-up PIN window is presented once while its slot holds it, even when asked
        // twice before the event loop runs.
        common.showVerifyPinOnStart();
        QTRY_VERIFY(common.presented(CommmonFunction::VerifyPinOnStartSlot));
        QDialog *pin = common.presented(CommmonFunction::VerifyPinOnStartSlot);
        common.showVerifyPinOnStart();
        settle();
        QCOMPARE(common.presented(CommmonFunction::VerifyPinOnStartSlot), pin);
        QCOMPARE(common.openMainWindow, pin);
        QVERIFY(pin->isVisible());
        QCOMPARE(pin->parentWidget(), main->window());
        QCOMPARE(pin->windowModality(), Qt::WindowModal);

        common.dismissPresented(CommmonFunction::VerifyPinOnStartSlot);
        QVERIFY(!common.presented(CommmonFunction::VerifyPinOnStartSlot));
        common.showVerifyPinOnStart();
        QTRY_VERIFY(common.presented(CommmonFunction::VerifyPinOnStartSlot));

        // Registered windows are used instead of the placeholder.
        common.registerWindow(QStringLiteral("LogInWindowController"), [](QWidget *parent) { return new QDialog(parent); });
        common.showLogIn();
        QTRY_VERIFY(common.presented(CommmonFunction::LogInSlot));
        QVERIFY(!qobject_cast<PlaceholderSheet *>(common.presented(CommmonFunction::LogInSlot)));
        QVERIFY(qobject_cast<PlaceholderSheet *>(common.presented(CommmonFunction::VerifyPinOnStartSlot)));
    }

    void presentersWithoutMainWindowShowNothing()
    {
        CommmonFunction &common = CommmonFunction::shared();
        common.showSignup();
        common.showPassword();
        common.showResetPassword();
        settle();
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!w->isVisible());
        common.openMainContent(QSize(800, 500)); // nothing to open it in
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
