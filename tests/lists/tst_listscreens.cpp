// The rules of the website list, and what the two screens do with answers the real server
// never gives: a refused block, a server that always says "more", answers held back while
// the user clicks again, no answer at all.
#include "ApiTestBed.h"
#include "FakeClock.h"
#include "app/AppMain.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "controls/ToggleSwitch.h"
#include "lists/BlackListWebsitesViewController.h"
#include "lists/CategoriesBlockingViewController.h"
#include "records/RecordCodec.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {
template <class T> QByteArray answer(bool status, const QString &msg, const std::optional<T> &data)
{
    BaseModel<T> record;
    record.status = status;
    record.code = status ? 200 : 422;
    record.msg = msg;
    record.version = QStringLiteral("3.0");
    record.data = data;
    return QJsonDocument(encodeRecord(record)).toJson(QJsonDocument::Compact);
}

QByteArray page(qint64 number, qint64 lastPage, const QList<BlockData> &sites)
{
    BlockWebsiteModel model;
    model.currentPage = number;
    model.data = sites;
    model.lastPage = lastPage;
    model.perPage = sites.size();
    // Absolute links elsewhere are never followed: the next page is asked for on the API base.
    model.nextPageURL = QStringLiteral("http://elsewhere.invalid/api/v3/getblockwebsitebyuser?page=%1").arg(number + 1);
    return answer<BlockWebsiteModel>(true, QStringLiteral("Blocked websites"), model);
}

BlockData site(qint64 id, const QString &domain)
{
    return BlockData{id, 7, domain, QStringLiteral("2026-01-01 12:00:00"), QStringLiteral("2026-01-01 12:00:00"), {}};
}
} // namespace

class TestListScreens : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApiTestBed> bed;
    std::unique_ptr<FakeClock> clock;
    std::unique_ptr<MainWindowController> main;

    StubHttpServer &server() { return bed->server; }
    SplitViewController *mainContent() { return qobject_cast<SplitViewController *>(main->window()->content()); }
    QString lastTitle() const { return bed->alerts.lastTitle(); }
    int requestsTo(const QString &path) const { return bed->requestsTo(path); }
    void openMain()
    {
        PreferencesStore &prefs = PreferencesStore::shared();
        prefs.setBool(PrefKey::isLogin, true);
        prefs.setString(PrefKey::loginToken, QStringLiteral("user-token-7f3a9c"));
        prefs.setInteger(PrefKey::user_id, 7);
        CommmonFunction::shared().openMainContent(QSize(800, 500));
        main->showWindow();
        QTRY_VERIFY(mainContent() && mainContent()->isVisible());
    }
    template <class Screen> Screen *openScreen(int tag)
    {
        mainContent()->sidebar()->btnProtectionOnOffTapped(mainContent()->sidebar()->item(tag));
        return qobject_cast<Screen *>(mainContent()->detail());
    }

private slots:
    void init()
    {
        blockedWebsites().clear();
        bed = std::make_unique<ApiTestBed>();
        bed->startAsNewAccount();
        clock = std::make_unique<FakeClock>();
        main = std::make_unique<MainWindowController>();
        attachPresenters(main->window());
    }
    void cleanup()
    {
        main.reset();
        clock.reset();
        bed.reset();
        blockedWebsites().clear();
    }

    void addRule_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("shown");
        QTest::newRow("scheme, path, query, capitals") << "HTTPS://WWW.Example.COM/path?q=1"
                                                       << "example.com"
                                                       << "example.com";
        QTest::newRow("http") << "http://news.example.net/a/b"
                              << "news.example.net"
                              << "news.example.net";
        QTest::newRow("only one scheme removed") << "https://http://x.org"
                                                 << "http:"
                                                 << "http:";
        // The filter blocks the name with its subdomains: "www." would narrow it to one host.
        QTest::newRow("www left out") << "www.b.org"
                                      << "b.org"
                                      << "b.org";
        QTest::newRow("every leading www") << "www.www.c.org"
                                           << "c.org"
                                           << "c.org";
        QTest::newRow("www as the site itself") << "www.com"
                                                << "www.com"
                                                << "www.com";
        QTest::newRow("www inside kept") << "a.www.c.org"
                                         << "a.www.c.org"
                                         << "a.www.c.org";
        QTest::newRow("no other trimming") << " d.org "
                                           << " d.org "
                                           << " d.org ";
    }
    void addRule()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        QCOMPARE(BlackListWebsitesViewController::domainFromTypedText(typed), sent);
        QCOMPARE(BlockedWebsitesModel::shownDomain(sent), shown);
        // A row stored with "www." before the server left it out shows what the filter blocks.
        if (sent.contains(QLatin1Char('.')))
            QCOMPARE(BlockedWebsitesModel::shownDomain(QStringLiteral("www.") + sent), shown);
    }

    void tableBoxHeight_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("height");
        QTest::newRow("1") << 1 << 49;
        QTest::newRow("3") << 3 << 143;
        QTest::newRow("7") << 7 << 331;
        QTest::newRow("8") << 8 << 378;
        QTest::newRow("12") << 12 << 378;
    }
    void tableBoxHeight()
    {
        QFETCH(int, count);
        QFETCH(int, height);
        QCOMPARE(BlackListWebsitesViewController::tableBoxHeight(count), height);
    }

    void pagesAreCapped()
    {
        // A server that always says there is more: the screen stops after maxPages pages.
        const int cap = BlackListWebsitesViewController::maxPages;
        for (int n = 1; n <= cap + 1; ++n)
            server().answer(QStringLiteral("getblockwebsitebyuser?page=%1").arg(n), 200,
                            page(n, 100000, {site(n, QStringLiteral("s%1.org").arg(n))}));
        openMain();
        auto *screen = openScreen<BlackListWebsitesViewController>(7);
        QTRY_VERIFY_WITH_TIMEOUT(!screen->isLoading(), 20000);
        QCOMPARE(requestsTo(QStringLiteral("getblockwebsitebyuser?page=%1").arg(cap)), 1);
        QCOMPARE(requestsTo(QStringLiteral("getblockwebsitebyuser?page=%1").arg(cap + 1)), 0);
        QCOMPARE(screen->model().rowCount(), cap);
        for (const StubHttpServer::Request &r : server().requests())
            QVERIFY(!r.path.contains(QStringLiteral("elsewhere")));
    }

    void busyWhileLoadingThenEmptyHint()
    {
        server().answer(QStringLiteral("getblockwebsitebyuser?page=1"), {200, page(1, 1, {}), 400});
        openMain();
        auto *screen = openScreen<BlackListWebsitesViewController>(7);
        auto *busy = screen->findChild<QProgressBar *>(QStringLiteral("busyIndicator"));
        auto *hint = screen->findChild<QLabel *>(QStringLiteral("lblEmptyList"));
        QVERIFY(screen->isLoading());
        QVERIFY(busy->isVisible());
        QVERIFY(!hint->isVisible());
        QTRY_VERIFY(!screen->isLoading());
        QVERIFY(!busy->isVisible());
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->text(), QStringLiteral("You are not blocking any website yet."));
    }

    void listWithoutAnswerEndsBusy()
    {
        // Nothing listens where the API now points.
        QVERIFY(ApiManager::shared().setApiBase(
            QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(unusedLocalPort()))));
        blockedWebsites() = {site(1, QStringLiteral("kept.org"))};
        openMain();
        auto *screen = openScreen<BlackListWebsitesViewController>(7);
        QTRY_VERIFY(!screen->isLoading());
        QCOMPARE(screen->model().rowCount(), 1);
        auto *categories = openScreen<CategoriesBlockingViewController>(3);
        QTRY_VERIFY(!categories->isLoading());
        QVERIFY(!categories->findChild<QProgressBar *>(QStringLiteral("busyIndicator"))->isVisible());
    }

    void doubleClickOnAddSendsOnce()
    {
        server().answer(QStringLiteral("getblockwebsitebyuser?page=1"), 200, page(1, 1, {}));
        server().answer(
            QStringLiteral("blockwesitebyuser"),
            {200, answer<BlockData>(true, QStringLiteral("Website blocked"), site(9, QStringLiteral("a.org"))), 300});
        openMain();
        auto *screen = openScreen<BlackListWebsitesViewController>(7);
        QTRY_VERIFY(!screen->isLoading());
        QTest::keyClicks(screen->findChild<QLineEdit *>(QStringLiteral("websiteTF")), QStringLiteral("a.org"));
        auto *add = screen->findChild<QPushButton *>(QStringLiteral("btnADD"));
        QTest::mouseClick(add, Qt::LeftButton);
        QTest::mouseClick(add, Qt::LeftButton);
        QTRY_COMPARE(screen->model().rowCount(), 1);
        QCOMPARE(requestsTo(QStringLiteral("blockwesitebyuser")), 1);
        QVERIFY(add->isEnabled());
    }

    void refusedBlockPutsTheSwitchBackOff()
    {
        CategoryList list{{1, QStringLiteral("Adult content"), QStringLiteral("adult"), 0},
                          {2, QStringLiteral("Gambling"), QStringLiteral("gambling"), 0}};
        server().answer(QStringLiteral("category"), 200,
                        answer<CategoryList>(true, QStringLiteral("Categories"), list));
        server().answer(
            QStringLiteral("blockcategory"),
            {200, answer<BlockCategoryModel>(false, QStringLiteral("Category not found."), std::nullopt), 300});
        openMain();
        auto *screen = openScreen<CategoriesBlockingViewController>(3);
        QTRY_COMPARE(screen->findChildren<CategoryCell *>().size(), 2);
        CategoryCell *row = nullptr;
        for (auto *cell : screen->findChildren<CategoryCell *>())
            if (cell->categoryID() == 2)
                row = cell;
        QVERIFY(row);
        QTest::mouseClick(row->switchCategory(), Qt::LeftButton);
        QVERIFY(row->switchCategory()->isChecked());
        // While the request is under way the switch takes no second click.
        QVERIFY(!row->switchCategory()->isEnabled());
        QTest::mouseClick(row->switchCategory(), Qt::LeftButton);
        QTRY_COMPARE(lastTitle(), QStringLiteral("Ooops"));
        QCOMPARE(requestsTo(QStringLiteral("blockcategory")), 1);
        // The list is asked for again after the failure, and the switch shows the server's state.
        QTRY_COMPARE(requestsTo(QStringLiteral("category")), 2);
        QTRY_VERIFY(!screen->isLoading());
        for (auto *cell : screen->findChildren<CategoryCell *>())
            if (cell->categoryID() == 2 && cell->isVisible())
                row = cell;
        QVERIFY(!row->switchCategory()->isChecked());
        QVERIFY(row->switchCategory()->isEnabled());
    }

    void undecodableBlockAnswerPutsTheSwitchBack()
    {
        CategoryList list{{2, QStringLiteral("Gambling"), QStringLiteral("gambling"), 0}};
        server().answer(QStringLiteral("category"), 200,
                        answer<CategoryList>(true, QStringLiteral("Categories"), list));
        server().answer(QStringLiteral("blockcategory"), 200, QByteArrayLiteral("{\"status\": \"maybe\"}"));
        openMain();
        auto *screen = openScreen<CategoriesBlockingViewController>(3);
        QTRY_COMPARE(screen->findChildren<CategoryCell *>().size(), 1);
        ToggleSwitch *sw = screen->findChildren<CategoryCell *>().first()->switchCategory();
        QTest::mouseClick(sw, Qt::LeftButton);
        QTRY_COMPARE(requestsTo(QStringLiteral("category")), 2);
        QTRY_VERIFY(!screen->isLoading());
        ToggleSwitch *now = screen->findChildren<CategoryCell *>().last()->switchCategory();
        QVERIFY(!now->isChecked());
        QVERIFY(bed->log.contains(QStringLiteral("========= Error decoding model response ============")));
    }
};

QTEST_MAIN(TestListScreens)
#include "tst_listscreens.moc"
