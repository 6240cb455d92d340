#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;
class SegmentedControl;

// The settings screen: the account (its e-mail and the account-editing sheet) and the About Us
// page on two tabs, and the interface language below them.
class SettingsViewController : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsViewController(QWidget *parent = nullptr);
    ~SettingsViewController() override;

    void action1();
    void action2();
    void segmentChanged(int segment);
    void btnEditTapped();
    void updateLocalizationWithNotification(const QVariant &object);

    QFrame *emailBox = nullptr;
    QFrame *aboutUsBox = nullptr;
    SegmentedControl *segmentedControl = nullptr;
    QLineEdit *emailTF = nullptr;
    QLabel *lblSetting = nullptr;
    QLabel *lblEmail = nullptr;
    QLabel *lblUserName = nullptr;
    QLabel *userNameValue = nullptr;
    QLabel *lblDeviceName = nullptr;
    QLabel *deviceNameValue = nullptr;
    QPushButton *btnEdit = nullptr;
    QLabel *lblAboutBrenvik = nullptr;
    QFrame *boxChangeLanguage = nullptr;
    QLabel *lblChangeLanguage = nullptr;
    QComboBox *popUpLanguage = nullptr;
    QTextBrowser *webView = nullptr;
    QPointer<QDialog> editAccountSheet;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void viewDidLoad();
    void setTexts();
    void loadAboutPage();
    void showAccount();
    void chooseLanguage(const QString &logText, const QString &code, int index);
};
