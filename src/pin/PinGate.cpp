#include "PinGate.h"

#include "VerifyPin.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "ui/CommmonFunction.h"

PinGate::PinGate(QObject *parent)
    : QObject(parent)
{
}

PinGate::~PinGate()
{
    delete m_dialog;
}

void PinGate::ask(PinAction::Code code, Change change)
{
    m_pending = code;
    m_change = std::move(change);
    if (!PreferencesStore::shared().boolForKey(PrefKey::isPinEnable)) {
        if (m_change)
            m_change([](bool) {});
        return;
    }
    CommmonFunction::shared().beginSheet(dialog());
}

void PinGate::ask(PinAction::Code code, PinGatedScreen *screen)
{
    switch (code) {
    case PinAction::UnblockApplication:
        blockAppsViewController = screen;
        break;
    case PinAction::UnblockWebsite:
        blackListWebsitesViewController = screen;
        break;
    case PinAction::UnblockCategory:
        categoryBlockingViewController = screen;
        break;
    default:
        return;
    }
    // The back-reference is read when the change runs, as the screen may be replaced meanwhile.
    ask(code, [this, code](Finish finish) {
        PinGatedScreen *target = code == PinAction::UnblockApplication ? blockAppsViewController
                                 : code == PinAction::UnblockWebsite   ? blackListWebsitesViewController
                                                                       : categoryBlockingViewController;
        if (target)
            target->performPinAction(code, std::move(finish));
        else
            finish(true);
    });
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
    NotificationCenter &center = NotificationCenter::defaultCenter();
    switch (m_pending) {
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
    if (!m_dialog)
        m_dialog = new VerifyPin(this, CommmonFunction::shared().mainWindow());
    return m_dialog;
}
