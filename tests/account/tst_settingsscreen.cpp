// The settings screen in the main window: its tabs, the e-mail, the About page and the
// language pop-up that switches every open screen.
#include "AccountTestWorld.h"
#include "account/EditAccountWindowController.h"
#include "app/SidebarViewController.h"
#include "app/SplitViewController.h"
#include "platform/NotificationCenter.h"
#include "settings/SegmentedControl.h"
#include "settings/SettingsViewController.h"
#include "texts/LocalizedText.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

class TestSettingsScreen : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AccountTestWorld> w;

    SettingsViewController *openSettings()
    {
        w->signedIn();
        auto *split = qobject_cast<SplitViewController *>(w->main.window()->content());
        QTest::mouseClick(split->sidebar()->item(4), Qt::LeftButton);
        return qobject_cast<SettingsViewController *>(split->detail());
    }
    SidebarViewController *sidebar()
    {
        return qobject_cast<SplitViewController *>(w->main.window()->content())->sidebar();
    }
    // Opens the pop-up and clicks one of its items, as a user does.
    static void choose(QComboBox *popUp, int index)
    {
        popUp->showPopup();
        QAbstractItemView *list = popUp->view();
        QTRY_VERIFY(list->isVisible());
        const QRect item = list->visualRect(list->model()->index(index, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_VERIFY(!list->isVisible());
    }

private slots:
    void init() { w = std::make_unique<AccountTestWorld>(); }
    void cleanup() { w.reset(); }

    void tabsShowTheAccountOrTheAboutPage()
    {
        SettingsViewController *settings = openSettings();
        QVERIFY(settings);
        QCOMPARE(settings->emailTF->text(), QStringLiteral("ada@example.org"));
        QVERIFY(settings->emailTF->isReadOnly());
        QVERIFY(settings->emailBox->isVisible());
        QVERIFY(!settings->aboutUsBox->isVisible());
        QCOMPARE(settings->segmentedControl->selectedSegment(), 0);

        QTest::mouseClick(settings->segmentedControl->segment(1), Qt::LeftButton);
        QVERIFY(settings->aboutUsBox->isVisible());
        QVERIFY(!settings->emailBox->isVisible());
        QCOMPARE(settings->lblAboutBrenvik->text(), QStringLiteral("About NIMBREL"));
        QVERIFY(settings->webView->toPlainText().contains(QStringLiteral("How it works")));

        QTest::mouseClick(settings->segmentedControl->segment(0), Qt::LeftButton);
        QVERIFY(settings->emailBox->isVisible());
        QVERIFY(!settings->aboutUsBox->isVisible());
        // Typing does not change the address.
        QTest::keyClicks(settings->emailTF, QStringLiteral("x"));
        QCOMPARE(settings->emailTF->text(), QStringLiteral("ada@example.org"));
    }

    void thePopUpShowsTheLanguageOfTheTexts_data()
    {
        QTest::addColumn<QString>("stored"); // empty: absent
        QTest::addColumn<QString>("system");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("title");
        QTest::newRow("english stored") << "en"
                                        << "fr" << 0 << "Settings";
        QTest::newRow("french stored") << "fr"
                                       << "en" << 1 << "Réglages";
        QTest::newRow("nothing stored, english system") << ""
                                                        << "en" << 0 << "Settings";
        QTest::newRow("nothing stored, french system") << ""
                                                       << "fr" << 1 << "Réglages";
    }
    void thePopUpShowsTheLanguageOfTheTexts()
    {
        QFETCH(QString, stored);
        QFETCH(QString, system);
        QFETCH(int, selected);
        QFETCH(QString, title);
        if (!stored.isEmpty())
            w->prefs().setString(PrefKey::CurrentLanguage, stored);
        LocalizedTextTesting::setSystemLanguage([system] { return system; });
        SettingsViewController *settings = openSettings();
        QCOMPARE(settings->popUpLanguage->currentIndex(), selected);
        QCOMPARE(settings->lblSetting->text(), title);
        QCOMPARE(settings->popUpLanguage->count(), 2);
    }

    void choosingALanguageSwitchesEveryOpenScreen()
    {
        w->prefs().setString(PrefKey::CurrentLanguage, QStringLiteral("en"));
        SettingsViewController *settings = openSettings();
        QStringList posted;
        QObject observer;
        NotificationCenter::defaultCenter().addObserver(&observer, QStringLiteral("UpdateChooseLanguage"),
                                                        [&](const QVariant &code) { posted << code.toString(); });
        auto *edit = qobject_cast<EditAccountWindowController *>(settings->editAccountSheet);

        choose(settings->popUpLanguage, 1);
        QCOMPARE(posted, QStringList{"fr"});
        QCOMPARE(w->prefs().stringForKey(PrefKey::CurrentLanguage), QStringLiteral("fr"));
        QVERIFY(w->bed.log.contains(QStringLiteral("French Selected")));
        QCOMPARE(settings->popUpLanguage->currentIndex(), 1);
        QCOMPARE(settings->popUpLanguage->itemText(0), QStringLiteral("Anglais"));
        QCOMPARE(settings->lblSetting->text(), QStringLiteral("Réglages"));
        QCOMPARE(settings->lblChangeLanguage->text(), QStringLiteral("Langue de l’interface"));
        QCOMPARE(settings->segmentedControl->segment(1)->text(), QStringLiteral("À propos"));
        QCOMPARE(settings->lblAboutBrenvik->text(), QStringLiteral("À propos de NIMBREL"));
        QVERIFY(settings->webView->toPlainText().contains(QStringLiteral("Comment ça marche")));
        QCOMPARE(sidebar()->lblLogout->text(), QStringLiteral("Déconnexion"));
        QCOMPARE(edit->lblEditAccount->text(), QStringLiteral("Modifier le compte"));
        QCOMPARE(edit->btnUpdate->text(), QStringLiteral("Mettre à jour"));
        // The stored file has it too, not just the memory.
        PreferencesStore reread(w->prefs().filePath());
        QCOMPARE(reread.stringForKey(PrefKey::CurrentLanguage), QStringLiteral("fr"));

        choose(settings->popUpLanguage, 0);
        QCOMPARE(posted, (QStringList{"fr", "en"}));
        QCOMPARE(settings->lblSetting->text(), QStringLiteral("Settings"));
        QVERIFY(settings->webView->toPlainText().contains(QStringLiteral("How it works")));
        // Choosing the language already shown still stores and announces it.
        choose(settings->popUpLanguage, 0);
        QCOMPARE(posted, (QStringList{"fr", "en", "en"}));
        QCOMPARE(settings->popUpLanguage->currentIndex(), 0);
    }

    void editOpensTheAccountSheetOnTheMainWindow()
    {
        SettingsViewController *settings = openSettings();
        auto *edit = qobject_cast<EditAccountWindowController *>(settings->editAccountSheet);
        QVERIFY(!edit->isVisible());
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        QVERIFY(edit->isVisible());
        QCOMPARE(edit->parentWidget(), w->main.window());
        QCOMPARE(edit->windowModality(), Qt::WindowModal);
        QTest::mouseClick(edit->btnCancel, Qt::LeftButton);
        QVERIFY(!edit->isVisible());
        // The same sheet serves every opening.
        QTest::mouseClick(settings->btnEdit, Qt::LeftButton);
        QCOMPARE(settings->editAccountSheet.data(), static_cast<QDialog *>(edit));
        QVERIFY(edit->isVisible());
    }
};

QTEST_MAIN(TestSettingsScreen)
#include "tst_settingsscreen.moc"
