#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "protection/ApplicationBlocker.h"

class ApplicationBlocker;
class FocusState;
class PinGate;
class QDialog;
class QFrame;
class QLabel;
class ToggleSwitch;

// One navigation item of the sidebar: a highlight box behind an icon and a label.
class SidebarItem : public QAbstractButton
{
    Q_OBJECT
public:
    SidebarItem(int tag, QWidget *parent = nullptr);
    int tag() const { return m_tag; }
    QFrame *box = nullptr;
    QLabel *imageView = nullptr;
    QLabel *label = nullptr;

protected:
    void paintEvent(QPaintEvent *) override {}
    void resizeEvent(QResizeEvent *event) override;

private:
    int m_tag;
};

// The left pane: the navigation items, the PIN-protection switch, FAQ and logout.
// Detail screens are made on first use and kept for as long as the sidebar lives.
class SidebarViewController : public QWidget
{
    Q_OBJECT
public:
    SidebarViewController(PinGate *gate, ApplicationBlocker *blocker, FocusState *focus = nullptr,
                          QWidget *parent = nullptr);

    void btnProtectionOnOffTapped(QAbstractButton *sender);
    void switchToggled(QAbstractButton *sender);
    void buttonToggleWithNotification(const QVariant &object);
    void updateLocalizationWithNotification(const QVariant &object);
    SidebarItem *item(int tag) const;

    ToggleSwitch *pinSwitch = nullptr;
    QLabel *firstOptionLbl = nullptr;
    QLabel *lblPinProtection = nullptr;
    QLabel *lblAppBlockList = nullptr;
    QLabel *lblWebsiteBlockList = nullptr;
    QLabel *lblWebsiteOrCategoryBlocking = nullptr;
    QLabel *lblSetting = nullptr;
    QLabel *lblFAQ = nullptr;
    QLabel *lblLogout = nullptr;
    QLabel *lblFocus = nullptr;

    QPointer<QFrame> previousSelectedBox;
    QPointer<QLabel> previousSelectedImageView;
    int previouslySelectedBtnTag = 0;
    QPointer<QLabel> previouslySelectedLabel;
    const QStringList arrImages{"shield", "appBlockList", "websiteBlockList", "settings", "faq", "logout", "websiteBlockList", "focus"};
    const QStringList arrSelectedImages{"shieldSelected", "appBlockListSelected", "websiteBlockListSelected",
                                        "settingsSelected", "faq", "logout", "websiteBlockListSelected",
                                        "focusSelected"};

    QPointer<QWidget> protectionVC;
    QPointer<QWidget> blockAppsVC;
    // The installed applications, read once, the first time the Block Apps screen is chosen:
    // every desktop entry and icon theme is read, which most starts never need.
    QList<ApplicationDetail> wholeData;
    bool m_catalogueBuilt = false;
    QPointer<QWidget> categoryBlockingVC;
    QPointer<QWidget> blackListWebsiteVC;
    QPointer<QWidget> settingsVC;
    QPointer<QWidget> focusVC;
    QPointer<QDialog> wc;     // the FAQ window
    QPointer<QDialog> window; // the PIN-protection-off choice

signals:
    // Asks the split view to show this screen in the detail pane.
    void showDetail(QWidget *controller);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setTexts();
    void showController(QPointer<QWidget> &slot, const std::function<QWidget *()> &make);
    void confirmLogout();
    SidebarItem *addItem(int tag, QLabel *&label);

    QList<SidebarItem *> m_items;
    PinGate *m_gate;
    ApplicationBlocker *m_blocker;
    QPointer<FocusState> m_focus;
};

QIcon sidebarIcon(const QString &name);
void setImage(QLabel *imageView, const QString &name);
