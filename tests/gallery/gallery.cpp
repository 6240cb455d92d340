// Renders every screen and sheet offscreen to PNG, in English and in French:
//   nimbrel_gallery <output folder>
// Fake command-line tools stand in for the system, so nothing on the machine is changed.
#include "FakeClock.h"
#include "TestEnvironment.h"
#include "ServerProcess.h"
#include "account/EditAccountWindowController.h"
#include "account/TermsAndConditions.h"
#include "app/AppMain.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "app/ViewController.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "protection/DNSConfiguration.h"
#include "protection/ProtectionViewController.h"
#include "settings/FAQWC.h"
#include "settings/LiveChat.h"
#include "settings/PrivacyWC.h"
#include "settings/SegmentedControl.h"
#include "settings/SettingsViewController.h"
#include "settings/TermsWC.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"
#include "ui/PlaceholderSheet.h"
#include "ui/SheetDialog.h"
#include "ui/Style.h"
#include "ui/WebContentLoader.h"
#include "ui/WindowAlertPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {
QString outputFolder;
int failures = 0;

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(10);
    }
}

// A sheet as the user meets it: drawn on its window, where it was placed.
QPixmap picture(QWidget *widget)
{
    QWidget *under = widget->parentWidget() ? widget->parentWidget()->window() : nullptr;
    if (!qobject_cast<SheetDialog *>(widget) || !under || !under->isVisible())
        return widget->grab();
    QPixmap canvas = under->grab();
    QPainter painter(&canvas);
    painter.drawPixmap(widget->mapToGlobal(QPoint(0, 0)) - under->mapToGlobal(QPoint(0, 0)), widget->grab());
    return canvas;
}

void save(QWidget *widget, const QString &name, const QString &language)
{
    settle();
    const QString file = QStringLiteral("%1/%2-%3.png").arg(outputFolder, name, language);
    if (!picture(widget).save(file)) {
        QTextStream(stderr) << "could not write " << file << '\n';
        ++failures;
    }
}

// The newest top-level dialog or message box, as a screen shows it.
QWidget *newestPopup()
{
    QWidget *found = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && (qobject_cast<QDialog *>(w)))
            found = w;
    }
    return found;
}

void closePopups()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog *>(w))
            w->close();
    }
    settle();
}

// The page of a web window once it has loaded and painted.
void saveWebWindow(WebWindow *window, const QString &name, const QString &language)
{
    window->show();
    QWidget *view = window->webView();
    if (!view) {
        QTextStream(stderr) << "no web view for " << name << " (is the web plugin built?)\n";
        ++failures;
        return;
    }
    QSignalSpy loaded(view, SIGNAL(loadFinished(bool)));
    if (!loaded.wait(30000))
        QTextStream(stderr) << "page of " << name << " did not finish loading\n";
    QTest::qWait(400); // the first frame reaches the widget after the load
    save(window, name, language);
    window->close();
}

void renderWebWindows(MainWindowController &main, const QString &language)
{
    static WebContentLoader loader(QStringList{QStringLiteral(NIMBREL_PLUGIN_DIR)});
    // The operator's pages come from a real nimbrel-server on a free port.
    QTemporaryDir serverData;
    ServerProcess server(QStringLiteral(NIMBREL_SERVER_BINARY), serverData.path());
    if (!server.start()) {
        QTextStream(stderr) << "nimbrel-server did not start: " << server.output() << '\n';
        ++failures;
        return;
    }
    const auto page = [&server](const char *path) {
        QUrl url = server.apiBase();
        url.setPath(QLatin1String(path));
        return url;
    };
    {
        LiveChat chat(&loader, main.window());
        saveWebWindow(&chat, QStringLiteral("web-live-chat"), language);
    }
    {
        FAQWC faq(&loader, main.window());
        faq.faqPageURL = page("/faq");
        saveWebWindow(&faq, QStringLiteral("web-faq"), language);
    }
    {
        isBlockPageRequested = true;
        blockedApplication = QStringLiteral("Solitaire");
        FAQWC blocked(&loader, main.window());
        isBlockPageRequested = false;
        saveWebWindow(&blocked, QStringLiteral("web-block-page"), language);
    }
    {
        TermsWC terms(&loader, main.window());
        terms.termsUrl = page("/en/conditions-dutilisation/");
        terms.resize(900, 640);
        saveWebWindow(&terms, QStringLiteral("web-terms"), language);
    }
    {
        PrivacyWC privacy(&loader, main.window());
        privacy.privacyUrl = page("/en/android-privacy-policy/");
        saveWebWindow(&privacy, QStringLiteral("web-privacy"), language);
    }
    server.stop();

    // Where a new account lands after sign-up.
    main.window()->setContent(new TermsAndConditions);
    main.window()->setFixedContentSize(795, 590);
    save(main.window(), QStringLiteral("terms-and-conditions"), language);
}

void renderLanguage(const QString &language)
{
    TestEnvironment env;
    env.writeFile(QStringLiteral("fake-state/networksetup/services"), "Ethernet\nWi-Fi\n");
    env.writeFile(QStringLiteral("dmi/product_name"), "ThinkPad X1 Carbon Gen 9\n");
    DNSConfiguration::resetShared(std::make_unique<NetworkSetupResolver>());
    PreferencesStore::shared().setString(PrefKey::CurrentLanguage, language);
    WindowAlertPresenter alerts;
    AlertPresenter::setShared(&alerts);

    PreferencesStore &prefs = PreferencesStore::shared();
    prefs.setString(PrefKey::user_email, QStringLiteral("ada.byron@example.org"));
    prefs.setString(PrefKey::user_name, QStringLiteral("Ada Byron"));
    prefs.setString(PrefKey::user_device, QStringLiteral("ThinkPad X1 Carbon"));

    // The launch screen waits for this clock, so it never opens a sheet of its own here.
    FakeClock clock;
    MainWindowController main;
    CommmonFunction &common = attachPresenters(main.window());

    main.window()->setContent(new ViewController(&common));
    main.window()->setFixedContentSize(795, 594);
    main.showWindow();
    save(main.window(), QStringLiteral("launch"), language);

    // The account sheets, each as its presenter shows it: on the launch screen.
    const QList<std::tuple<void (CommmonFunction::*)(), CommmonFunction::Slot, QString>> sheets = {
        {&CommmonFunction::showLogIn, CommmonFunction::LogInSlot, QStringLiteral("sheet-sign-in")},
        {&CommmonFunction::showPassword, CommmonFunction::PasswordSlot, QStringLiteral("sheet-password")},
        {&CommmonFunction::showSignup, CommmonFunction::SignupSlot, QStringLiteral("sheet-sign-up")},
        {&CommmonFunction::showResetPassword, CommmonFunction::ResetPasswordSlot,
         QStringLiteral("sheet-reset-password")}};
    for (const auto &[show, slot, name] : sheets) {
        (common.*show)();
        settle();
        if (QDialog *sheet = common.presented(slot)) {
            save(sheet, name, language);
        } else {
            QTextStream(stderr) << "no sheet for " << name << '\n';
            ++failures;
        }
        common.dismissPresented(slot);
    }
    common.showLogIn();
    settle();
    if (QDialog *sheet = common.presented(CommmonFunction::LogInSlot)) {
        sheet->findChild<QAbstractButton *>(QStringLiteral("btnSignInWithGoogle"))->click();
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && qobject_cast<QMessageBox *>(w))
                save(w, QStringLiteral("alert-social-not-configured"), language);
        }
    }
    closePopups();
    common.dismissPresented(CommmonFunction::LogInSlot);

    common.openMainContent(QSize(800, 500));
    main.showWindow();
    auto *split = qobject_cast<SplitViewController *>(main.window()->content());
    save(main.window(), QStringLiteral("main-protection-off"), language);

    auto *protection = qobject_cast<ProtectionViewController *>(split->detail());
    protection->toggle();
    save(main.window(), QStringLiteral("main-protection-on"), language);

    const QList<std::pair<int, QString>> screens = {{2, QStringLiteral("main-app-block-list")},
                                                    {3, QStringLiteral("main-categories")},
                                                    {7, QStringLiteral("main-website-black-list")},
                                                    {4, QStringLiteral("main-settings")}};
    for (const auto &[tag, name] : screens) {
        split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(tag));
        save(main.window(), name, language);
    }

    if (auto *settings = qobject_cast<SettingsViewController *>(split->detail())) {
        settings->segmentedControl->segment(1)->click();
        save(main.window(), QStringLiteral("main-settings-about"), language);
        settings->segmentedControl->segment(0)->click();
        settings->btnEdit->click();
        save(settings->editAccountSheet, QStringLiteral("sheet-edit-account"), language);
        settings->editAccountSheet->reject();
    } else {
        QTextStream(stderr) << "no settings screen\n";
        ++failures;
    }

    split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(6));
    if (QWidget *confirm = newestPopup())
        save(confirm, QStringLiteral("alert-logout"), language);
    closePopups();

    // A refused change: the alert every DNS failure shows.
    env.writeFile(QStringLiteral("fake-state/networksetup/deny"), "");
    split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(1));
    protection->toggle();
    protection->toggle();
    if (QWidget *alert = newestPopup())
        save(alert, QStringLiteral("alert-requires-admin"), language);
    closePopups();

    renderWebWindows(main, language);

    auto *placeholder = common.makeWindow(QStringLiteral("PinProtectionWC"));
    common.beginSheet(placeholder);
    save(placeholder, QStringLiteral("sheet-not-available"), language);
    closePopups();
    AlertPresenter::setShared(nullptr);
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: nimbrel_gallery <output folder>\n";
        return 2;
    }
    outputFolder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outputFolder);
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("fr")})
        renderLanguage(language);
    QTextStream(stdout) << "gallery written to " << outputFolder << '\n';
    return failures == 0 ? 0 : 1;
}
