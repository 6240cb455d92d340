#include "SidebarViewController.h"

#include "controls/ToggleSwitch.h"
#include "api/FocusState.h"
#include "core/Log.h"
#include "focus/FocusViewController.h"
#include "lists/BlackListWebsitesViewController.h"
#include "lists/CategoriesBlockingViewController.h"
#include "pin/PinGate.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "protection/BlockAppsViewController.h"
#include "protection/ProtectionViewController.h"
#include "settings/SettingsViewController.h"
#include "texts/LocalizedText.h"
#include "ui/BlockPage.h"
#include "ui/CommmonFunction.h"
#include "ui/PlaceholderSheet.h"
#include "ui/Style.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QResizeEvent>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
QFont itemFont(QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(13);
    font.setWeight(weight);
    return font;
}
} // namespace

QIcon sidebarIcon(const QString &name)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

// Shows the named image and keeps its name, which is what the selection rules speak of.
void setImage(QLabel *imageView, const QString &name)
{
    imageView->setPixmap(sidebarIcon(name).pixmap(20, 20));
    imageView->setProperty("imageName", name);
}

SidebarItem::SidebarItem(int tag, QWidget *parent)
    : QAbstractButton(parent)
    , m_tag(tag)
{
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(40);
    box = new QFrame(this);
    box->setObjectName(QStringLiteral("box"));
    box->setStyleSheet(QStringLiteral("QFrame#box { background: #fdebd9; border-radius: 8px; }"));
    box->hide();
    imageView = new QLabel(this);
    imageView->setFixedSize(20, 20);
    label = new QLabel(this);
    label->setStyleSheet(QStringLiteral("color: #1f2933;"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 0, 10, 0);
    layout->setSpacing(10);
    layout->addWidget(imageView);
    layout->addWidget(label, 1);
}

void SidebarItem::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    box->setGeometry(rect());
    box->lower();
}

SidebarViewController::SidebarViewController(PinGate *gate, ApplicationBlocker *blocker, FocusState *focus,
                                             QWidget *parent)
    : QWidget(parent)
    , m_gate(gate)
    , m_blocker(blocker)
    , m_focus(focus)
{
    setObjectName(QStringLiteral("SidebarViewController"));
    setFixedWidth(230);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF4, 0xF5, 0xF7));
    setPalette(pal);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 18, 10, 14);
    layout->setSpacing(4);

    auto *logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("topViewInSideBar"));
    logo->setPixmap(QIcon(QStringLiteral(":/icons/nimbrel-logo.svg")).pixmap(28, 28));
    auto *name = new QLabel(QStringLiteral("Nimbrel"), this);
    name->setStyleSheet(QStringLiteral("font-size: 17px; font-weight: 700; color: #1f2933;"));
    auto *top = new QHBoxLayout;
    top->setContentsMargins(12, 0, 0, 0);
    top->setSpacing(8);
    top->addWidget(logo);
    top->addWidget(name, 1);
    layout->addLayout(top);
    layout->addSpacing(18);

    layout->addWidget(addItem(1, firstOptionLbl));
    layout->addWidget(addItem(2, lblAppBlockList));
    layout->addWidget(addItem(3, lblWebsiteBlockList));
    layout->addWidget(addItem(7, lblWebsiteOrCategoryBlocking));
    layout->addWidget(addItem(8, lblFocus));
    layout->addWidget(addItem(4, lblSetting));

    // The PIN-protection switch sits between the screens and the actions.
    auto *pinRow = new QHBoxLayout;
    pinRow->setContentsMargins(14, 8, 8, 8);
    lblPinProtection = new QLabel(this);
    lblPinProtection->setObjectName(QStringLiteral("lblPinProtection"));
    lblPinProtection->setFont(itemFont(QFont::Normal));
    pinSwitch = new ToggleSwitch(this);
    pinSwitch->setObjectName(QStringLiteral("switch"));
    pinRow->addWidget(lblPinProtection, 1);
    pinRow->addWidget(pinSwitch);
    layout->addLayout(pinRow);

    layout->addStretch();
    layout->addWidget(addItem(5, lblFAQ));
    layout->addWidget(addItem(6, lblLogout));

    setTexts();
    // Item 1 starts selected: the split view already shows the protection screen.
    SidebarItem *first = item(1);
    first->box->show();
    setImage(first->imageView, arrSelectedImages.at(0));
    first->label->setFont(itemFont(QFont::Medium));
    previousSelectedBox = first->box;
    previousSelectedImageView = first->imageView;
    previouslySelectedLabel = first->label;
    previouslySelectedBtnTag = 1;

    connect(pinSwitch, &QAbstractButton::clicked, this, [this] { switchToggled(pinSwitch); });
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(this, QStringLiteral("pin_protection_off"),
                       [this](const QVariant &object) { buttonToggleWithNotification(object); });
    center.addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                       [this](const QVariant &object) { updateLocalizationWithNotification(object); });
    if (m_focus)
        connect(m_focus, &FocusState::changed, this, &SidebarViewController::setTexts);
    if (m_blocker) {
        // Installed or removed since: the Block Apps rows follow, once they have been read.
        connect(m_blocker, &ApplicationBlocker::catalogueChanged, this, [this] {
            if (!m_catalogueBuilt)
                return;
            wholeData = m_blocker->buildApplicationCatalogue();
            if (blockAppsVC)
                static_cast<BlockAppsViewController *>(blockAppsVC.data())->setWholeData(wholeData);
        });
    }
}

SidebarItem *SidebarViewController::addItem(int tag, QLabel *&label)
{
    auto *entry = new SidebarItem(tag, this);
    entry->setObjectName(QStringLiteral("item%1").arg(tag));
    setImage(entry->imageView, arrImages.at(tag - 1));
    entry->label->setFont(itemFont(QFont::Normal));
    label = entry->label;
    connect(entry, &QAbstractButton::clicked, this, [this, entry] { btnProtectionOnOffTapped(entry); });
    m_items.append(entry);
    return entry;
}

SidebarItem *SidebarViewController::item(int tag) const
{
    for (SidebarItem *entry : m_items) {
        if (entry->tag() == tag)
            return entry;
    }
    return nullptr;
}

void SidebarViewController::setTexts()
{
    firstOptionLbl->setText(localizedText(QStringLiteral("Protection On/Off")));
    lblPinProtection->setText(localizedText(QStringLiteral("Pin Protection")));
    lblAppBlockList->setText(localizedText(QStringLiteral("App Block List")));
    lblWebsiteBlockList->setText(localizedText(QStringLiteral("Categories Blocking")));
    lblWebsiteOrCategoryBlocking->setText(localizedText(QStringLiteral("Website Black List")));
    lblSetting->setText(localizedText(QStringLiteral("Settings")));
    lblFAQ->setText(localizedText(QStringLiteral("FAQ")));
    lblLogout->setText(localizedText(QStringLiteral("Logout")));
    lblFocus->setText(localizedText(QStringLiteral("Focus")));
    const bool missing = m_focus && m_focus->offer() == FocusState::Offer::missing;
    item(8)->setToolTip(missing ? localizedText(QStringLiteral("This server does not offer focus sessions.")) : QString());
}

void SidebarViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"),
                                                 PreferencesStore::shared().boolForKey(PrefKey::isPinSeted));
    }
}

void SidebarViewController::btnProtectionOnOffTapped(QAbstractButton *sender)
{
    auto *selected = qobject_cast<SidebarItem *>(sender);
    if (!selected)
        return;
    if (previousSelectedBox)
        previousSelectedBox->hide();
    if (previousSelectedImageView && previouslySelectedBtnTag >= 1)
        setImage(previousSelectedImageView, arrImages.value(previouslySelectedBtnTag - 1));
    if (previouslySelectedLabel)
        previouslySelectedLabel->setFont(itemFont(QFont::Normal));

    const int tag = selected->tag();
    selected->box->show();
    previousSelectedBox = selected->box;
    setImage(selected->imageView, arrSelectedImages.value(tag - 1));
    previousSelectedImageView = selected->imageView;
    previouslySelectedBtnTag = tag;
    selected->label->setFont(itemFont(QFont::Medium));
    previouslySelectedLabel = selected->label;

    switch (tag) {
    case 1:
        showController(protectionVC, [this] { return new ProtectionViewController(m_gate); });
        break;
    case 2:
        if (!m_catalogueBuilt && m_blocker) {
            m_catalogueBuilt = true;
            wholeData = m_blocker->buildApplicationCatalogue();
        }
        if (!blockAppsVC)
            blockAppsVC = new BlockAppsViewController(m_gate, m_blocker);
        if (!wholeData.isEmpty())
            static_cast<BlockAppsViewController *>(blockAppsVC.data())->setWholeData(wholeData);
        emit showDetail(blockAppsVC);
        break;
    case 3:
        showController(categoryBlockingVC, [this] { return new CategoriesBlockingViewController(m_gate); });
        break;
    case 7:
        showController(blackListWebsiteVC, [this] { return new BlackListWebsitesViewController(m_gate); });
        break;
    case 8:
        showController(focusVC, [this] { return new FocusViewController(m_focus); });
        break;
    case 4:
        showController(settingsVC, [] { return new SettingsViewController; });
        break;
    case 5:
        CommmonFunction::shared().blockPageRequest().clear();
        if (wc) {
            wc->close();
            wc->deleteLater();
        }
        wc = CommmonFunction::shared().makeWindow(QStringLiteral("FAQWC"));
        if (wc) {
            wc->show();
            wc->raise();
        }
        break;
    case 6:
        confirmLogout();
        break;
    default:
        break;
    }
}

void SidebarViewController::showController(QPointer<QWidget> &slot, const std::function<QWidget *()> &make)
{
    if (!slot)
        slot = make();
    emit showDetail(slot);
}

void SidebarViewController::confirmLogout()
{
    AlertPresenter::shared().showChoiceAlert(
        localizedText(QStringLiteral("Are you sure?")),
        localizedText(QStringLiteral("Any changes done while logged out will not be synced")),
        {localizedText(QStringLiteral("Ok")), localizedText(QStringLiteral("Cancel"))}, [](int choice) {
            if (choice == 0) {
                Log::line(QStringLiteral("OK Tapped"));
                CommmonFunction::shared().startLogout();
            } else if (choice == 1) {
                Log::line(QStringLiteral("Cancel Tapped"));
            } else {
                Log::line(QStringLiteral("No option"));
            }
        });
}

void SidebarViewController::switchToggled(QAbstractButton *sender)
{
    CommmonFunction &common = CommmonFunction::shared();
    PreferencesStore &prefs = PreferencesStore::shared();
    if (!sender->isChecked()) {
        window = common.makeWindow(QStringLiteral("PinProtectionOff"));
        // However the choice ends (a change, the gate, Back, Escape), the switch then shows
        // what is stored, never a state nobody confirmed.
        connect(window, &QDialog::finished, this, [this] {
            pinSwitch->setChecked(PreferencesStore::shared().boolForKey(PrefKey::isPinEnable));
        });
        if (!common.beginSheet(window))
            delete window;
    } else if (prefs.boolForKey(PrefKey::isPinSeted)) {
        prefs.setBool(PrefKey::isPinEnable, true);
    } else {
        sender->setChecked(false);
        QDialog *setup = common.makeWindow(QStringLiteral("PinProtectionWC"));
        if (!common.beginSheet(setup))
            delete setup;
    }
}

void SidebarViewController::buttonToggleWithNotification(const QVariant &object)
{
    const bool on = object.toInt() == 1;
    pinSwitch->setChecked(on);
    PreferencesStore::shared().setBool(PrefKey::isPinEnable, on);
}

void SidebarViewController::updateLocalizationWithNotification(const QVariant &object)
{
    if (object.typeId() == QMetaType::QString)
        setTexts();
}
