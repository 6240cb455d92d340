#pragma once

#include "platform/InstalledApplication.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class PinGate;
class QAbstractButton;
class QDialog;
class QFrame;
class QLabel;
class QPushButton;

enum class Protection { on, off };

// The first detail screen: whether protection is on, the big switch, PIN setup, live chat
// and uninstall.
class ProtectionViewController : public QWidget
{
    Q_OBJECT
public:
    explicit ProtectionViewController(PinGate *gate, QWidget *parent = nullptr);

    void OnOffCenter(QAbstractButton *sender);
    void SetupPinProtection(QAbstractButton *sender);
    void LiveChat(QAbstractButton *sender);
    void UninstallApp(QAbstractButton *sender);
    void buttonToggleWithNotification(const QVariant &object);
    void buttonDNSOnOffWithNotification(const QVariant &object);

    // Runs the switch itself (the on/off button queues it on the event loop).
    void toggle();
    void refreshDisplay();
    void setTexts();

    Protection protection = Protection::off;

    QLabel *OnOffLbl = nullptr;
    QLabel *BlockerLbl = nullptr;
    QLabel *OnOffimageView = nullptr;
    QPushButton *btnSetupPin = nullptr;
    QLabel *lblLive24 = nullptr;
    QLabel *lblUninstall = nullptr;
    QPushButton *btnProtectionOnOff = nullptr;
    // The live-chat and uninstall boxes, each one button as a whole.
    QPushButton *btnLiveChat = nullptr;
    QPushButton *btnUninstall = nullptr;
    QFrame *boxSetupPin = nullptr;
    int uninstallBoxWidthCons = 196;
    int setupPinProtectionWidthCons = 203;

    // What uninstalling removes, and how the process ends afterwards (tests replace both).
    InstalledApplication installedApplication = InstalledApplication::current();
    std::function<void(int)> exitProcess;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void viewWillAppear();
    // Removes the installed files, clears the DNS and signs out; stops on the first failure.
    void uninstall();
    void uninstallCompleted();

    QPointer<QDialog> liveChatWC;
    PinGate *m_gate;
    bool m_observing = false;
};
