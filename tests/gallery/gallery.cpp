// Renders every screen and sheet offscreen to PNG, in English and in French:
//   nimbrel_gallery <output folder>
// Fake command-line tools stand in for the system, so nothing on the machine is changed.
#include "FakeClock.h"
#include "FakeFlagSource.h"
#include "StubHttpServer.h"
#include "TestEnvironment.h"
#include "ServerProcess.h"
#include "account/EditAccountWindowController.h"
#include "account/TermsAndConditions.h"
#include "api/ApiManager.h"
#include "api/FocusState.h"
#include "app/AppMain.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "app/ViewController.h"
#include "controls/ZelSecureTextField.h"
#include "focus/FocusViewController.h"
#include "lists/BlackListWebsitesViewController.h"
#include "lists/CategoriesBlockingViewController.h"
#include "pin/ChangePin.h"
#include "pin/ConfirmPin.h"
#include "pin/PinGate.h"
#include "pin/PinProtectionOff.h"
#include "pin/PinProtectionWC.h"
#include "pin/RetrivePinPage.h"
#include "pin/VerifyPinOnStart.h"
#include "pin/setWaitingTimeWC.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "platform/macos/NetworkSetupResolver.h"
#include "platform/Workspace.h"
#include "protection/ApplicationBlocker.h"
#include "protection/BlockPage.h"
#include "protection/DNSConfiguration.h"
#include "protection/ProtectionAlerts.h"
#include "protection/ProtectionViewController.h"
#include "settings/FAQWC.h"
#include "settings/LiveChat.h"
#include "settings/PrivacyWC.h"
#include "records/RecordCodec.h"
#include "settings/SegmentedControl.h"
#include "settings/SettingsViewController.h"
#include "settings/TermsWC.h"
#include "settings/WebWindow.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"
#include "ui/PlaceholderSheet.h"
#include "ui/SheetDialog.h"
#include "ui/Style.h"
#include "ui/WebContentLoader.h"
#include "ui/WindowAlertPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QUdpSocket>
#include <QDir>
#include <QJsonDocument>
#include <QFile>
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

// Installed applications as a desktop would list them, with icons drawn here.
class GalleryWorkspace : public Workspace
{
public:
    explicit GalleryWorkspace(const QString &iconFolder)
    {
        const QList<std::tuple<QString, QString, QString>> apps = {
            {QStringLiteral("Discord"), QStringLiteral("#5865f2"), QStringLiteral("D")},
            {QStringLiteral("Firefox Web Browser"), QStringLiteral("#ff7139"), QStringLiteral("F")},
            {QStringLiteral("GIMP Image Editor"), QStringLiteral("#7d6b5d"), QStringLiteral("G")},
            {QStringLiteral("LibreOffice Writer"), QStringLiteral("#2a6fc9"), QStringLiteral("W")},
            {QStringLiteral("Minetest"), QStringLiteral("#4e9a06"), QStringLiteral("M")},
            {QStringLiteral("Signal"), QStringLiteral("#3a76f0"), QStringLiteral("S")},
            {QStringLiteral("Steam"), QStringLiteral("#1b2838"), QStringLiteral("S")},
            {QStringLiteral("Telegram Desktop"), QStringLiteral("#2aabee"), QStringLiteral("T")},
            {QStringLiteral("Thunderbird Mail"), QStringLiteral("#0a84ff"), QStringLiteral("T")},
            {QStringLiteral("VLC media player"), QStringLiteral("#ff8800"), QStringLiteral("V")},
        };
        for (const auto &[name, colour, letter] : apps) {
            const QString file = iconFolder + QLatin1Char('/') + name + QStringLiteral(".svg");
            QFile svg(file);
            if (svg.open(QIODevice::WriteOnly))
                svg.write(QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='48' height='48'>"
                                         "<rect x='2' y='2' width='44' height='44' rx='11' fill='%1'/>"
                                         "<text x='24' y='33' font-family='DejaVu Sans' font-size='24' font-weight='bold'"
                                         " fill='white' text-anchor='middle'>%2</text></svg>")
                              .arg(colour, letter)
                              .toUtf8());
            InstalledApp app;
            app.id = name.toLower();
            app.name = name;
            app.iconFile = file;
            m_apps << app;
        }
    }
    QList<InstalledApp> installedApplications() override { return m_apps; }
    QuitOutcome quitApplication(const QString &) override { return {}; }

private:
    QList<InstalledApp> m_apps;
};

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
        faq.faqPageURL = inInterfaceLanguage(page("/faq"));
        saveWebWindow(&faq, QStringLiteral("web-faq"), language);
    }
    {
        BlockPageRequest request;
        request.request(QStringLiteral("Solitaire"));
        FAQWC blocked(&loader, main.window(), request);
        saveWebWindow(&blocked, QStringLiteral("web-block-page"), language);
    }
    {
        TermsWC terms(&loader, main.window());
        terms.termsUrl = inInterfaceLanguage(page("/en/conditions-dutilisation/"));
        terms.resize(900, 640);
        saveWebWindow(&terms, QStringLiteral("web-terms"), language);
    }
    {
        PrivacyWC privacy(&loader, main.window());
        privacy.privacyUrl = inInterfaceLanguage(page("/en/android-privacy-policy/"));
        saveWebWindow(&privacy, QStringLiteral("web-privacy"), language);
    }
    server.stop();

    // Where a new account lands after sign-up.
    main.window()->setContent(new TermsAndConditions);
    main.window()->setFixedContentSize(795, 590);
    save(main.window(), QStringLiteral("terms-and-conditions"), language);
}

// The two list screens read their rows from a scripted server: empty, 3 rows and 12 rows.
class ListsGallery
{
public:
    explicit ListsGallery(const QString &language)
        : m_french(language == QStringLiteral("fr"))
    {
        SyncURLModel sync;
        sync.lockSeconds = 0; // a server that keeps focus sessions
        m_server.answer(QStringLiteral("sync-url"), 200, envelope(sync));
        setRows(0);
        ApiManager::shared().setApiBase(m_server.apiBase());
        ApiManager::shared().setupReachability(std::make_shared<FakeFlagSource>(ReachabilityFlag::Reachable));
    }
    ~ListsGallery() { ApiManager::resetShared(); }

    void setRows(int count)
    {
        static const char *const domains[] = {"www.example.com", "news.example.net", "video.example.org",
                                              "shop.example.com", "www.forum.example.net", "games.example.org",
                                              "chat.example.com", "music.example.net", "bets.example.org",
                                              "www.social.example.com", "stream.example.net", "mail.example.org"};
        static const char *const names[][2] = {
            {"Adult content", "Contenu pour adultes"}, {"Gambling", "Jeux d'argent"},
            {"Social networks", "Réseaux sociaux"},    {"Games", "Jeux vidéo"},
            {"Dating", "Rencontres"},                  {"Streaming video", "Vidéo en streaming"},
            {"Shopping", "Achats en ligne"},           {"News", "Actualités"},
            {"Weapons", "Armes"},                      {"Drugs", "Drogues"},
            {"Violence", "Violence"},                  {"Proxies and VPNs", "Proxys et VPN"}};
        BlockWebsiteModel page;
        page.currentPage = 1;
        page.lastPage = 1;
        page.perPage = 100;
        CategoryList categories;
        for (int i = 0; i < count; ++i) {
            page.data.append({i + 1, 7, QString::fromLatin1(domains[i]), QStringLiteral("2026-12-01 09:00:00"),
                              QStringLiteral("2026-12-01 09:00:00"), {}});
            categories.append({i + 1, QString::fromUtf8(names[i][m_french ? 1 : 0]), QStringLiteral("c%1").arg(i + 1),
                               i % 3 == 0 ? 1 : 0});
        }
        m_server.answer(QStringLiteral("getblockwebsitebyuser?page=1"), 200, envelope(page));
        m_server.answer(QStringLiteral("category"), 200, envelope(categories));
    }
    void setFocus(const FocusStatusModel &status) { m_server.answer(QStringLiteral("focus-status"), 200, envelope(status)); }

private:
    template <class T> static QByteArray envelope(const T &data)
    {
        BaseModel<T> record{true, 200, QStringLiteral("OK"), QStringLiteral("3.0"), data};
        return QJsonDocument(encodeRecord(record)).toJson(QJsonDocument::Compact);
    }

    StubHttpServer m_server;
    bool m_french;
};

template <class Screen> void renderList(SplitViewController *split, QWidget *window, ListsGallery &lists, int tag,
                                        const QString &name, const QString &language)
{
    for (int count : {0, 3, 12}) {
        lists.setRows(count);
        split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(tag));
        auto *screen = qobject_cast<Screen *>(split->detail());
        if (!screen) {
            QTextStream(stderr) << "no screen for " << name << '\n';
            ++failures;
            return;
        }
        screen->requestList();
        if (!QTest::qWaitFor([&] { return !screen->isLoading(); })) {
            QTextStream(stderr) << "no list for " << name << '\n';
            ++failures;
        }
        save(window, QStringLiteral("%1-%2").arg(name).arg(count), language);
    }
}

// The Focus screen with two weekly windows: idle, running a session, and the window editor.
void renderFocus(SplitViewController *split, QWidget *window, ListsGallery &lists, const QString &language)
{
    const bool french = language == QStringLiteral("fr");
    FocusStatusModel status;
    status.schedules = {
        {1, french ? QStringLiteral("Travail") : QStringLiteral("Work hours"), {1, 2, 3, 4, 5}, QStringLiteral("09:00"),
         QStringLiteral("17:00"), QStringLiteral("Europe/Paris"), {QStringLiteral("video.example.org")}, {3}, true, false},
        {2, french ? QStringLiteral("Soirées") : QStringLiteral("Evenings"), {1, 3, 5}, QStringLiteral("21:00"),
         QStringLiteral("01:00"), QStringLiteral("Europe/Paris"), {}, {4, 6}, false, false}};
    status.serverTime = QStringLiteral("2026-12-08 09:05:00");
    lists.setRows(12);
    lists.setFocus(status);
    split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(8));
    auto *screen = qobject_cast<FocusViewController *>(split->detail());
    auto *state = window->findChild<FocusState *>();
    if (!screen || !state) {
        QTextStream(stderr) << "no Focus screen\n";
        ++failures;
        return;
    }
    if (!QTest::qWaitFor([&] { return !screen->isBusy() && state->schedules().size() == 2; }))
        QTextStream(stderr) << "no Focus status\n", ++failures;
    save(window, QStringLiteral("main-focus-idle"), language);

    status.focus = FocusSessionModel{QStringLiteral("2026-12-08 09:05:00"), QStringLiteral("2026-12-08 09:30:00"), 1499,
                                     {QStringLiteral("news.example.net")}, {2, 4}};
    status.lockSeconds = 1499;
    lists.setFocus(status);
    state->refresh();
    if (!QTest::qWaitFor([&] { return state->session().has_value(); }))
        QTextStream(stderr) << "no running session\n", ++failures;
    save(window, QStringLiteral("main-focus-running"), language);

    screen->editSchedule(0);
    if (ScheduleEditor *editor = screen->editor()) {
        save(editor, QStringLiteral("sheet-focus-window"), language);
        editor->reject();
    } else {
        QTextStream(stderr) << "no window editor\n";
        ++failures;
    }
    // Later screens show no lock.
    lists.setFocus(FocusStatusModel{});
    state->refresh();
    (void)QTest::qWaitFor([&] { return !state->session(); });
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
    prefs.setStringArray(PrefKey::blockedAppDetails, {QStringLiteral("minetest"), QStringLiteral("steam")});
    ApplicationBlocker blocker(std::make_unique<GalleryWorkspace>(env.home()));
    CommmonFunction &common = attachPresenters(main.window(), nullptr, &blocker);

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
    // Alerts of each kind: a failure, and a success.
    CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                     localizedText(QStringLiteral("Your pin has been bloked.")));
    settle();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && qobject_cast<QMessageBox *>(w))
            save(w, QStringLiteral("alert-failure"), language);
    }
    closePopups();
    CommmonFunction::showCommonAlert(localizedText(QStringLiteral("Success")), QStringLiteral("Category unblocked"));
    settle();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && qobject_cast<QMessageBox *>(w))
            save(w, QStringLiteral("alert-success"), language);
    }
    closePopups();

    // The start-up PIN dialog, on the launch screen as a restart with a PIN shows it.
    common.showVerifyPinOnStart();
    settle();
    if (QDialog *pin = common.presented(CommmonFunction::VerifyPinOnStartSlot)) {
        save(pin, QStringLiteral("sheet-verify-pin-on-start"), language);
        auto *page = new RetrivePinPage(
            QStringLiteral("Your pin will be e-mailed to you on 2026-12-08 09:30 (UTC)."), pin, main.window());
        pin->hide();
        common.beginSheet(page);
        save(page, QStringLiteral("sheet-retrieve-pin"), language);
        page->hide();
        page->deleteLater();
    } else {
        QTextStream(stderr) << "no start-up PIN sheet\n";
        ++failures;
    }
    common.dismissPresented(CommmonFunction::VerifyPinOnStartSlot);

    common.openMainContent(QSize(800, 500));
    main.showWindow();
    auto *split = qobject_cast<SplitViewController *>(main.window()->content());
    save(main.window(), QStringLiteral("main-protection-off"), language);

    auto *protection = qobject_cast<ProtectionViewController *>(split->detail());
    // On as the system shows it when the screen appears.
    const QByteArray filter = DNSConfiguration::shared().dnsIP.toLatin1() + '\n';
    env.writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), filter);
    env.writeFile(QStringLiteral("fake-state/networksetup/dns/Wi-Fi"), filter);
    protection->hide();
    protection->show();
    save(main.window(), QStringLiteral("main-protection-on"), language);
    // On, in the clear from an address other accounts share, although the account named this
    // device: this computer lacks what encrypts.
    PreferencesStore::shared().setBool(PrefKey::sharedAddress, true);
    PreferencesStore::shared().setString(PrefKey::dotHost, QStringLiteral("abcdefghijklmnopqrstuvwxya.dot.example.org"));
    protection->hide();
    protection->show();
    save(main.window(), QStringLiteral("main-protection-shared"), language);
    PreferencesStore::shared().setBool(PrefKey::sharedAddress, false);
    PreferencesStore::shared().remove({PrefKey::dotHost});

    ListsGallery lists(language);
    const QList<std::pair<int, QString>> screens = {{2, QStringLiteral("main-app-block-list")},
                                                    {3, QStringLiteral("main-categories")},
                                                    {7, QStringLiteral("main-website-black-list")},
                                                    {4, QStringLiteral("main-settings")}};
    for (const auto &[tag, name] : screens) {
        split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(tag));
        save(main.window(), name, language);
    }

    auto *blockPage = new BlockPage; // deletes itself when closed
    blockPage->setApplication(QStringLiteral("Steam"), Workspace::graceSeconds);
    blockPage->resize(900, 560);
    blockPage->show();
    save(blockPage, QStringLiteral("block-page"), language);
    blockPage->close();

    renderList<CategoriesBlockingViewController>(split, main.window(), lists, 3, QStringLiteral("main-categories"),
                                                 language);
    renderList<BlackListWebsitesViewController>(split, main.window(), lists, 7,
                                                QStringLiteral("main-website-black-list"), language);
    renderFocus(split, main.window(), lists, language);
    split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(4));

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

    // A change under way (here the filter's probe, which waits for its time-out): the switch busy.
    split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(1));
    env.writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
    protection->hide();
    protection->show();
    protection->protection = Protection::off;
    protection->refreshDisplay();
    protection->toggle();
    (void)QTest::qWaitFor([&] { return !protection->btnProtectionOnOff->isEnabled(); }, 3000);
    save(main.window(), QStringLiteral("main-protection-busy"), language);
    (void)QTest::qWaitFor([&] { return protection->btnProtectionOnOff->isEnabled(); }, 8000);
    closePopups();

    // A refused change in the background: the alert every DNS failure shows.
    split->sidebar()->btnProtectionOnOffTapped(split->sidebar()->item(1));
    ProtectionAlerts shown(DNSConfiguration::shared());
    env.writeFile(QStringLiteral("fake-state/networksetup/dns/Ethernet"), "9.9.9.9\n");
    env.writeFile(QStringLiteral("fake-state/networksetup/deny"), "");
    DNSConfiguration::shared().applyOnStartup();
    for (QDeadlineTimer deadline(5000); !newestPopup() && !deadline.hasExpired();)
        QTest::qWait(20);
    if (QWidget *alert = newestPopup())
        save(alert, QStringLiteral("alert-requires-admin"), language);
    closePopups();

    // Switching on while the filter does not answer (nothing listens on its port).
    QFile::remove(env.path(QStringLiteral("fake-state/networksetup/deny")));
    {
        QUdpSocket closed;
        closed.bind(QHostAddress::LocalHost, 0);
        DNSConfiguration::shared().filterPort = closed.localPort();
    }
    protection->hide();
    protection->show();
    protection->toggle();
    QDeadlineTimer deadline(5000);
    while (!newestPopup() && !deadline.hasExpired())
        settle();
    if (QWidget *alert = newestPopup())
        save(alert, QStringLiteral("alert-filter-unreachable"), language);
    closePopups();

    // The PIN sheets, each on the main content as its screen opens it.
    const auto show = [&](QDialog *sheet, const QString &name) {
        common.beginSheet(sheet);
        save(sheet, name, language);
    };
    auto *setup = qobject_cast<PinProtectionWC *>(common.makeWindow(QStringLiteral("PinProtectionWC")));
    QTest::keyClicks(setup->PinTextField, QStringLiteral("4829"));
    show(setup, QStringLiteral("sheet-pin-setup"));
    setup->RandomPin();
    save(setup, QStringLiteral("sheet-pin-setup-hidden"), language);
    setup->reject();
    auto *confirm = new ConfirmPin(QStringLiteral("482913"), main.window());
    show(confirm, QStringLiteral("sheet-pin-confirm"));
    confirm->reject();
    auto *waiting = new setWaitingTimeWC(QStringLiteral("482913"), main.window());
    show(waiting, QStringLiteral("sheet-pin-waiting-time"));
    waiting->reject();
    show(common.makeWindow(QStringLiteral("PinProtectionOff")), QStringLiteral("sheet-pin-off"));
    closePopups();
    auto *change = qobject_cast<ChangePin *>(common.makeWindow(QStringLiteral("ChangePin")));
    show(change, QStringLiteral("sheet-pin-change"));
    change->randomPin();
    save(change, QStringLiteral("sheet-pin-change-hidden"), language);
    change->reject();
    prefs.setBool(PrefKey::isPinEnable, true);
    prefs.setString(PrefKey::loginToken, QStringLiteral("user-token")); // the PIN is asked only signed in
    protection->UninstallApp(protection->btnUninstall);
    // The confirmation first, then the PIN.
    if (auto *confirm = qobject_cast<QMessageBox *>(newestPopup())) {
        save(confirm, QStringLiteral("alert-uninstall"), language);
        confirm->buttons().value(0)->click();
        settle();
    } else {
        QTextStream(stderr) << "no uninstall confirmation\n";
        ++failures;
    }
    if (QWidget *verify = newestPopup())
        save(verify, QStringLiteral("sheet-verify-pin"), language);
    closePopups();

    renderWebWindows(main, language);

    // Any window name nothing has registered opens the placeholder.
    auto *placeholder = common.makeWindow(QStringLiteral("NotYetBuilt"));
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
