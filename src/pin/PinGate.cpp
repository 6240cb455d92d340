#include "PinGate.h"

#include "RetrivePinPage.h"
#include "VerifyPin.h"
#include "api/FocusState.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLineEdit>

namespace {
bool signedIn()
{
    return !PreferencesStore::shared().stringForKey(PrefKey::loginToken).value_or(QString()).isEmpty();
}

void offerSignIn()
{
    CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                     messageText(QStringLiteral("Sign in first: your PIN is checked with your account.")));
    CommmonFunction &common = CommmonFunction::shared();
    if (!common.signInShown())
        common.showLogIn();
}
} // namespace

PinGate::PinGate(QObject *parent)
    : ChangeGate(parent)
{
}

PinGate::~PinGate()
{
    delete m_dialog;
}

void PinGate::setFocusState(FocusState *state)
{
    m_focus = state;
}

bool PinGate::refused(PinAction::Code code)
{
    const bool endsProtection =
        code == PinAction::Quit || code == PinAction::Logout || code == PinAction::Uninstall;
    if (endsProtection && m_focus && m_focus->locked()) {
        // No PIN lifts the lock: the server would refuse the sign-out, and quitting or
        // uninstalling would stop what keeps the blocks on this computer.
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Focus")), m_focus->lockedMessage());
        return true;
    }
    if (isAsking()) {
        // The change already waiting keeps its place; this one goes back as if cancelled.
        bringToFront();
        postCancelled(code);
        return true;
    }
    if (PreferencesStore::shared().boolForKey(PrefKey::isPinEnable) && !signedIn()) {
        // Without a session the check would go out with the application's token and be refused.
        postCancelled(code);
        offerSignIn();
        return true;
    }
    return false;
}

bool PinGate::ask(PinAction::Code code, Change change)
{
    if (refused(code))
        return false;
    m_pending = code;
    m_change = std::move(change);
    if (!PreferencesStore::shared().boolForKey(PrefKey::isPinEnable)) {
        if (m_change)
            m_change([](bool) {});
        return true;
    }
    VerifyPin *verify = dialog();
    verify->pinTF->clear();
    m_asking = CommmonFunction::shared().beginSheet(verify);
    return true;
}

bool PinGate::ask(PinAction::Code code, PinGatedScreen *screen)
{
    if (code != PinAction::UnblockApplication && code != PinAction::UnblockWebsite &&
        code != PinAction::UnblockCategory)
        return false;
    if (refused(code))
        return false;
    switch (code) {
    case PinAction::UnblockApplication:
        blockAppsViewController = screen;
        break;
    case PinAction::UnblockWebsite:
        blackListWebsitesViewController = screen;
        break;
    default:
        categoryBlockingViewController = screen;
        break;
    }
    // The back-reference is read when the change runs, as the screen may be replaced meanwhile.
    return ask(code, [this, code](Finish finish) {
        PinGatedScreen *target = code == PinAction::UnblockApplication ? blockAppsViewController
                                 : code == PinAction::UnblockWebsite   ? blackListWebsitesViewController
                                                                       : categoryBlockingViewController;
        if (target)
            target->performPinAction(code, std::move(finish));
        else
            finish(true);
    });
}

bool PinGate::isAsking() const
{
    return m_asking && m_dialog;
}

void PinGate::bringToFront()
{
    CommmonFunction &common = CommmonFunction::shared();
    if (CustomWindow *main = common.mainWindow()) {
        main->show();
        main->raise();
        main->activateWindow();
    }
    if (!m_dialog)
        return;
    QDialog *front = m_dialog;
    if (m_dialog->retrievePage && m_dialog->retrievePage->isVisible())
        front = m_dialog->retrievePage.data();
    else if (!m_dialog->isVisible())
        common.beginSheet(m_dialog); // hidden with its window: shown again
    front->raise();
    front->activateWindow();
}

void PinGate::carryOut(Finish finish)
{
    if (m_pending == PinAction::None || !m_change) {
        finish(false);
        return;
    }
    m_change(std::move(finish));
}

void PinGate::cancelled()
{
    postCancelled(m_pending);
}

void PinGate::signedOut()
{
    if (m_dialog)
        m_dialog->cancel();
    offerSignIn();
}

void PinGate::postCancelled(PinAction::Code code)
{
    NotificationCenter &center = NotificationCenter::defaultCenter();
    switch (code) {
    case PinAction::DisablePin:
        center.post(QStringLiteral("pin_protection_off"), PreferencesStore::shared().boolForKey(PrefKey::isPinSeted));
        break;
    case PinAction::UnblockApplication:
        center.post(QStringLiteral("BlockAppSwitchState"), true);
        break;
    case PinAction::UnblockWebsite:
        center.post(QStringLiteral("BlackListWebsiteState"), true);
        break;
    case PinAction::UnblockCategory:
        center.post(QStringLiteral("BlockCategorySwitchState"), true);
        break;
    default:
        break;
    }
}

VerifyPin *PinGate::dialog()
{
    if (!m_dialog) {
        m_dialog = new VerifyPin(this, CommmonFunction::shared().mainWindow());
        // However it ends (a carried-out change, Cancel, Escape), the next request may ask.
        connect(m_dialog, &QDialog::finished, this, [this] { m_asking = false; });
    }
    return m_dialog;
}
