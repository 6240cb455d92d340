// The main window stays where the user put it, and alerts wear the icon of their kind.
#include "TestEnvironment.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "ui/MainWindowController.h"
#include "ui/WindowAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QtTest>

class TestWindowLook : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

    static QRect screenArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void firstShowIsCentredAndNewSizesKeepTheCentre()
    {
        CustomWindow window;
        window.setFixedContentSize(300, 200);
        window.show();
        QCOMPARE(window.frameGeometry().center(), screenArea().center());

        window.move(60, 80);
        const QPoint centre = window.frameGeometry().center();
        window.setFixedContentSize(400, 260);
        QCOMPARE(window.size(), QSize(400, 260));
        QVERIFY((window.frameGeometry().center() - centre).manhattanLength() <= 1);
    }

    void placeIsRememberedAndKeptOnScreen_data()
    {
        QTest::addColumn<QPoint>("movedTo");
        QTest::addColumn<QString>("stored"); // written instead, when not empty
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("moved by the user") << QPoint(40, 30) << QString() << QPoint(40, 30);
        // Up and right of every screen: the nearest corner of the screen.
        QTest::newRow("screen gone since") << QPoint() << "99999,-99999" << QPoint(-1, -1);
        QTest::newRow("unreadable: centred") << QPoint() << "left" << QPoint();
    }
    void placeIsRememberedAndKeptOnScreen()
    {
        QFETCH(QPoint, movedTo);
        QFETCH(QString, stored);
        QFETCH(QPoint, expected);
        {
            CustomWindow before;
            before.setFixedContentSize(300, 200);
            before.show();
            if (!movedTo.isNull())
                before.move(movedTo);
            before.hide(); // to the tray: the place is kept
        }
        if (!stored.isEmpty())
            PreferencesStore::shared().setString(PrefKey::mainWindowCentre, stored);
        CustomWindow after; // the next start
        after.setFixedContentSize(300, 200);
        after.show();
        const QRect frame = after.frameGeometry();
        if (stored == QLatin1String("left"))
            QCOMPARE(frame.center(), screenArea().center());
        else if (expected == QPoint(-1, -1))
            QCOMPARE(QPoint(frame.right(), frame.top()), QPoint(screenArea().right(), screenArea().top()));
        else
            QCOMPARE(frame.topLeft(), expected);
        QVERIFY(screenArea().contains(after.frameGeometry()));
    }

    void alertIconFollowsItsKind_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("text");
        QTest::newRow("failure") << "Ooops"
                                 << "Requires admin privileges" << int(QMessageBox::Critical) << "Ooops";
        QTest::newRow("success") << "Success"
                                 << "Category unblocked" << int(QMessageBox::Information) << "Success";
        QTest::newRow("server text as title") << "Pin removed"
                                              << "" << int(QMessageBox::Information) << "Pin removed";
        // Given only a message, the alert shows it as its title rather than under an empty one.
        QTest::newRow("no title") << ""
                                  << "We have e-mailed a link." << int(QMessageBox::Information)
                                  << "We have e-mailed a link.";
    }
    void alertIconFollowsItsKind()
    {
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(int, icon);
        QFETCH(QString, text);
        WindowAlertPresenter alerts;
        alerts.showCommonAlert(title, message);
        QMessageBox *box = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("commonAlert") && w->isVisible())
                box = qobject_cast<QMessageBox *>(w);
        }
        QVERIFY(box);
        QCOMPARE(int(box->icon()), icon);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->informativeText(), title.isEmpty() ? QString() : message);
        box->close();
    }
};

QTEST_MAIN(TestWindowLook)
#include "tst_windowlook.moc"
