// The PIN field's rules without a server: what the formatter lets in, the random PIN's digits,
// and what the secure field shows.
#include "TestEnvironment.h"
#include "controls/OnlyIntegerValueFormatter.h"
#include "controls/ZelSecureTextField.h"
#include "pin/RandomPin.h"
#include "pin/setWaitingTimeWC.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QtTest>

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
