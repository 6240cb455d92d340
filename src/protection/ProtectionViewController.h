#pragma once

#include "platform/InstalledApplication.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class ChangeGate;
class QAbstractButton;
class QDialog;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

enum class Protection { on, off };

// The first detail screen: whether protection is on, the big switch, PIN setup, live chat
// and uninstall.
class ProtectionViewController : public QWidget
{
    Q_OBJECT
public:
    explicit ProtectionViewController(ChangeGate *gate, QWidget *parent = nullptr);

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

    // What the system shows. "dnsLastStatus" is the user's choice and is written only by the
    // switch and uninstall, never from this: a failed apply shows OFF while the watchdog keeps
    // trying, and leaving the screen then must not switch the watchdog off.
    Protection protection = Protection::off;

    QLabel *OnOffLbl = nullptr;
    QLabel *BlockerLbl = nullptr;
    // While protection is on: whether the system's own look-ups really reach the filter.
    QLabel *m_filterCheckLbl = nullptr;
    QLabel *m_encryptionLbl = nullptr;
    QLabel *OnOffimageView = nullptr;
    QPushButton *btnSetupPin = nullptr;
    QLabel *lblLive24 = nullptr;
    QLabel *lblUninstall = nullptr;
    QPushButton *btnProtectionOnOff = nullptr;
    // Runs while a switch waits for its outcome.
    QProgressBar *m_busy = nullptr;
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
    // Asks the system resolver again and shows the answer (protection on and screen shown).
    void checkLookups();
    // Clears the DNS once the PIN gate let it (protection on).
    void switchOff();
    void clearAfterAccount();
    // Writes "dnsLastStatus" true while the screen shows protection on.
    void keepWatching();
    // Clears the DNS, removes the installed files, signs out and ends; stops with an alert
    // when the DNS cannot be cleared.
    void uninstall();
    void removeFiles();
    void signOutAndEnd();
    void uninstallCompleted();

    QPointer<QDialog> liveChatWC;
    ChangeGate *m_gate;
    bool m_observing = false;
    // A switch is waiting for its outcome: the switch is disabled and shows it is busy.
    bool m_switching = false;
    enum class LookupCheck { unknown, checking, throughFilter, notThroughFilter };
    LookupCheck m_lookupCheck = LookupCheck::unknown;
    int m_lookupGeneration = 0;
};
