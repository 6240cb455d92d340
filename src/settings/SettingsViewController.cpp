#include "SettingsViewController.h"

#include "SegmentedControl.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"
#include "ui/Style.h"

#include <QComboBox>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
QFrame *roundedBox(QWidget *parent, const QString &name)
{
    auto *box = new QFrame(parent);
    box->setObjectName(name);
    box->setStyleSheet(
        QStringLiteral("QFrame#%1 { background: white; border: 1px solid #e3e6ea; border-radius: 10px; }").arg(name));
    auto *shadow = new QGraphicsDropShadowEffect(box);
    shadow->setBlurRadius(16);
    shadow->setOffset(0, 2);
    shadow->setColor(QColor(0, 0, 0, 22));
    box->setGraphicsEffect(shadow);
    return box;
}

QLabel *label(QWidget *parent, const QString &name, const QString &style)
{
    auto *text = new QLabel(parent);
    text->setObjectName(name);
    text->setStyleSheet(style);
    return text;
}

// The language the screen is shown in: the stored one, else the system's.
QString shownLanguage()
{
    return PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage).value_or(systemLanguageCode());
}
} // namespace

SettingsViewController::SettingsViewController(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SettingsViewController"));

    lblSetting =
        label(this, QStringLiteral("lblSetting"), QStringLiteral("color: #1f2933; font-size: 20px; font-weight: 600;"));
    segmentedControl = new SegmentedControl(2, this);

    emailBox = roundedBox(this, QStringLiteral("emailBox"));
    const QString caption = QStringLiteral("color: #6b7280; font-size: 12px; font-weight: 600;");
    const QString value = QStringLiteral("color: #1f2933; font-size: 14px;");
    lblUserName = label(emailBox, QStringLiteral("lblUserName"), caption);
    userNameValue = label(emailBox, QStringLiteral("userNameValue"), value);
    lblDeviceName = label(emailBox, QStringLiteral("lblDeviceName"), caption);
    deviceNameValue = label(emailBox, QStringLiteral("deviceNameValue"), value);
    lblEmail = label(emailBox, QStringLiteral("lblEmail"), caption);
    emailTF = new QLineEdit(emailBox);
    emailTF->setObjectName(QStringLiteral("emailTF"));
    emailTF->setReadOnly(true);
    emailTF->setFocusPolicy(Qt::NoFocus);
    emailTF->setFrame(false);
    // A line edit keeps a small inner margin; this one reads as plain text aligned with its neighbours.
    emailTF->setTextMargins(-2, 0, 0, 0);
    emailTF->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: #1f2933; font-size: 14px;"
                                          " padding: 0; border: none; }"));
    btnEdit = new QPushButton(emailBox);
    btnEdit->setObjectName(QStringLiteral("btnEdit"));
    btnEdit->setCursor(Qt::PointingHandCursor);
    btnEdit->setStyleSheet(Style::orangeButton());
    auto *accountGrid = new QGridLayout(emailBox);
    accountGrid->setContentsMargins(20, 16, 18, 16);
    accountGrid->setHorizontalSpacing(18);
    accountGrid->setVerticalSpacing(4);
    const QList<QPair<QLabel *, QWidget *>> rows = {
        {lblEmail, emailTF}, {lblUserName, userNameValue}, {lblDeviceName, deviceNameValue}};
    for (int row = 0; row < rows.size(); ++row) {
        accountGrid->addWidget(rows[row].first, row, 0);
        accountGrid->addWidget(rows[row].second, row, 1);
        accountGrid->setRowMinimumHeight(row, 30);
    }
    accountGrid->addWidget(btnEdit, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    accountGrid->setColumnStretch(1, 1);

    aboutUsBox = roundedBox(this, QStringLiteral("aboutUsBox"));
    lblAboutBrenvik = label(aboutUsBox, QStringLiteral("lblAboutBrenvik"),
                            QStringLiteral("color: #1f2933; font-size: 15px; font-weight: 600;"));
    webView = new QTextBrowser(aboutUsBox);
    webView->setObjectName(QStringLiteral("webView"));
    webView->setFrameShape(QFrame::NoFrame);
    webView->setOpenExternalLinks(true);
    webView->document()->setIndentWidth(14);
    webView->setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; color: #374151; }"
                                          "QScrollBar:vertical { width: 8px; background: transparent; margin: 2px; }"
                                          "QScrollBar::handle:vertical { background: #d5d9de; border-radius: 2px;"
                                          " min-height: 30px; }"
                                          "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                                          "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"));
    auto *aboutLayout = new QVBoxLayout(aboutUsBox);
    aboutLayout->setContentsMargins(18, 14, 8, 10);
    aboutLayout->setSpacing(6);
    aboutLayout->addWidget(lblAboutBrenvik);
    aboutLayout->addWidget(webView, 1);

    boxChangeLanguage = roundedBox(this, QStringLiteral("boxChangeLanguage"));
    lblChangeLanguage = label(boxChangeLanguage, QStringLiteral("lblChangeLanguage"),
                              QStringLiteral("color: #1f2933; font-size: 13px; font-weight: 600;"));
    popUpLanguage = new QComboBox(boxChangeLanguage);
    popUpLanguage->setObjectName(QStringLiteral("popUpLanguage"));
    popUpLanguage->setMinimumWidth(160);
    popUpLanguage->setStyleSheet(
        QStringLiteral("QComboBox { border: 1px solid #d5d9de; border-radius: 6px;"
                       " padding: 4px 10px; background: white; color: #1f2933; font-size: 13px; }"
                       "QComboBox:hover { border-color: %1; }"
                       "QComboBox::drop-down { border: none; width: 24px; }"
                       "QComboBox::down-arrow { image: url(:/icons/chevronDown.svg);"
                       " width: 12px; height: 12px; }"
                       "QComboBox QAbstractItemView { border: 1px solid #d5d9de; background: white;"
                       " selection-background-color: #fdebd9; selection-color: #1f2933;"
                       " outline: none; }")
            .arg(Style::commonOrange.name()));
    popUpLanguage->setCursor(Qt::PointingHandCursor);
    auto *languageLayout = new QHBoxLayout(boxChangeLanguage);
    languageLayout->setContentsMargins(18, 10, 16, 10);
    languageLayout->addWidget(lblChangeLanguage, 1);
    languageLayout->addWidget(popUpLanguage);

    auto *tabsRow = new QHBoxLayout;
    tabsRow->addWidget(segmentedControl);
    tabsRow->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 30, 32, 28);
    layout->setSpacing(0);
    layout->addWidget(lblSetting);
    layout->addSpacing(18);
    layout->addLayout(tabsRow);
    layout->addSpacing(16);
    layout->addWidget(emailBox);
    layout->addWidget(aboutUsBox, 1);
    // Keeps the account box at the top while the About page is hidden; the language box
    // stays at the bottom on both tabs.
    layout->addStretch(0);
    layout->addSpacing(16);
    layout->addWidget(boxChangeLanguage);

    // Account editing belongs to the account screens: made through the window registry.
    editAccountSheet = CommmonFunction::shared().makeWindow(QStringLiteral("EditAccountWindowController"));

    connect(segmentedControl, &SegmentedControl::segmentChanged, this, &SettingsViewController::segmentChanged);
    connect(btnEdit, &QPushButton::clicked, this, &SettingsViewController::btnEditTapped);
    // An update changes what the card shows.
    connect(editAccountSheet, &QDialog::finished, this, &SettingsViewController::showAccount);
    connect(popUpLanguage, &QComboBox::activated, this, [this](int index) {
        if (index == 0)
            action1();
        else if (index == 1)
            action2();
    });

    viewDidLoad();
}

SettingsViewController::~SettingsViewController()
{
    // The sheet may have moved to the main window when it was shown; it goes with the screen.
    delete editAccountSheet;
}

void SettingsViewController::viewDidLoad()
{
    loadAboutPage();
    setTexts();
    segmentedControl->setSelectedSegment(0);
    segmentChanged(0);
    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("UpdateChooseLanguage"),
        [this](const QVariant &object) { updateLocalizationWithNotification(object); });
    popUpLanguage->clear();
    popUpLanguage->addItem(localizedText(QStringLiteral("English")));
    popUpLanguage->addItem(localizedText(QStringLiteral("French")));
    // The language the texts are in, so the pop-up never claims another one.
    popUpLanguage->setCurrentIndex(shownLanguage() == QLatin1String("fr") ? 1 : 0);
    showAccount();
}

void SettingsViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The account may have changed while the screen was kept out of sight.
    if (!event->spontaneous())
        showAccount();
}

void SettingsViewController::showAccount()
{
    const PreferencesStore &prefs = PreferencesStore::shared();
    emailTF->setText(prefs.stringForKey(PrefKey::user_email).value_or(QString()));
    emailTF->setCursorPosition(0);
    userNameValue->setText(prefs.stringForKey(PrefKey::user_name).value_or(QString()));
    deviceNameValue->setText(prefs.stringForKey(PrefKey::user_device).value_or(QString()));
}

void SettingsViewController::setTexts()
{
    lblSetting->setText(localizedText(QStringLiteral("Settings")));
    segmentedControl->setLabel(0, localizedText(QStringLiteral("Account")));
    segmentedControl->setLabel(1, localizedText(QStringLiteral("About Us")));
    lblEmail->setText(localizedText(QStringLiteral("Email")));
    lblUserName->setText(localizedText(QStringLiteral("Name")));
    lblDeviceName->setText(localizedText(QStringLiteral("Device Name")));
    btnEdit->setText(localizedText(QStringLiteral("Edit")));
    lblAboutBrenvik->setText(localizedText(QStringLiteral("About NIMBREL")));
    lblChangeLanguage->setText(localizedText(QStringLiteral("Change Language")));
    if (popUpLanguage->count() == 2) {
        popUpLanguage->setItemText(0, localizedText(QStringLiteral("English")));
        popUpLanguage->setItemText(1, localizedText(QStringLiteral("French")));
    }
}

void SettingsViewController::loadAboutPage()
{
    const QString page =
        shownLanguage() == QLatin1String("fr") ? QStringLiteral("nb_faq_fr") : QStringLiteral("nb_faq_en");
    webView->setSource(QUrl(QStringLiteral("qrc:/html/%1.html").arg(page)));
}

void SettingsViewController::action1()
{
    chooseLanguage(QStringLiteral("English Selected"), QStringLiteral("en"), 0);
}

void SettingsViewController::action2()
{
    chooseLanguage(QStringLiteral("French Selected"), QStringLiteral("fr"), 1);
}

void SettingsViewController::chooseLanguage(const QString &logText, const QString &code, int index)
{
    changeLanguage(logText, code);
    popUpLanguage->setCurrentIndex(index);
}

void SettingsViewController::segmentChanged(int segment)
{
    emailBox->setVisible(segment == 0);
    aboutUsBox->setVisible(segment == 1);
}

void SettingsViewController::btnEditTapped()
{
    CommmonFunction::shared().beginSheet(editAccountSheet);
}

void SettingsViewController::updateLocalizationWithNotification(const QVariant &object)
{
    if (object.typeId() != QMetaType::QString)
        return;
    setTexts();
    loadAboutPage();
}
