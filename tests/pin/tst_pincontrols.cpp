// The PIN field's rules without a server: what the formatter lets in, the random PIN's digits,
// what the secure field shows, and that a hidden PIN cannot be read back from the setup and
// change windows by any edit, undo, menu, drag, clipboard, screen reader or log.
#include "AlertRecorder.h"
#include "LogCapture.h"
#include "TestEnvironment.h"
#include "controls/OnlyIntegerValueFormatter.h"
#include "controls/ZelSecureTextField.h"
#include "pin/ChangePin.h"
#include "pin/PinProtectionWC.h"
#include "pin/RandomPin.h"
#include "pin/setWaitingTimeWC.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QAccessible>
#include <QClipboard>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {
// The ways a user may go at a field holding a hidden PIN.
enum class Path { Backspace, Delete, TypeOver, SeventhDigit, Cut, Paste, Drop, Drag, Eye };

void sendKey(QWidget *field, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyClick(field, key, modifiers);
}

// Opens the field's own context menu and triggers one of its standard entries when offered.
bool fromContextMenu(QLineEdit *field, const char *entry)
{
    const QPoint at = field->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, field->mapToGlobal(at));
    QCoreApplication::sendEvent(field, &event);
    QMenu *menu = nullptr;
    if (!QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }))
        return false;
    for (QAction *action : menu->actions()) {
        if (action->objectName() == QLatin1String(entry) && action->isEnabled())
            action->trigger();
    }
    menu->close();
    return QTest::qWaitFor([] { return !QApplication::activePopupWidget(); });
}

// Where the digits could show: on screen, to a screen reader, to an input method, on the
// clipboards. Any two neighbouring digits of the PIN count as shown.
QString whereShown(ZelSecureTextField *field, const QString &pin)
{
    QStringList places{QStringLiteral("screen"), field->displayText()};
    if (QAccessibleInterface *ia = QAccessible::queryAccessibleInterface(field)) {
        places << QStringLiteral("accessible value") << ia->text(QAccessible::Value);
        places << QStringLiteral("accessible name") << ia->text(QAccessible::Name);
        if (QAccessibleTextInterface *text = ia->textInterface())
            places << QStringLiteral("accessible text") << text->text(0, text->characterCount());
    }
    places << QStringLiteral("input method") << field->inputMethodQuery(Qt::ImSurroundingText).toString();
    places << QStringLiteral("input method selection") << field->inputMethodQuery(Qt::ImCurrentSelection).toString();
    QClipboard *clipboard = QGuiApplication::clipboard();
    places << QStringLiteral("clipboard") << clipboard->text();
    if (clipboard->supportsSelection())
        places << QStringLiteral("selection") << clipboard->text(QClipboard::Selection);
    for (qsizetype i = 0; i + 1 < places.size(); i += 2) {
        for (int d = 0; d + 2 <= pin.size(); ++d) {
            if (places.at(i + 1).contains(pin.mid(d, 2)))
                return places.at(i) + QStringLiteral(": ") + places.at(i + 1);
        }
    }
    return QString();
}
} // namespace
Q_DECLARE_METATYPE(Path)

class TestPinControls : public QObject
{
    Q_OBJECT

private slots:
    void formatter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("single 0") << "0" << true;
        QTest::newRow("six digits") << "123456" << true;
        QTest::newRow("signed") << "-12345" << true;
        QTest::newRow("plus") << "+1" << true;
        QTest::newRow("seven digits") << "1234567" << false;
        QTest::newRow("seven with sign") << "+123456" << false;
        QTest::newRow("letter among digits") << "12a4" << false;
        QTest::newRow("sign alone") << "-" << false;
        QTest::newRow("sign inside") << "12-4" << false;
        QTest::newRow("blank") << " 1" << false;
        QTest::newRow("arabic-indic digit") << QString::fromUtf8("\u0661\u0662") << false;
    }
    void formatter()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        OnlyIntegerValueFormatter formatter;
        int pos = 0;
        QCOMPARE(formatter.validate(text, pos) == QValidator::Acceptable, accepted);

        // In a field: a refused edit leaves the previous text.
        TestEnvironment env;
        QLineEdit field;
        field.setValidator(&formatter);
        field.setText(QStringLiteral("12"));
        field.selectAll();
        field.insert(text);
        QCOMPARE(field.text(), accepted ? text : QStringLiteral("12"));
    }

    void randomPinDigitsAreUniformAndNeverStartWithZero()
    {
        QList<QSet<QChar>> seen(6);
        for (int i = 0; i < 10000; ++i) {
            const QString pin = randomPin();
            QCOMPARE(pin.size(), 6);
            QVERIFY2(pin.front() != QLatin1Char('0'), qPrintable(pin));
            for (int p = 0; p < 6; ++p) {
                QVERIFY(pin.at(p).isDigit());
                seen[p].insert(pin.at(p));
            }
        }
        QCOMPARE(seen[0].size(), 9);
        for (int p = 1; p < 6; ++p)
            QCOMPARE(seen[p].size(), 10);
    }

    void randomPinThrowsAwayBiasedDraws()
    {
        // 2^32 leaves a remainder of 4 for nine digits: the top four values would favour 1-4.
        QList<quint32> draws{0xFFFFFFFFu, 0xFFFFFFFCu, 17u, 0xFFFFFFFFu, 3u, 4u, 5u, 6u, 7u};
        const QString pin = randomPin([&] { return draws.takeFirst(); });
        QCOMPARE(pin, QStringLiteral("934567"));
        QVERIFY(draws.isEmpty());
    }

    void secureFieldShowsAndHides()
    {
        TestEnvironment env;
        ZelSecureTextField field;
        field.resize(200, 32);
        field.setPlaceholderText(QStringLiteral("525252"));
        field.setText(QStringLiteral("482913"));
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        QVERIFY(!field.passwordIsVisible());
        QCOMPARE(field.echoMode(), QLineEdit::Password);
        QCOMPARE(field.textMargins().right(), 40);

        field.toggleButton()->click();
        QVERIFY(field.passwordIsVisible());
        QCOMPARE(field.echoMode(), QLineEdit::Normal);
        QCOMPARE(field.text(), QStringLiteral("482913"));
        QCOMPARE(field.placeholderText(), QStringLiteral("525252"));

        // Taking the permission away hides what was shown, and the eye goes.
        field.setAllowShowPassword(false);
        QVERIFY(!field.passwordIsVisible());
        QCOMPARE(field.echoMode(), QLineEdit::Password);
        QVERIFY(field.toggleButton()->isHidden());

        field.setDisplayToggleButton(false);
        QCOMPARE(field.textMargins().right(), 0);
        field.setPasswordIsVisible(true);
        QCOMPARE(field.echoMode(), QLineEdit::Normal);
    }

    void hiddenPinCannotBeReadBack_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<Path>("path");
        const QList<QPair<const char *, Path>> paths{
            {"backspace", Path::Backspace}, {"delete", Path::Delete},    {"typing over it", Path::TypeOver},
            {"seventh digit", Path::SeventhDigit}, {"cut", Path::Cut},   {"paste", Path::Paste},
            {"drop", Path::Drop},           {"drag", Path::Drag},        {"eye button", Path::Eye}};
        for (const char *window : {"PinProtectionWC", "ChangePin"}) {
            for (const auto &[name, path] : paths)
                QTest::addRow("%s, %s", window, name) << QString::fromLatin1(window) << path;
        }
    }
    void hiddenPinCannotBeReadBack()
    {
        QFETCH(QString, window);
        QFETCH(Path, path);
        TestEnvironment env;
        AlertRecorder alerts;
        LogCapture log;
        QGuiApplication::clipboard()->setText(QStringLiteral("nothing yet"));

        std::unique_ptr<QDialog> dialog;
        ZelSecureTextField *field = nullptr;
        QPushButton *hiddenPin = nullptr;
        if (window == QLatin1String("PinProtectionWC")) {
            auto *setup = new PinProtectionWC;
            dialog.reset(setup);
            field = setup->PinTextField;
            hiddenPin = setup->btnRandomPin;
        } else {
            auto *change = new ChangePin;
            dialog.reset(change);
            field = change->newPinTF;
            hiddenPin = change->btnRandomPin;
        }
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        // Something typed in clear first, so there is a history to go back through.
        QTest::keyClick(field, Qt::Key_0);
        QTest::mouseClick(hiddenPin, Qt::LeftButton);
        const QString pin = field->text();
        QCOMPARE(pin.size(), 6);
        QVERIFY(field->isHidingText());
        QVERIFY2(whereShown(field, pin).isEmpty(), qPrintable(whereShown(field, pin)));
        field->setFocus();

        switch (path) {
        case Path::Backspace:
            sendKey(field, Qt::Key_End);
            sendKey(field, Qt::Key_Backspace);
            break;
        case Path::Delete:
            sendKey(field, Qt::Key_Home);
            sendKey(field, Qt::Key_Delete);
            break;
        case Path::TypeOver:
            sendKey(field, Qt::Key_A, Qt::ControlModifier);
            sendKey(field, Qt::Key_5);
            break;
        case Path::SeventhDigit:
            sendKey(field, Qt::Key_End);
            sendKey(field, Qt::Key_7);
            QCOMPARE(field->text(), pin); // refused: not an edit
            break;
        case Path::Cut:
            sendKey(field, Qt::Key_A, Qt::ControlModifier);
            sendKey(field, Qt::Key_X, Qt::ControlModifier);
            break;
        case Path::Paste:
            QGuiApplication::clipboard()->setText(QStringLiteral("+9"));
            sendKey(field, Qt::Key_A, Qt::ControlModifier);
            sendKey(field, Qt::Key_V, Qt::ControlModifier);
            break;
        case Path::Drop: {
            sendKey(field, Qt::Key_A, Qt::ControlModifier);
            QMimeData data;
            data.setText(QStringLiteral("4"));
            const QPoint at(4, field->height() / 2);
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(field, &enter);
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(field, &drop);
            break;
        }
        case Path::Drag: {
            sendKey(field, Qt::Key_A, Qt::ControlModifier);
            const int y = field->height() / 2;
            QTest::mousePress(field, Qt::LeftButton, {}, QPoint(8, y));
            for (int x = 12; x < field->width() - 8; x += 12)
                QTest::mouseMove(field, QPoint(x, y));
            QTest::mouseRelease(field, Qt::LeftButton, {}, QPoint(field->width() - 8, y));
            break;
        }
        case Path::Eye:
            // Offered or not, the eye does not show a hidden PIN.
            QTest::mouseClick(field->toggleButton(), Qt::LeftButton);
            QVERIFY(field->isHidingText());
            sendKey(field, Qt::Key_End);
            sendKey(field, Qt::Key_Backspace);
            break;
        }
        QVERIFY2(whereShown(field, pin).isEmpty(), qPrintable(whereShown(field, pin)));
        if (path != Path::SeventhDigit && path != Path::Drag && field->text() != pin) {
            // Any edit of a hidden PIN starts the field over, in clear.
            QCOMPARE(field->text(), QString());
            QVERIFY(!field->isHidingText() || window == QLatin1String("ChangePin"));
        }

        // Then every way back: undo and redo by keys and by menu, copying, the eye.
        const QList<QPair<const char *, std::function<void()>>> attempts{
            {"Ctrl+Z", [&] { sendKey(field, Qt::Key_Z, Qt::ControlModifier); }},
            {"Ctrl+Z again", [&] { sendKey(field, Qt::Key_Z, Qt::ControlModifier); }},
            {"Ctrl+Shift+Z", [&] { sendKey(field, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }},
            {"Ctrl+Y", [&] { sendKey(field, Qt::Key_Y, Qt::ControlModifier); }},
            {"menu Undo", [&] { QVERIFY(fromContextMenu(field, "edit-undo")); }},
            {"menu Undo again", [&] { QVERIFY(fromContextMenu(field, "edit-undo")); }},
            {"menu Redo", [&] { QVERIFY(fromContextMenu(field, "edit-redo")); }},
            {"Ctrl+A, Ctrl+C",
             [&] {
                 sendKey(field, Qt::Key_A, Qt::ControlModifier);
                 sendKey(field, Qt::Key_C, Qt::ControlModifier);
             }},
            {"menu Select All, Copy",
             [&] {
                 QVERIFY(fromContextMenu(field, "select-all"));
                 QVERIFY(fromContextMenu(field, "edit-copy"));
             }},
            {"eye", [&] { QTest::mouseClick(field->toggleButton(), Qt::LeftButton); }},
            {"Ctrl+Z after the eye", [&] { sendKey(field, Qt::Key_Z, Qt::ControlModifier); }},
            {"menu Undo after the eye", [&] { QVERIFY(fromContextMenu(field, "edit-undo")); }},
        };
        for (const auto &[name, attempt] : attempts) {
            attempt();
            if (QTest::currentTestFailed())
                return;
            const QString shown = whereShown(field, pin);
            QVERIFY2(shown.isEmpty(), qPrintable(QStringLiteral("%1 shows %2").arg(QLatin1String(name), shown)));
        }
        const QString logged = log.lines.join(QLatin1Char('\n'));
        for (int d = 0; d + 4 <= pin.size(); ++d)
            QVERIFY2(!logged.contains(pin.mid(d, 4)), qPrintable(logged));
        QVERIFY(alerts.alerts.isEmpty());
    }

    void waitingTimeLayoutFollowsTheLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("spacing");
        QTest::newRow("fr") << "fr" << 5;
        QTest::newRow("en") << "en" << 16;
    }
    void waitingTimeLayoutFollowsTheLanguage()
    {
        QFETCH(QString, language);
        QFETCH(int, spacing);
        TestEnvironment env;
        PreferencesStore::shared().setString(PrefKey::CurrentLanguage, language);
        setWaitingTimeWC sheet(QStringLiteral("482913"));
        QTRY_COMPARE(sheet.timingStackView->spacing(), spacing);
        if (language == QLatin1String("fr"))
            QCOMPARE(sheet.panel()->size(), QSize(500, 250));
        // Untouched, the choice is 12 hours; a tag outside the four leaves it.
        QCOMPARE(sheet.hours, QStringLiteral("12"));
        sheet.selectedHours(3);
        QCOMPARE(sheet.hours, QStringLiteral("175200"));
        sheet.selectedHours(4);
        QCOMPARE(sheet.hours, QStringLiteral("175200"));
    }
};

QTEST_MAIN(TestPinControls)
#include "tst_pincontrols.moc"
