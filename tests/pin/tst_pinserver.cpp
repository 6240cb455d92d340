// The PIN as a user meets it, against a real nimbrel-server on 127.0.0.1: setup (typed and
// hidden), the start-up dialog, the gate in front of each protected change, disable, change and
// retrieval by e-mail. Each step is driven through the sheets' fields and buttons.
#include "ServerTestBed.h"
#include "Settle.h"
#include "app/SidebarViewController.h"
#include "controls/ToggleSwitch.h"
#include "controls/ZelSecureTextField.h"
#include "pin/ChangePin.h"
#include "pin/ConfirmPin.h"
#include "pin/PinGate.h"
#include "pin/PinProtectionOff.h"
#include "pin/PinProtectionWC.h"
#include "pin/RetrivePinPage.h"
#include "pin/VerifyPin.h"
#include "pin/VerifyPinOnStart.h"
#include "pin/setWaitingTimeWC.h"
#include "platform/NotificationCenter.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "protection/DNSConfiguration.h"
#include "protection/ProtectionViewController.h"
#include "ui/PlaceholderSheet.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

namespace {
// Stands in for the blocked-applications, website and category screens.
class GatedScreenDouble : public PinGatedScreen
{
public:
    void performPinAction(PinAction::Code code, std::function<void(bool)> finish) override
    {
        performed << int(code);
        finish(true);
    }
    QList<int> performed;
};
} // namespace

class TestPinServer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServerTestBed> bed;

    CommmonFunction &common() { return CommmonFunction::shared(); }
    PreferencesStore &prefs() { return PreferencesStore::shared(); }
    PinGate *gate() { return bed->main->window()->findChild<PinGate *>(); }
    SplitViewController *mainContent() { return bed->mainContent(); }
    SidebarViewController *sidebar() { return mainContent()->sidebar(); }
    QString lastAlert() const { return bed->alerts.lastMessage(); }
    qint64 attemp() { return prefs().integerForKey(PrefKey::attemp); }
    template <class W> W *sheet() { return bed->sheet<W>(); }
    template <class W> bool noSheet() { return bed->noSheet<W>(); }

    bool serverAccepts(const QString &pin)
    {
        return bed->api(QStringLiteral("checkPin"),
                        {{"user_id", QString::number(bed->account.id)}, {"attempt", "1"}, {"pin", pin}})
            .accepted();
    }
    // The start-up dialog, as a launch with a PIN set shows it.
    VerifyPinOnStart *launchWithPin()
    {
        bed->storeSignedIn();
        bed->launch();
        bed->clock.advance(ViewController::startupDelayMs);
        return sheet<VerifyPinOnStart>();
    }
    void enterPin(PinEntryDialog *dialog, const QString &pin)
    {
        dialog->pinTF->clear();
        QTest::keyClicks(dialog->pinTF, pin);
        QTest::mouseClick(dialog->btnVerify, Qt::LeftButton);
    }
    QString preferencesFile() const
    {
        QFile file(PreferencesStore::defaultFilePath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // Nothing a screen reader or the clipboard can read gives the hidden PIN away.
    void verifyNotExposed(QLineEdit *field, const QString &pin)
    {
        QAccessibleInterface *ia = QAccessible::queryAccessibleInterface(field);
        QVERIFY(ia);
        QVERIFY(!ia->text(QAccessible::Value).contains(pin));
        QVERIFY(!ia->text(QAccessible::Name).contains(pin));
        if (QAccessibleTextInterface *text = ia->textInterface())
            QVERIFY(!text->text(0, text->characterCount()).contains(pin));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        field->selectAll();
        field->copy();
        QVERIFY(!QGuiApplication::clipboard()->text().contains(pin));
        field->end(false);
    }

private slots:
    void init()
    {
        bed = std::make_unique<ServerTestBed>();
        bed->env.writeFile(QStringLiteral("fake-state/networksetup/services"), "Ethernet\nWi-Fi\n");
        // Its DNS is the filter the protection switch asks before switching on.
        QVERIFY(bed->start({QStringLiteral("--dns-port"), QStringLiteral("0")}));
        QVERIFY(bed->server.dnsPort());
        qputenv("NIMBREL_FILTER_PORT", QByteArray::number(bed->server.dnsPort()));
        DNSConfiguration::resetShared(std::make_unique<NetworkSetupResolver>());
        QVERIFY(bed->signUp());
    }
    void cleanup() { bed.reset(); }

    void everyPinWindowIsReal()
    {
        for (const char *name : {"PinProtectionWC", "PinProtectionOff", "ChangePin", "VerifyPin", "VerifyPinOnStart"}) {
            std::unique_ptr<QDialog> window(common().makeWindow(QString::fromLatin1(name)));
            QVERIFY2(!qobject_cast<PlaceholderSheet *>(window.get()), name);
        }
    }

    void typedPinThenProtectionOffThroughTheGate()
    {
        bed->openMain();
        QTest::mouseClick(sidebar()->pinSwitch, Qt::LeftButton);
        auto *setup = sheet<PinProtectionWC>();
        QVERIFY(setup);
        QTest::keyClicks(setup->PinTextField, QStringLiteral("12345"));
        QTest::mouseClick(setup->btnSetPin, Qt::LeftButton);
        QCOMPARE(lastAlert(), QStringLiteral("Please assign only 6 digit pin!"));
        QTest::keyClicks(setup->PinTextField, QStringLiteral("67"));
        QCOMPARE(setup->PinTextField->text(), QStringLiteral("123456"));
        QTest::mouseClick(setup->btnSetPin, Qt::LeftButton);

        auto *confirm = sheet<ConfirmPin>();
        QVERIFY(confirm);
        QTest::keyClicks(confirm->confirmPinTF, QStringLiteral("123455"));
        QTest::mouseClick(confirm->btnYes, Qt::LeftButton);
        QCOMPARE(lastAlert(), QStringLiteral("Pin not matched"));
        confirm->confirmPinTF->clear();
        QTest::keyClicks(confirm->confirmPinTF, QStringLiteral("123456"));
        QTest::mouseClick(confirm->btnYes, Qt::LeftButton);

        auto *waiting = sheet<setWaitingTimeWC>();
        QVERIFY(waiting);
        QCOMPARE(waiting->hours, QStringLiteral("12"));
        QTest::mouseClick(waiting->btn24Hours, Qt::LeftButton, {}, QPoint(6, waiting->btn24Hours->height() / 2));
        QCOMPARE(waiting->hours, QStringLiteral("24"));
        QTest::mouseClick(waiting->btnSetTheTime, Qt::LeftButton);
        QTRY_VERIFY2(prefs().boolForKey(PrefKey::isPinSeted), qPrintable(lastAlert()));
        QTRY_VERIFY(noSheet<setWaitingTimeWC>());
        QVERIFY(sidebar()->pinSwitch->isChecked());
        QVERIFY(prefs().boolForKey(PrefKey::isPinEnable));
        QVERIFY(!preferencesFile().contains(QStringLiteral("123456")));
        QVERIFY(!bed->log.contains(QStringLiteral("123456")));
        // The server will not drop the PIN without a fresh check.
        const ServerAnswer removal = bed->api(QStringLiteral("removepin"));
        QVERIFY(!removal.accepted());
        QCOMPARE(removal.msg(), QStringLiteral("Please verify your pin first."));

        // Turning protection off now goes through the gate.
        auto *protection = qobject_cast<ProtectionViewController *>(mainContent()->detail());
        QTest::mouseClick(protection->btnProtectionOnOff, Qt::LeftButton);
        QTRY_COMPARE(protection->protection, Protection::on);
        QTest::mouseClick(protection->btnProtectionOnOff, Qt::LeftButton);
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        QCOMPARE(gate()->pendingPinAction(), PinAction::ProtectionOff);
        QCOMPARE(attemp(), 1);
        enterPin(verify, QStringLiteral("000000"));
        QTRY_COMPARE(lastAlert(), QStringLiteral("This PIN is not right. Please try again."));
        QCOMPARE(attemp(), 2);
        QCOMPARE(protection->protection, Protection::on);
        QVERIFY(verify->isVisible());
        enterPin(verify, QStringLiteral("123456"));
        QTRY_COMPARE(protection->protection, Protection::off);
        QTRY_VERIFY(!verify->isVisible());
        QCOMPARE(bed->env.readFile(QStringLiteral("fake-state/networksetup/dns/Ethernet")), QString());
        QCOMPARE(attemp(), 1);
    }

    void hiddenPinNeverLeaves()
    {
        bed->openMain();
        QTest::mouseClick(sidebar()->pinSwitch, Qt::LeftButton);
        auto *setup = sheet<PinProtectionWC>();
        QVERIFY(setup);
        QTest::mouseClick(setup->btnRandomPin, Qt::LeftButton);
        const QString first = setup->PinTextField->text();
        QCOMPARE(first.size(), 6);
        QCOMPARE(setup->PinTextField->echoMode(), QLineEdit::Password);
        verifyNotExposed(setup->PinTextField, first);
        // Any edit starts over, in clear; a seventh digit is not an edit.
        QTest::keyClick(setup->PinTextField, Qt::Key_7);
        QCOMPARE(setup->PinTextField->text(), first);
        QTest::keyClick(setup->PinTextField, Qt::Key_Backspace);
        QCOMPARE(setup->PinTextField->text(), QString());
        QCOMPARE(setup->PinTextField->echoMode(), QLineEdit::Normal);

        QTest::mouseClick(setup->btnRandomPin, Qt::LeftButton);
        const QString pin = setup->PinTextField->text();
        QTest::mouseClick(setup->btnSetPin, Qt::LeftButton);
        // A hidden PIN cannot be typed again: straight to the waiting time.
        auto *waiting = sheet<setWaitingTimeWC>();
        QVERIFY(waiting);
        QTest::mouseClick(waiting->btnForever, Qt::LeftButton, {}, QPoint(6, waiting->btnForever->height() / 2));
        QCOMPARE(waiting->hours, QStringLiteral("175200"));
        QTest::mouseClick(waiting->btnSetTheTime, Qt::LeftButton);
        QTRY_VERIFY2(prefs().boolForKey(PrefKey::isPinSeted), qPrintable(lastAlert()));
        QVERIFY(serverAccepts(pin));
        QVERIFY(!preferencesFile().contains(pin));
        QVERIFY(!bed->log.contains(pin));
        QVERIFY(bed->log.contains(QStringLiteral("Setup Pin Model Response - ")));
    }

    void startUpDialogCountsAttemptsAndHoldsTheMainWindow()
    {
        bed->pinOnServer(QStringLiteral("246810"));
        VerifyPinOnStart *start = launchWithPin();
        QVERIFY(start);
        // Escape, Cancel and the window's close button cannot get past it: the window goes to
        // the tray, and opening it from there (as the tray's item does) asks again.
        const std::function<void(VerifyPinOnStart *)> dismissals[] = {
            [](VerifyPinOnStart *w) { QTest::keyClick(w, Qt::Key_Escape); },
            [](VerifyPinOnStart *w) { QTest::mouseClick(w->btnCancel, Qt::LeftButton); },
            [](VerifyPinOnStart *w) { w->close(); }};
        for (const auto &dismiss : dismissals) {
            dismiss(start);
            QTRY_VERIFY(!bed->main->window()->isVisible());
            QVERIFY(!common().presented(CommmonFunction::VerifyPinOnStartSlot));
            bed->main->showWindow();
            common().showVerifyPinOnStart();
            QTRY_VERIFY(common().presented(CommmonFunction::VerifyPinOnStartSlot) &&
                        common().presented(CommmonFunction::VerifyPinOnStartSlot) != start);
            start = sheet<VerifyPinOnStart>();
            QVERIFY(start);
        }
        QVERIFY(!mainContent());

        // Four wrong PINs count up; the fifth blocks the PIN and the counter starts over.
        for (int i = 1; i <= 5; ++i) {
            enterPin(start, QStringLiteral("000000"));
            QTRY_COMPARE(bed->alerts.alerts.size(), i);
            QCOMPARE(attemp(), i < 5 ? i + 1 : 1);
        }
        QCOMPARE(lastAlert(), QStringLiteral("Your PIN has been blocked."));
        // Blocked with a low counter: it stays.
        enterPin(start, QStringLiteral("246810"));
        QTRY_COMPARE(bed->alerts.alerts.size(), 6);
        QCOMPARE(lastAlert(), QStringLiteral("Your PIN has been blocked."));
        QCOMPARE(attemp(), 1);
        QVERIFY(!mainContent());

        bed->server.advance(16 * 60);
        enterPin(start, QStringLiteral("246810"));
        QTRY_VERIFY(mainContent());
        QCOMPARE(bed->main->window()->minimumSize(), QSize(800, 500));
        QCOMPARE(bed->main->window()->maximumSize(), QSize(800, 500));
        QCOMPARE(attemp(), 1);
        QVERIFY(!common().presented(CommmonFunction::VerifyPinOnStartSlot));
    }

    void retrievalFromTheStartUpDialog()
    {
        bed->pinOnServer(QStringLiteral("864209"), QStringLiteral("12"));
        VerifyPinOnStart *start = launchWithPin();
        QVERIFY(start);
        QTest::mouseClick(start->btnRetrieve, Qt::LeftButton);
        auto *page = sheet<RetrivePinPage>();
        QVERIFY(page);
        QVERIFY2(page->lblMessage->text().startsWith(QLatin1String("Your pin will be e-mailed to you on ")),
                 qPrintable(page->lblMessage->text()));
        QVERIFY(!start->isVisible());
        QVERIFY(!mainContent());
        QTest::mouseClick(page->btnBack, Qt::LeftButton);
        QTRY_VERIFY(start->isVisible());
        QCOMPARE(common().presented(CommmonFunction::VerifyPinOnStartSlot), start);

        // Nothing before the waiting time; the e-mail once it is over.
        settle(300);
        QVERIFY(bed->server.mails().isEmpty());
        bed->server.advance(12 * 3600 + 60);
        QTRY_VERIFY_WITH_TIMEOUT(!bed->server.mails().isEmpty(), 10000);
        QVERIFY(bed->server.mails().last().contains(QStringLiteral("864209")));
    }

    void disablePinThroughTheGate()
    {
        bed->pinOnServer(QStringLiteral("135790"));
        bed->openMain();
        QTRY_VERIFY(sidebar()->pinSwitch->isChecked());
        QVariantList posted;
        QObject observer;
        NotificationCenter::defaultCenter().addObserver(&observer, QStringLiteral("pin_protection_off"),
                                                        [&](const QVariant &v) { posted << v; });

        // Leaving the choice by Escape: the switch shows the stored truth again.
        QTest::mouseClick(sidebar()->pinSwitch, Qt::LeftButton);
        auto *choice = sheet<PinProtectionOff>();
        QVERIFY(choice);
        QTest::keyClick(choice, Qt::Key_Escape);
        QTRY_VERIFY(sidebar()->pinSwitch->isChecked());
        QVERIFY(prefs().boolForKey(PrefKey::isPinEnable));

        // Cancelling the gate puts it back as well.
        QTest::mouseClick(sidebar()->pinSwitch, Qt::LeftButton);
        choice = sheet<PinProtectionOff>();
        QTest::mouseClick(choice->btnDisablePin, Qt::LeftButton);
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        QCOMPARE(gate()->pendingPinAction(), PinAction::DisablePin);
        posted.clear();
        QTest::mouseClick(verify->btnCancel, Qt::LeftButton);
        QCOMPARE(posted, QVariantList{true});
        QVERIFY(sidebar()->pinSwitch->isChecked());
        QVERIFY(!verify->isVisible());

        // The right PIN removes it, on the server too.
        QTest::mouseClick(sidebar()->pinSwitch, Qt::LeftButton);
        QTest::mouseClick(sheet<PinProtectionOff>()->btnDisablePin, Qt::LeftButton);
        verify = sheet<VerifyPin>();
        enterPin(verify, QStringLiteral("135790"));
        QTRY_VERIFY(!bed->alerts.alerts.isEmpty());
        QCOMPARE(bed->alerts.alerts.last(), (QPair<QString, QString>("Pin removed", "")));
        QVERIFY(!prefs().boolForKey(PrefKey::isPinSeted));
        bed->alerts.actions.last()();
        QVERIFY(!sidebar()->pinSwitch->isChecked());
        QVERIFY(!prefs().boolForKey(PrefKey::isPinEnable));
        QVERIFY(!verify->isVisible());
        QCOMPARE(bed->api(QStringLiteral("checkPin"), {{"user_id", QString::number(bed->account.id)}, {"attempt", "1"}, {"pin", "135790"}})
                     .msg(),
                 QStringLiteral("No pin is set for this account."));
    }

    void refusedRemovalLeavesTheSwitchOn()
    {
        bed->pinOnServer(QStringLiteral("135790"));
        bed->openMain();
        prefs().setBool(PrefKey::isPinEnable, false);
        QDialog *choice = common().makeWindow(QStringLiteral("PinProtectionOff"));
        QVERIFY(common().beginSheet(choice));
        QTest::mouseClick(qobject_cast<PinProtectionOff *>(choice)->btnDisablePin, Qt::LeftButton);
        // No PIN asked for; the server wants a fresh check and says so.
        QVERIFY(noSheet<VerifyPin>());
        QTRY_COMPARE(bed->alerts.alerts.size(), 1);
        QCOMPARE(bed->alerts.alerts.first(), (QPair<QString, QString>("Ooops", "Please verify your pin first.")));
        QTRY_VERIFY(sidebar()->pinSwitch->isChecked());
        QVERIFY(prefs().boolForKey(PrefKey::isPinSeted));
        QVERIFY(serverAccepts(QStringLiteral("135790")));
    }

    void uninstallThroughTheGate()
    {
        bed->pinOnServer(QStringLiteral("975310"));
        bed->openMain();
        const QString exe = bed->env.path(QStringLiteral("install/bin/nimbrel"));
        bed->env.writeFile(QStringLiteral("install/bin/nimbrel"), "binary");
        auto *protection = qobject_cast<ProtectionViewController *>(mainContent()->detail());
        protection->installedApplication = InstalledApplication({exe}, exe, exe);
        QList<int> exits;
        protection->exitProcess = [&](int status) { exits << status; };

        QTest::mouseClick(protection->btnUninstall, Qt::LeftButton);
        QCOMPARE(bed->alerts.choices.size(), 1); // "Uninstall Nimbrel?", answered Uninstall
        bed->alerts.choiceActions.last()(0);
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        QCOMPARE(gate()->pendingPinAction(), PinAction::Uninstall);
        QVERIFY(QFile::exists(exe));
        enterPin(verify, QStringLiteral("975310"));
        QTRY_COMPARE(exits, QList<int>{0});
        QVERIFY(!QFile::exists(exe));
        QVERIFY(prefs().boolForKey(PrefKey::isLoggedOut));
        QVERIFY(!prefs().boolForKey(PrefKey::isLogin));
        // Signed out for real: the token is revoked.
        QCOMPARE(bed->api(QStringLiteral("removepin")).status, 401);
    }

    void otherScreensPlugIntoTheGate_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("notification");
        QTest::newRow("application") << int(PinAction::UnblockApplication) << "BlockAppSwitchState";
        QTest::newRow("website") << int(PinAction::UnblockWebsite) << "BlackListWebsiteState";
        QTest::newRow("category") << int(PinAction::UnblockCategory) << "BlockCategorySwitchState";
    }
    void otherScreensPlugIntoTheGate()
    {
        QFETCH(int, code);
        QFETCH(QString, notification);
        bed->pinOnServer(QStringLiteral("112358"));
        bed->openMain();
        QVERIFY(prefs().boolForKey(PrefKey::isPinEnable));
        GatedScreenDouble screen;
        QVariantList posted;
        QObject observer;
        NotificationCenter::defaultCenter().addObserver(&observer, notification,
                                                        [&](const QVariant &v) { posted << v; });

        gate()->ask(PinAction::Code(code), &screen);
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        PinGatedScreen *backReference = code == PinAction::UnblockApplication ? gate()->blockAppsViewController
                                        : code == PinAction::UnblockWebsite   ? gate()->blackListWebsitesViewController
                                                                              : gate()->categoryBlockingViewController;
        QCOMPARE(backReference, &screen);
        QTest::mouseClick(verify->btnCancel, Qt::LeftButton);
        QCOMPARE(posted, QVariantList{true});
        QVERIFY(screen.performed.isEmpty());

        // Verify pressed twice carries the change out once.
        gate()->ask(PinAction::Code(code), &screen);
        QVERIFY(sheet<VerifyPin>());
        verify->pinTF->clear();
        QTest::keyClicks(verify->pinTF, QStringLiteral("112358"));
        QTest::mouseClick(verify->btnVerify, Qt::LeftButton);
        QTest::mouseClick(verify->btnVerify, Qt::LeftButton);
        QTest::keyClick(verify->pinTF, Qt::Key_Return);
        QTRY_COMPARE(screen.performed, QList<int>{code});
        QTRY_VERIFY(!verify->isVisible());
        settle(300);
        QCOMPARE(screen.performed, QList<int>{code});

        // Without PIN protection the change happens at once.
        prefs().setBool(PrefKey::isPinEnable, false);
        gate()->ask(PinAction::Code(code), &screen);
        QCOMPARE(screen.performed, (QList<int>{code, code}));
        QVERIFY(!verify->isVisible());
    }

    void signOutGoesThroughThePin()
    {
        bed->pinOnServer(QStringLiteral("246802"));
        bed->openMain();
        const auto askToSignOut = [&] {
            sidebar()->btnProtectionOnOffTapped(sidebar()->item(6));
            QVERIFY(!bed->alerts.choiceActions.isEmpty()); // "Are you sure?", answered Ok
            bed->alerts.choiceActions.takeLast()(0);
        };
        const auto stillSignedIn = [&] {
            QVERIFY(mainContent());
            QVERIFY(prefs().boolForKey(PrefKey::isLogin));
            QVERIFY(!prefs().stringForKey(PrefKey::loginToken).value_or(QString()).isEmpty());
            QVERIFY(bed->api(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}}).accepted());
        };

        askToSignOut();
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        QCOMPARE(gate()->pendingPinAction(), PinAction::Logout);
        QTest::mouseClick(verify->btnCancel, Qt::LeftButton);
        QVERIFY(!verify->isVisible());
        settle(200);
        stillSignedIn();

        askToSignOut();
        verify = sheet<VerifyPin>();
        enterPin(verify, QStringLiteral("000000"));
        QTRY_COMPARE(lastAlert(), QStringLiteral("This PIN is not right. Please try again."));
        stillSignedIn();

        enterPin(verify, QStringLiteral("246802"));
        QTRY_VERIFY(bed->onLaunchScreen());
        QVERIFY(!verify->isVisible());
        QVERIFY(prefs().boolForKey(PrefKey::isLoggedOut));
        QVERIFY(!prefs().boolForKey(PrefKey::isLogin));
        // The PIN stays with this computer; the server revoked the session.
        QVERIFY(prefs().boolForKey(PrefKey::isPinSeted));
        QCOMPARE(bed->api(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}}).status, 401);
    }

    void noPinDialogWhileSignedOut_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("notification");
        QTest::newRow("protection off") << int(PinAction::ProtectionOff) << "";
        QTest::newRow("quit") << int(PinAction::Quit) << "";
        QTest::newRow("remove the PIN") << int(PinAction::DisablePin) << "pin_protection_off";
        QTest::newRow("application") << int(PinAction::UnblockApplication) << "BlockAppSwitchState";
        QTest::newRow("website") << int(PinAction::UnblockWebsite) << "BlackListWebsiteState";
        QTest::newRow("category") << int(PinAction::UnblockCategory) << "BlockCategorySwitchState";
    }
    void noPinDialogWhileSignedOut()
    {
        QFETCH(int, code);
        QFETCH(QString, notification);
        bed->pinOnServer(QStringLiteral("112358"));
        bed->openMain();
        QVariantList posted;
        QObject observer;
        if (!notification.isEmpty())
            NotificationCenter::defaultCenter().addObserver(&observer, notification,
                                                            [&](const QVariant &v) { posted << v; });
        GatedScreenDouble screen;
        int changes = 0;
        const auto ask = [&] {
            if (code >= PinAction::UnblockApplication && code <= PinAction::UnblockCategory)
                return gate()->ask(PinAction::Code(code), &screen);
            return gate()->ask(PinAction::Code(code), [&](PinGate::Finish finish) {
                ++changes;
                finish(true);
            });
        };
        const QString why = QStringLiteral("Sign in first: your PIN is checked with your account.");

        // The session ends while the dialog is open: the PIN is not sent.
        QVERIFY(ask());
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        prefs().setString(PrefKey::loginToken, QString());
        enterPin(verify, QStringLiteral("112358"));
        QCOMPARE(lastAlert(), why);
        QVERIFY(!verify->isVisible());
        QTRY_VERIFY(common().presented(CommmonFunction::LogInSlot));
        QCOMPARE(posted, notification.isEmpty() ? QVariantList() : QVariantList{true});

        // Asked while signed out: no dialog at all, the requester's control goes back.
        common().dismissPresented(CommmonFunction::LogInSlot);
        posted.clear();
        bed->alerts.alerts.clear();
        QVERIFY(!ask());
        QVERIFY(!verify->isVisible());
        QCOMPARE(lastAlert(), why);
        QCOMPARE(posted, notification.isEmpty() ? QVariantList() : QVariantList{true});
        QTRY_VERIFY(common().presented(CommmonFunction::LogInSlot));
        settle(200);
        QCOMPARE(changes, 0);
        QVERIFY(screen.performed.isEmpty());
        QVERIFY(!bed->log.contains(QStringLiteral("checkPin")));
        // Nothing was wiped by a refused check.
        QVERIFY(prefs().boolForKey(PrefKey::isPinSeted));
        QVERIFY(prefs().boolForKey(PrefKey::isPinEnable));
    }

    void oneRequestAtATime()
    {
        bed->pinOnServer(QStringLiteral("271828"));
        bed->openMain();
        QMap<QString, QVariantList> posted;
        QObject observer;
        for (const char *name : {"BlackListWebsiteState", "BlockCategorySwitchState"})
            NotificationCenter::defaultCenter().addObserver(&observer, QString::fromLatin1(name),
                                                            [&posted, name](const QVariant &v) { posted[name] << v; });
        GatedScreenDouble website, otherWebsite, category;
        bool quitRan = false;
        const auto quit = [&](PinGate::Finish finish) {
            quitRan = true;
            finish(true);
        };

        QVERIFY(gate()->ask(PinAction::UnblockWebsite, &website));
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        QVERIFY(gate()->isAsking());
        // A tray Quit, another site and a category meanwhile: each refused, the first keeps its place.
        QVERIFY(!gate()->ask(PinAction::Quit, quit));
        QVERIFY(!gate()->ask(PinAction::UnblockWebsite, &otherWebsite));
        QVERIFY(!gate()->ask(PinAction::UnblockCategory, &category));
        QCOMPARE(gate()->pendingPinAction(), PinAction::UnblockWebsite);
        QCOMPARE(gate()->blackListWebsitesViewController, &website);
        QVERIFY(gate()->categoryBlockingViewController != &category);
        QCOMPARE(posted.value("BlackListWebsiteState"), QVariantList{true});
        QCOMPARE(posted.value("BlockCategorySwitchState"), QVariantList{true});
        QVERIFY(verify->isVisible());
        QCOMPARE(sheet<VerifyPin>(), verify);
        QVERIFY(bed->main->window()->isVisible());

        enterPin(verify, QStringLiteral("271828"));
        QTRY_COMPARE(website.performed, QList<int>{PinAction::UnblockWebsite});
        QTRY_VERIFY(!verify->isVisible());
        QVERIFY(!gate()->isAsking());
        QVERIFY(!quitRan);
        QVERIFY(otherWebsite.performed.isEmpty());
        QVERIFY(category.performed.isEmpty());

        // Once it is answered (or cancelled), the next request is asked for.
        QVERIFY(gate()->ask(PinAction::Quit, quit));
        QVERIFY(sheet<VerifyPin>());
        QTest::keyClick(verify, Qt::Key_Escape);
        QTRY_VERIFY(!gate()->isAsking());
        QVERIFY(gate()->ask(PinAction::Quit, quit));
        enterPin(sheet<VerifyPin>(), QStringLiteral("271828"));
        QTRY_VERIFY(quitRan);
    }

    void shortPinIsNotAnAttempt()
    {
        bed->pinOnServer(QStringLiteral("314159"));
        bed->openMain();
        GatedScreenDouble screen;
        QVERIFY(gate()->ask(PinAction::UnblockWebsite, &screen));
        auto *verify = sheet<VerifyPin>();
        QVERIFY(verify);
        // More tries than the server allows before it blocks the PIN: none of them is sent.
        const QStringList notPins{"", "3", "31415", "+31415", "-1", "", "31415"};
        for (const QString &typed : notPins) {
            enterPin(verify, typed);
            QCOMPARE(lastAlert(), QStringLiteral("Please enter your 6 digit pin."));
        }
        QCOMPARE(bed->alerts.alerts.size(), notPins.size());
        QTest::keyClick(verify->pinTF, Qt::Key_Return);
        QCOMPARE(bed->alerts.alerts.size(), notPins.size() + 1);
        settle(200);
        QVERIFY(!bed->log.contains(QStringLiteral("checkPin")));
        QCOMPARE(attemp(), 1);
        QVERIFY(verify->isVisible());
        enterPin(verify, QStringLiteral("314159"));
        QTRY_COMPARE(screen.performed, QList<int>{PinAction::UnblockWebsite});
        QCOMPARE(attemp(), 1);
    }

    void changePin()
    {
        bed->pinOnServer(QStringLiteral("111222"));
        bed->openMain();
        QTRY_VERIFY(sidebar()->pinSwitch->isChecked());
        QTest::mouseClick(sidebar()->pinSwitch, Qt::LeftButton);
        QTest::mouseClick(sheet<PinProtectionOff>()->btnChangePin, Qt::LeftButton);
        auto *change = sheet<ChangePin>();
        QVERIFY(change);
        QTRY_VERIFY(sidebar()->pinSwitch->isChecked());

        QTest::keyClicks(change->oldPinTF, QStringLiteral("111222"));
        QTest::keyClicks(change->newPinTF, QStringLiteral("333444"));
        QTest::keyClicks(change->confirmPinTF, QStringLiteral("333445"));
        QTest::mouseClick(change->btnSubmit, Qt::LeftButton);
        QCOMPARE(lastAlert(), QStringLiteral("Confirm password not matching"));

        // A hidden new PIN: no eye, no confirmation, and any edit starts over.
        QTest::mouseClick(change->btnRandomPin, Qt::LeftButton);
        QVERIFY(change->confirmPinTF->isHidden());
        QVERIFY(change->newPinTF->toggleButton()->isHidden());
        QCOMPARE(change->newPinTF->echoMode(), QLineEdit::Password);
        const QString first = change->newPinTF->text();
        verifyNotExposed(change->newPinTF, first);
        change->newPinTF->setPasswordIsVisible(true);
        QCOMPARE(change->newPinTF->echoMode(), QLineEdit::Password);
        QTest::keyClick(change->newPinTF, Qt::Key_Backspace);
        QCOMPARE(change->newPinTF->text(), QString());
        QVERIFY(!change->confirmPinTF->isHidden());
        QVERIFY(!change->newPinTF->toggleButton()->isHidden());

        QTest::mouseClick(change->btnRandomPin, Qt::LeftButton);
        const QString hidden = change->newPinTF->text();
        QTest::mouseClick(change->btnSubmit, Qt::LeftButton);
        QTRY_VERIFY2(noSheet<ChangePin>(), qPrintable(lastAlert()));
        QVERIFY(prefs().boolForKey(PrefKey::isPinSeted));
        QVERIFY(sidebar()->pinSwitch->isChecked());
        QVERIFY(serverAccepts(hidden));
        QVERIFY(!serverAccepts(QStringLiteral("111222")));
        QVERIFY(!bed->log.contains(hidden));
        QVERIFY(!preferencesFile().contains(hidden));
    }
};

QTEST_MAIN(TestPinServer)
#include "tst_pinserver.moc"
