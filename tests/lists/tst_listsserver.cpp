// The website blacklist and the category screens as a user meets them, against a real
// nimbrel-server on 127.0.0.1: every step goes through the screens' fields, boxes and
// switches, and the outcome is read back from the server.
#include "DnsTestSupport.h"
#include "ServerTestBed.h"
#include "Settle.h"
#include "app/SidebarViewController.h"
#include "controls/ToggleSwitch.h"
#include "lists/BlackListWebsitesViewController.h"
#include "lists/CategoriesBlockingViewController.h"
#include "pin/VerifyPin.h"
#include "texts/LocalizedText.h"

#include <QCheckBox>
#include <QFrame>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

class TestListsServer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServerTestBed> bed;

    PreferencesStore &prefs() { return PreferencesStore::shared(); }
    SplitViewController *mainContent() { return bed->mainContent(); }
    QString lastAlert() const { return bed->alerts.lastMessage(); }
    QString lastTitle() const { return bed->alerts.lastTitle(); }
    ServerAnswer api(const QString &path, const ServerClient::Form &form = {}) { return bed->api(path, form); }
    QString userID() const { return QString::number(bed->account.id); }

    qint64 addOnServer(const QString &domain)
    {
        const ServerAnswer a =
            api(QStringLiteral("blockwesitebyuser"), {{"user_id", userID()}, {"domain", domain}});
        return a.data().toObject().value(QStringLiteral("id")).toInteger();
    }
    // Every domain the server holds for the user, all pages.
    QStringList serverDomains()
    {
        QStringList domains;
        for (int page = 1; page < 50; ++page) {
            const QJsonValue data =
                api(QStringLiteral("getblockwebsitebyuser?page=%1").arg(page), {{"user_id", userID()}})
                    .data();
            for (const QJsonValue &row : data[QStringLiteral("data")].toArray())
                domains << row[QStringLiteral("domain")].toString();
            if (page >= data[QStringLiteral("last_page")].toInteger())
                break;
        }
        return domains;
    }
    // category id -> blocked, as the server says.
    QMap<qint64, bool> serverCategories(const QByteArray &language = "en", QStringList *names = nullptr)
    {
        QMap<qint64, bool> blocked;
        for (const QJsonValue &row : bed->client->get(QStringLiteral("category"), bed->account.token, language).data().toArray()) {
            blocked.insert(row[QStringLiteral("id")].toInteger(),
                           row[QStringLiteral("is_block_category")].toInt() != 0);
            if (names)
                *names << row[QStringLiteral("name")].toString();
        }
        return blocked;
    }
    template <class Screen> Screen *openScreen(int tag)
    {
        mainContent()->sidebar()->btnProtectionOnOffTapped(mainContent()->sidebar()->item(tag));
        auto *screen = qobject_cast<Screen *>(mainContent()->detail());
        if (screen)
            (void)QTest::qWaitFor([&] { return !screen->isLoading(); });
        return screen;
    }
    BlackListWebsitesViewController *websites() { return openScreen<BlackListWebsitesViewController>(7); }
    CategoriesBlockingViewController *categories() { return openScreen<CategoriesBlockingViewController>(3); }

    WebsiteTableCell *websiteRow(QWidget *screen, const QString &shown)
    {
        for (auto *cell : screen->findChildren<WebsiteTableCell *>())
            if (cell->websiteName()->text() == shown && cell->isVisible())
                return cell;
        return nullptr;
    }
    CategoryCell *categoryRow(QWidget *screen, qint64 id)
    {
        for (auto *cell : screen->findChildren<CategoryCell *>())
            if (cell->categoryID() == id && cell->isVisible())
                return cell;
        return nullptr;
    }
    void clickBox(QCheckBox *box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }
    void clickSwitch(ToggleSwitch *sw) { QTest::mouseClick(sw, Qt::LeftButton); }
    VerifyPin *verifyPin() { return bed->sheet<VerifyPin>(); }
    int tableBoxHeight(QWidget *screen)
    {
        return screen->findChild<QFrame *>(QStringLiteral("tableBox"))->maximumHeight();
    }

private slots:
    void init()
    {
        bed = std::make_unique<ServerTestBed>();
        blockedWebsites().clear();
        QVERIFY(bed->start());
        QVERIFY(bed->signUp());
        prefs().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
    }
    void cleanup()
    {
        bed.reset();
        blockedWebsites().clear();
    }

    void addThroughTheField()
    {
        bed->openMain();
        auto *screen = websites();
        QVERIFY(screen);
        auto *field = screen->findChild<QLineEdit *>(QStringLiteral("websiteTF"));
        auto *add = screen->findChild<QPushButton *>(QStringLiteral("btnADD"));
        QVERIFY(screen->findChild<QLabel *>(QStringLiteral("lblEmptyList"))->isVisible());
        QVERIFY(!screen->findChild<QFrame *>(QStringLiteral("tableBox"))->isVisible());

        // An empty field: the alert, and nothing goes to the server.
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(lastAlert(), QStringLiteral("Please enter website"));
        settle();
        QVERIFY(!bed->log.contains(QStringLiteral("blockwesitebyuser")));

        QTest::keyClicks(field, QStringLiteral("HTTPS://WWW.Example.COM/path?q=1"));
        QTest::mouseClick(add, Qt::LeftButton);
        QTRY_COMPARE(serverDomains(), QStringList{QStringLiteral("example.com")});
        QTRY_VERIFY(websiteRow(screen, QStringLiteral("example.com")));
        QVERIFY(field->text().isEmpty());
        QVERIFY(add->isEnabled());
        QVERIFY(!screen->findChild<QLabel *>(QStringLiteral("lblEmptyList"))->isVisible());
        QCOMPARE(tableBoxHeight(screen), 1 * 47 + 2);

        // A duplicate is the server's to refuse; the field keeps the text.
        QTest::keyClicks(field, QStringLiteral("www.example.com"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(lastTitle(), QStringLiteral("Ooops"));
        QCOMPARE(field->text(), QStringLiteral("www.example.com"));
        QCOMPARE(screen->model().rowCount(), 1);
    }

    // What the list shows is what the filter blocks: the site typed with "www." is blocked with
    // every subdomain, through the server's own DNS.
    void wwwSiteIsBlockedWithItsSubdomains()
    {
        if (DnsTest::Dnsmasq::binary().isEmpty())
            QSKIP("dnsmasq is not installed (Debian package dnsmasq-base; make test installs it)");
        DnsTest::Dnsmasq upstream;
        QString why;
        QVERIFY2(upstream.start(&why, {QStringLiteral("--address=/com/192.0.2.20")}), qPrintable(why));
        // This case's server answers DNS as well.
        bed.reset();
        bed = std::make_unique<ServerTestBed>();
        QVERIFY(bed->start({QStringLiteral("--dns-port"), QStringLiteral("0"), QStringLiteral("--dns-upstream"),
                            upstream.upstream()}));
        const quint16 dns = bed->server.dnsPort();
        QVERIFY(dns);
        QVERIFY(bed->signUp());
        prefs().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
        // This computer (127.0.0.1) is the account's device.
        QVERIFY(api(QStringLiteral("sync-url"), {{"platform_unique_id", "desk"}}).accepted());
        QCOMPARE(DnsTest::rcodeOf(dns, "example.com"), int(LDNS_RCODE_NOERROR));

        bed->openMain();
        auto *screen = websites();
        QVERIFY(screen);
        auto *hint = screen->findChild<QLabel *>(QStringLiteral("lblWwwHint"));
        QVERIFY(hint && hint->isVisible());
        QCOMPARE(hint->text(),
                 localizedText(QStringLiteral("A leading \"www.\" is left out: the site and all its subdomains are blocked.")));
        QTest::keyClicks(screen->findChild<QLineEdit *>(QStringLiteral("websiteTF")), QStringLiteral("www.example.com"));
        QTest::mouseClick(screen->findChild<QPushButton *>(QStringLiteral("btnADD")), Qt::LeftButton);
        QTRY_COMPARE(serverDomains(), QStringList{QStringLiteral("example.com")});
        QTRY_VERIFY(websiteRow(screen, QStringLiteral("example.com")));

        for (const QByteArray name : {"example.com.", "www.example.com.", "a.example.com."}) {
            QTRY_COMPARE_WITH_TIMEOUT(DnsTest::rcodeOf(dns, name), int(LDNS_RCODE_NXDOMAIN), 2000);
            const DnsTest::Answer answer = DnsTest::ask(dns, {name, LDNS_RR_TYPE_A, false, true, {}});
            QVERIFY2(answer.blockedError, name.constData());
        }
        const DnsTest::Answer other = DnsTest::ask(dns, {"notexample.com.", LDNS_RR_TYPE_A, false, true, {}});
        QCOMPARE(other.rcode, int(LDNS_RCODE_NOERROR));
        QCOMPARE(other.records, QStringList{QStringLiteral("A 192.0.2.20")});
    }

    void wwwHintIsTranslated()
    {
        bed->openMain();
        auto *screen = websites();
        QVERIFY(screen);
        auto *hint = screen->findChild<QLabel *>(QStringLiteral("lblWwwHint"));
        const QString english = hint->text();
        changeLanguage(QStringLiteral("fr"), QStringLiteral("fr"));
        QTRY_VERIFY(hint->text() != english);
        QVERIFY2(hint->text().contains(QStringLiteral("www.")), qPrintable(hint->text()));
        QVERIFY(!hint->text().isEmpty());
    }

    void tableHeight_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("height");
        QTest::newRow("3 rows") << 3 << 143;
        QTest::newRow("12 rows scroll") << 12 << 378;
    }
    void tableHeight()
    {
        QFETCH(int, count);
        QFETCH(int, height);
        for (int i = 0; i < count; ++i)
            QVERIFY(addOnServer(QStringLiteral("site%1.example.org").arg(i)) > 0);
        bed->openMain();
        auto *screen = websites();
        QTRY_COMPARE(screen->model().rowCount(), count);
        QCOMPARE(tableBoxHeight(screen), height);
        auto *view = screen->findChild<QListView *>(QStringLiteral("blackListWebsiteTableView"));
        QTRY_COMPARE(view->verticalScrollBar()->maximum() > 0, count > 8);
        QVERIFY(!screen->findChild<QLabel *>(QStringLiteral("lblEmptyList"))->isVisible());
    }

    void everyPageIsShown()
    {
        // The server's page holds 100 sites, so 120 make two pages.
        for (int i = 0; i < 120; ++i)
            QVERIFY(addOnServer(QStringLiteral("www.site%1.example.org").arg(i, 3, 10, QLatin1Char('0'))) > 0);
        bed->openMain();
        auto *screen = websites();
        QTRY_COMPARE(screen->model().rowCount(), 120);
        QVERIFY(bed->log.contains(QStringLiteral("getblockwebsitebyuser?page=2")));
        QVERIFY(!bed->log.contains(QStringLiteral("getblockwebsitebyuser?page=3")));
        QStringList shown;
        for (int row = 0; row < 120; ++row)
            shown << screen->model().index(row).data().toString();
        QCOMPARE(shown.first(), QStringLiteral("site000.example.org"));
        QCOMPARE(shown.last(), QStringLiteral("site119.example.org"));
        QCOMPARE(QSet<QString>(shown.begin(), shown.end()).size(), 120);
        QCOMPARE(blockedWebsites().size(), 120);
    }

    void removeWithoutPin()
    {
        addOnServer(QStringLiteral("one.org"));
        addOnServer(QStringLiteral("www.two.org"));
        addOnServer(QStringLiteral("three.org"));
        bed->openMain();
        QVERIFY(!prefs().boolForKey(PrefKey::isPinEnable));
        auto *screen = websites();
        QTRY_VERIFY(websiteRow(screen, QStringLiteral("two.org")));
        clickBox(websiteRow(screen, QStringLiteral("two.org"))->websiteCheckBox());
        QTRY_COMPARE(serverDomains(), (QStringList{QStringLiteral("one.org"), QStringLiteral("three.org")}));
        QTRY_COMPARE(screen->model().rowCount(), 2);
        QVERIFY(!websiteRow(screen, QStringLiteral("two.org")));
        QCOMPARE(tableBoxHeight(screen), 2 * 47 + 2);
        QVERIFY(bed->noSheet<VerifyPin>());
    }

    void removeBehindThePin()
    {
        addOnServer(QStringLiteral("one.org"));
        const qint64 two = addOnServer(QStringLiteral("two.org"));
        bed->pinOnServer(QStringLiteral("246810"));
        bed->openMain();
        QTRY_VERIFY(prefs().boolForKey(PrefKey::isPinEnable));
        auto *screen = websites();
        QTRY_VERIFY(websiteRow(screen, QStringLiteral("two.org")));
        QCheckBox *box = websiteRow(screen, QStringLiteral("two.org"))->websiteCheckBox();
        clickBox(box);
        QVERIFY(!box->isChecked());
        VerifyPin *verify = verifyPin();
        QVERIFY(verify);
        QCOMPARE(screen->domainID(), std::optional<qint64>(two));

        // Cancel: the box is ticked again, the site stays.
        QTest::mouseClick(verify->btnCancel, Qt::LeftButton);
        QTRY_VERIFY(box->isChecked());
        QCOMPARE(serverDomains().size(), 2);

        // A reload between the tap and the PIN does not change which site goes.
        clickBox(box);
        verify = verifyPin();
        QVERIFY(verify);
        screen->requestList();
        QTRY_VERIFY(!screen->isLoading());
        // Nor does a second box unticked meanwhile: it is refused and ticked again.
        QCheckBox *one = websiteRow(screen, QStringLiteral("one.org"))->websiteCheckBox();
        clickBox(one);
        QVERIFY(one->isChecked());
        QCOMPARE(screen->domainID(), std::optional<qint64>(two));
        QVERIFY(verify->isVisible());
        QTest::keyClicks(verify->pinTF, QStringLiteral("246810"));
        QTest::mouseClick(verify->btnVerify, Qt::LeftButton);
        QTRY_COMPARE(serverDomains(), QStringList{QStringLiteral("one.org")});
        QTRY_VERIFY(!websiteRow(screen, QStringLiteral("two.org")));
        QTRY_VERIFY(!verify->isVisible());
        QVERIFY(websiteRow(screen, QStringLiteral("one.org"))->websiteCheckBox()->isChecked());
    }

    void failedRemovalTicksTheBoxAgain()
    {
        const qint64 gone = addOnServer(QStringLiteral("gone.org"));
        addOnServer(QStringLiteral("kept.org"));
        bed->openMain();
        auto *screen = websites();
        QTRY_VERIFY(websiteRow(screen, QStringLiteral("gone.org")));
        // Removed elsewhere meanwhile: the server refuses, the row shows the truth it knows.
        QVERIFY(api(QStringLiteral("unblockwesitebyuser"), {{"domain_id", QString::number(gone)}}).accepted());
        QCheckBox *box = websiteRow(screen, QStringLiteral("gone.org"))->websiteCheckBox();
        clickBox(box);
        QTRY_COMPARE(lastTitle(), QStringLiteral("Ooops"));
        QTRY_VERIFY(box->isChecked());
        QVERIFY(box->isEnabled());

        // No answer at all (the server is gone): ticked again, the box usable again.
        QCheckBox *kept = websiteRow(screen, QStringLiteral("kept.org"))->websiteCheckBox();
        QVERIFY(bed->server.stop());
        clickBox(kept);
        QTRY_VERIFY(kept->isChecked() && kept->isEnabled());
    }

    void categorySwitchesFollowTheServer()
    {
        QVERIFY(api(QStringLiteral("blockcategory"), {{"category_id", "2"}}).accepted());
        bed->openMain();
        auto *screen = categories();
        QVERIFY(screen);
        const QMap<qint64, bool> onServer = serverCategories();
        QTRY_COMPARE(screen->model().rowCount(), int(onServer.size()));
        for (auto it = onServer.begin(); it != onServer.end(); ++it) {
            CategoryCell *row = categoryRow(screen, it.key());
            QVERIFY(row);
            QCOMPARE(row->switchCategory()->isChecked(), it.value());
        }
        QVERIFY(onServer.value(2));
        QCOMPARE(categoryRow(screen, 2)->lblCategory()->text(), QStringLiteral("Gambling"));

        // Blocking never asks for the PIN.
        clickSwitch(categoryRow(screen, 3)->switchCategory());
        QTRY_COMPARE(lastTitle(), QStringLiteral("Success"));
        QVERIFY(serverCategories().value(3));
        QTRY_VERIFY(categoryRow(screen, 3) && categoryRow(screen, 3)->switchCategory()->isChecked());

        // Unblocking without PIN protection happens at once.
        bed->alerts.alerts.clear();
        clickSwitch(categoryRow(screen, 2)->switchCategory());
        QTRY_COMPARE(lastTitle(), QStringLiteral("Success"));
        QTRY_VERIFY(!serverCategories().value(2));
        QTRY_VERIFY(categoryRow(screen, 2) && !categoryRow(screen, 2)->switchCategory()->isChecked());
    }

    void categoryUnblockBehindThePin()
    {
        QVERIFY(api(QStringLiteral("blockcategory"), {{"category_id", "1"}}).accepted());
        bed->pinOnServer(QStringLiteral("135791"));
        bed->openMain();
        QTRY_VERIFY(prefs().boolForKey(PrefKey::isPinEnable));
        auto *screen = categories();
        QTRY_VERIFY(categoryRow(screen, 1) && categoryRow(screen, 1)->switchCategory()->isChecked());
        clickSwitch(categoryRow(screen, 1)->switchCategory());
        VerifyPin *verify = verifyPin();
        QVERIFY(verify);
        QTest::mouseClick(verify->btnCancel, Qt::LeftButton);
        QTRY_VERIFY(categoryRow(screen, 1)->switchCategory()->isChecked());
        QVERIFY(serverCategories().value(1));

        clickSwitch(categoryRow(screen, 1)->switchCategory());
        verify = verifyPin();
        QVERIFY(verify);
        QTest::keyClicks(verify->pinTF, QStringLiteral("135791"));
        QTest::mouseClick(verify->btnVerify, Qt::LeftButton);
        QTRY_VERIFY(!serverCategories().value(1));
        QTRY_COMPARE(lastTitle(), QStringLiteral("Success"));
        QTRY_VERIFY(!verify->isVisible());
        QTRY_VERIFY(categoryRow(screen, 1) && !categoryRow(screen, 1)->switchCategory()->isChecked());
    }

    void refusedUnblockLeavesTheSwitchOn()
    {
        QVERIFY(api(QStringLiteral("blockcategory"), {{"category_id", "4"}}).accepted());
        bed->pinOnServer(QStringLiteral("975310"));
        bed->openMain();
        // PIN protection switched off here, while the server still wants the PIN checked.
        prefs().setBool(PrefKey::isPinEnable, false);
        auto *screen = categories();
        QTRY_VERIFY(categoryRow(screen, 4) && categoryRow(screen, 4)->switchCategory()->isChecked());
        clickSwitch(categoryRow(screen, 4)->switchCategory());
        QTRY_COMPARE(lastTitle(), QStringLiteral("Ooops"));
        QCOMPARE(lastAlert(), QStringLiteral("Please verify your pin first."));
        QTRY_VERIFY(!screen->isLoading());
        QTRY_VERIFY(categoryRow(screen, 4) && categoryRow(screen, 4)->switchCategory()->isChecked());
        QVERIFY(categoryRow(screen, 4)->switchCategory()->isEnabled());
        QVERIFY(serverCategories().value(4));
    }

    void noAnswerPutsTheSwitchBack()
    {
        bed->openMain();
        auto *screen = categories();
        QTRY_VERIFY(categoryRow(screen, 5));
        ToggleSwitch *sw = categoryRow(screen, 5)->switchCategory();
        QVERIFY(bed->server.stop());
        clickSwitch(sw);
        QTRY_VERIFY(!sw->isChecked() && sw->isEnabled());
        QTRY_VERIFY(!screen->isLoading());
    }

    void languageChangeRefetchesNames()
    {
        bed->openMain();
        auto *screen = categories();
        QTRY_VERIFY(categoryRow(screen, 2));
        QCOMPARE(categoryRow(screen, 2)->lblCategory()->text(), QStringLiteral("Gambling"));
        QStringList french;
        serverCategories("fr", &french);
        changeLanguage(QStringLiteral("French"), QStringLiteral("fr"));
        QTRY_COMPARE(categoryRow(screen, 2) ? categoryRow(screen, 2)->lblCategory()->text() : QString(),
                     QStringLiteral("Jeux d'argent"));
        QStringList shown;
        for (int row = 0; row < screen->model().rowCount(); ++row)
            shown << screen->model().index(row).data().toString();
        QCOMPARE(shown, french);
        QCOMPARE(screen->findChild<QLabel *>(QStringLiteral("lblCategoriesBlocking"))->text(),
                 QStringLiteral("Blocage par catégories"));
    }
};

QTEST_MAIN(TestListsServer)
#include "tst_listsserver.moc"
