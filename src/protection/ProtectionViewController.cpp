#include "ProtectionViewController.h"

#include "DNSConfiguration.h"
#include "FilterProbe.h"
#include "ProtectionAlerts.h"
#include "api/CommonWS.h"
#include "api/FocusState.h"
#include "core/Log.h"
#include "ui/ChangeGate.h"
#include "platform/AlertPresenter.h"
#include "platform/LaunchAgent.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"
#include "ui/Style.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QColor onColour(52, 126, 100);
// The envelope code of a weakening change refused while the account holds its blocks.
constexpr qint64 lockedCode = 423;

// A box of the bottom row, an icon and a text, that is one button: a click anywhere on it counts.
QPushButton *boxButton(const QString &name, const QString &icon, QLabel *label, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    button->setFixedHeight(48);
    button->setStyleSheet(
        QStringLiteral("QPushButton#%1 { background: #f6f7f9; border: 1px solid #e3e6ea; border-radius: 8px; }"
                       "QPushButton#%1:hover { background: #eef0f3; }"
                       "QPushButton#%1:pressed { background: #e4e7eb; }")
            .arg(name));
    auto *iconView = new QLabel(button);
    iconView->setPixmap(QIcon(icon).pixmap(22, 22));
    label->setParent(button);
    label->setStyleSheet(QStringLiteral("color: #1f2933; font-size: 13px; background: transparent;"));
    for (QLabel *part : {iconView, label})
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *layout = new QHBoxLayout(button);
    layout->setContentsMargins(12, 0, 16, 0);
    layout->setSpacing(10);
    layout->addWidget(iconView);
    layout->addWidget(label, 1);
    return button;
}
} // namespace

ProtectionViewController::ProtectionViewController(ChangeGate *gate, QWidget *parent)
    : QWidget(parent)
    , exitProcess([](int status) {
        stopLoginUnit();
        QCoreApplication::exit(status);
    })
    , m_gate(gate)
{
    setObjectName(QStringLiteral("ProtectionViewController"));

    btnProtectionOnOff = new QPushButton(this);
    btnProtectionOnOff->setObjectName(QStringLiteral("btnProtectionOnOff"));
    btnProtectionOnOff->setFixedSize(170, 170);
    btnProtectionOnOff->setCursor(Qt::PointingHandCursor);
    btnProtectionOnOff->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
    OnOffimageView = new QLabel(btnProtectionOnOff);
    OnOffimageView->setObjectName(QStringLiteral("OnOffimageView"));
    OnOffimageView->setGeometry(0, 0, 170, 170);
    OnOffimageView->setAttribute(Qt::WA_TransparentForMouseEvents);

    OnOffLbl = new QLabel(this);
    OnOffLbl->setObjectName(QStringLiteral("OnOffLbl"));
    OnOffLbl->setAlignment(Qt::AlignCenter);
    QFont big = OnOffLbl->font();
    big.setPixelSize(30);
    big.setWeight(QFont::Bold);
    OnOffLbl->setFont(big);
    BlockerLbl = new QLabel(this);
    BlockerLbl->setObjectName(QStringLiteral("BlockerLbl"));
    BlockerLbl->setAlignment(Qt::AlignCenter);
    QFont medium = BlockerLbl->font();
    medium.setPixelSize(15);
    BlockerLbl->setFont(medium);
    m_filterCheckLbl = new QLabel(this);
    m_filterCheckLbl->setObjectName(QStringLiteral("m_filterCheckLbl"));
    m_filterCheckLbl->setAlignment(Qt::AlignCenter);
    m_filterCheckLbl->setWordWrap(true);
    m_encryptionLbl = new QLabel(this);
    m_encryptionLbl->setObjectName(QStringLiteral("m_encryptionLbl"));
    m_encryptionLbl->setAlignment(Qt::AlignCenter);
    m_encryptionLbl->setWordWrap(true);
    m_encryptionLbl->setVisible(false);
    // Shown while a change or the filter's probe runs, which can take several seconds.
    m_busy = new QProgressBar(this);
    m_busy->setObjectName(QStringLiteral("m_busy"));
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedSize(170, 4);
    m_busy->setVisible(false);

    boxSetupPin = new QFrame(this);
    boxSetupPin->setObjectName(QStringLiteral("boxSetupPin"));
    btnSetupPin = new QPushButton(boxSetupPin);
    btnSetupPin->setObjectName(QStringLiteral("btnSetupPin"));
    btnSetupPin->setCursor(Qt::PointingHandCursor);
    btnSetupPin->setIcon(QIcon(QStringLiteral(":/icons/lock.svg")));
    btnSetupPin->setFixedHeight(40);
    // Bezel of rgb(127, 211, 193) at 10 %, content tinted rgb(77, 153, 136).
    btnSetupPin->setStyleSheet(QStringLiteral("QPushButton { background: rgba(127, 211, 193, 26); color: rgb(77, 153, 136);"
                                              " border: 1px solid rgba(77, 153, 136, 90); border-radius: 8px;"
                                              " font-size: 13px; font-weight: 600; padding: 0 8px; }"
                                              "QPushButton:pressed { background: rgba(127, 211, 193, 60); }"));
    auto *pinLayout = new QHBoxLayout(boxSetupPin);
    pinLayout->setContentsMargins(0, 0, 0, 0);
    pinLayout->addWidget(btnSetupPin);

    lblLive24 = new QLabel(this);
    lblLive24->setObjectName(QStringLiteral("lblLive24"));
    btnLiveChat = boxButton(QStringLiteral("btnLiveChat"), QStringLiteral(":/icons/chat.svg"), lblLive24, this);
    lblUninstall = new QLabel(this);
    lblUninstall->setObjectName(QStringLiteral("lblUninstall"));
    btnUninstall = boxButton(QStringLiteral("btnUninstall"), QStringLiteral(":/icons/trash.svg"), lblUninstall, this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 36, 32, 28);
    layout->setSpacing(0);
    layout->addWidget(btnProtectionOnOff, 0, Qt::AlignHCenter);
    layout->addSpacing(6);
    layout->addWidget(m_busy, 0, Qt::AlignHCenter);
    layout->addSpacing(6);
    layout->addWidget(OnOffLbl);
    layout->addSpacing(4);
    layout->addWidget(BlockerLbl);
    layout->addSpacing(6);
    layout->addWidget(m_filterCheckLbl);
    layout->addSpacing(4);
    layout->addWidget(m_encryptionLbl);
    layout->addSpacing(22);
    layout->addWidget(boxSetupPin, 0, Qt::AlignHCenter);
    layout->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(16);
    bottom->addStretch();
    bottom->addWidget(btnLiveChat);
    bottom->addWidget(btnUninstall);
    bottom->addStretch();
    layout->addLayout(bottom);

    connect(btnProtectionOnOff, &QPushButton::clicked, this, [this] { OnOffCenter(btnProtectionOnOff); });
    connect(btnSetupPin, &QPushButton::clicked, this, [this] { SetupPinProtection(btnSetupPin); });
    connect(btnLiveChat, &QPushButton::clicked, this, [this] { LiveChat(btnLiveChat); });
    connect(btnUninstall, &QPushButton::clicked, this, [this] { UninstallApp(btnUninstall); });

    setTexts();
    // Nothing posts this one; it is observed so peers can ask the screen to refresh.
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("DNSServerButton"), [this](const QVariant &) {
        refreshDisplay();
    });
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                                                    [this](const QVariant &) { setTexts(); });
    boxSetupPin->setVisible(!PreferencesStore::shared().boolForKey(PrefKey::isPinSeted));
    // The watchdog's checks and network changes refresh the look-up line.
    connect(&DNSConfiguration::shared(), &DNSConfiguration::dnsChecked, this, [this](bool configured) {
        if (!isVisible())
            return;
        protection = configured ? Protection::on : Protection::off;
        keepWatching();
        refreshDisplay();
        // A switch asks once, when it is done.
        if (!m_switching)
            checkLookups();
    });
    // Until a check answers, the last one known is shown.
    protection = DNSConfiguration::shared().configuredAtLastCheck() ? Protection::on : Protection::off;
    refreshDisplay();
}

void ProtectionViewController::setTexts()
{
    btnSetupPin->setText(localizedText(QStringLiteral("Setup Pin Protection")));
    lblLive24->setText(localizedText(QStringLiteral("Live Chat 24/7")));
    lblUninstall->setText(localizedText(QStringLiteral("Uninstall App")));
    refreshDisplay();
    QTimer::singleShot(0, this, [this] {
        const bool french = PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage) == QLatin1String("fr");
        uninstallBoxWidthCons = french ? 210 : 196;
        setupPinProtectionWidthCons = french ? 313 : 203;
        btnUninstall->setFixedWidth(uninstallBoxWidthCons);
        boxSetupPin->setFixedWidth(setupPinProtectionWidthCons);
        // A button sizes itself by its own text, which this one leaves to its label: the
        // box widens with a longer translation instead of cutting it.
        btnLiveChat->setMinimumWidth(qMax(196, btnLiveChat->layout()->sizeHint().width()));
    });
}

void ProtectionViewController::refreshDisplay()
{
    const bool on = protection == Protection::on;
    OnOffimageView->setPixmap(QIcon(on ? QStringLiteral(":/icons/protectionOn.svg") : QStringLiteral(":/icons/protectionOff.svg"))
                                  .pixmap(170, 170));
    OnOffLbl->setText(localizedText(on ? QStringLiteral("ON") : QStringLiteral("OFF")));
    const QString blocker = m_switching ? (on ? QStringLiteral("Turning protection off...") : QStringLiteral("Turning protection on..."))
        : on                            ? QStringLiteral("Blocker Is On!")
                                        : QStringLiteral("Tap to Turn on a blocker");
    BlockerLbl->setText(localizedText(blocker));
    btnProtectionOnOff->setEnabled(!m_switching);
    btnProtectionOnOff->setCursor(m_switching ? Qt::BusyCursor : Qt::PointingHandCursor);
    m_busy->setVisible(m_switching);
    const QString colour = on ? onColour.name() : QStringLiteral("#000000");
    OnOffLbl->setStyleSheet(QStringLiteral("color: %1;").arg(colour));
    BlockerLbl->setStyleSheet(QStringLiteral("color: %1;").arg(colour));

    QString check;
    QString checkColour = QStringLiteral("#52606d");
    if (on) {
        switch (m_lookupCheck) {
        case LookupCheck::unknown:
            break;
        case LookupCheck::checking:
            check = localizedText(QStringLiteral("Checking that look-ups go through the filter..."));
            break;
        case LookupCheck::throughFilter:
            check = localizedText(QStringLiteral("Look-ups go through the filter."));
            checkColour = onColour.name();
            break;
        case LookupCheck::notThroughFilter:
            check = localizedText(QStringLiteral("Look-ups do not go through the filter yet."));
            checkColour = QStringLiteral("#b44d12");
            break;
        }
    }
    m_filterCheckLbl->setText(check);
    m_filterCheckLbl->setStyleSheet(QStringLiteral("color: %1; font-size: 12px;").arg(checkColour));
    m_filterCheckLbl->setVisible(!check.isEmpty());

    // How this device's look-ups reach the filter: encrypted under its own name, or in the clear
    // from an address other accounts share (then the filter applies all their lists here).
    QString encryption;
    if (on && !m_switching) {
        if (DNSConfiguration::shared().encrypted())
            encryption = localizedText(QStringLiteral("Encrypted, this device"));
        else if (PreferencesStore::shared().boolForKey(PrefKey::sharedAddress)) {
            encryption = localizedText(QStringLiteral("Your network is shared: encrypted DNS would give you your own lists"));
            // The account gave this device a name, so only this computer lacks what encrypts.
            if (PreferencesStore::shared().stringForKey(PrefKey::dotHost))
                encryption += QLatin1Char('\n') + localizedText(QStringLiteral(
                                  "To get them, install systemd-resolved."));
        }
    }
    m_encryptionLbl->setText(encryption);
    m_encryptionLbl->setStyleSheet(QStringLiteral("color: #52606d; font-size: 12px;"));
    m_encryptionLbl->setVisible(!encryption.isEmpty());
}

void ProtectionViewController::checkLookups()
{
    if (protection != Protection::on) {
        m_lookupCheck = LookupCheck::unknown;
        refreshDisplay();
        return;
    }
    if (m_lookupCheck == LookupCheck::unknown)
        m_lookupCheck = LookupCheck::checking;
    const int generation = ++m_lookupGeneration;
    refreshDisplay();
    FilterProbe::askSystemResolver(this, [this, generation](bool through) {
        // Only the latest question counts.
        if (generation != m_lookupGeneration)
            return;
        m_lookupCheck = through ? LookupCheck::throughFilter : LookupCheck::notThroughFilter;
        refreshDisplay();
    });
}

void ProtectionViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        viewWillAppear();
}

void ProtectionViewController::viewWillAppear()
{
    if (!m_observing) {
        m_observing = true;
        NotificationCenter &center = NotificationCenter::defaultCenter();
        center.addObserver(this, QStringLiteral("pin_protection_off"),
                           [this](const QVariant &object) { buttonToggleWithNotification(object); });
        center.addObserver(this, QStringLiteral("DNS_State"),
                           [this](const QVariant &object) { buttonDNSOnOffWithNotification(object); });
    }
    refreshDisplay();
    setTexts();
    // The answer comes through dnsChecked, which also asks the system resolver again; the
    // state shown stays until then.
    DNSConfiguration::shared().checkDnsConfigured();
}


void ProtectionViewController::OnOffCenter(QAbstractButton *)
{
    QTimer::singleShot(0, this, [this] { toggle(); });
}

void ProtectionViewController::toggle()
{
    // A switch waiting for its outcome: further presses are ignored.
    if (m_switching)
        return;
    if (protection == Protection::on) {
        if (!CommonWS::signedIn()) {
            // Nobody to ask the PIN of: a signed-out computer stays protected.
            CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                             messageText(QStringLiteral("Sign in to turn protection off.")),
                                             [] { CommmonFunction::shared().showLogIn(); });
            return;
        }
        QPointer<ProtectionViewController> self(this);
        m_gate->ask(PinAction::ProtectionOff, [self](ChangeGate::Finish finish) {
            if (self)
                self->switchOff();
            finish(true);
        });
    } else {
        // Turning protection on never needs the PIN. The filter is asked first; the window
        // stays responsive meanwhile.
        m_switching = true;
        QPointer<ProtectionViewController> self(this);
        DNSConfiguration::shared().applyFromSwitch(
            [self] {
                if (self)
                    self->protection = Protection::on;
            },
            [self](const DnsOutcome &outcome) {
                // On, or an alert: either way the switch is free again.
                if (!self)
                    return;
                self->m_switching = false;
                self->refreshDisplay();
                if (!outcome.ok())
                    showDnsFailure(outcome);
                self->checkLookups();
            });
    }
    refreshDisplay();
}

void ProtectionViewController::keepWatching()
{
    // Shown as on means watched: the watchdog follows "dnsLastStatus". Nothing here writes
    // false; only a switch-off does.
    if (protection == Protection::on && !PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus))
        PreferencesStore::shared().setBool(PrefKey::dnsLastStatus, true);
}

void ProtectionViewController::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    keepWatching();
}

void ProtectionViewController::switchOff()
{
    m_switching = true;
    refreshDisplay();
    QPointer<ProtectionViewController> self(this);
    // The account is asked first: where it keeps the device protected without a verified PIN,
    // nothing changes here. A server that does not keep it, or no answer, leaves the decision
    // to this computer as before (the PIN gate needed the server already).
    CommonWS::shared().syncURL(
        [self](const BaseModel<SyncURLModel> &answer, bool ok) {
            if (!self)
                return;
            if (ok && answer.code == lockedCode) {
                // The account holds its blocks (a focus session or a locking window): the
                // server's refusal names until when.
                self->m_switching = false;
                self->refreshDisplay();
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), answer.msg);
                return;
            }
            const qint64 held = ok && answer.data ? answer.data->lockSeconds.value_or(0) : 0;
            if (ok && answer.status && held > 0) {
                self->m_switching = false;
                self->refreshDisplay();
                CommmonFunction::showCommonAlert(
                    messageText(QStringLiteral("Ooops")),
                    localizedText(QStringLiteral("Your blocks are held for %1 more: protection stays on until then."))
                        .arg(FocusState::describeLeft(held)));
                return;
            }
            if (ok && answer.status && answer.data && answer.data->deviceProtected.value_or(false)) {
                self->m_switching = false;
                self->refreshDisplay();
                CommmonFunction::showCommonAlert(
                    messageText(QStringLiteral("Ooops")),
                    messageText(QStringLiteral("Protection stays on: your account needs your PIN to turn it off.")));
                return;
            }
            self->clearAfterAccount();
        },
        [self] {
            if (self)
                self->clearAfterAccount();
        },
        false);
}

void ProtectionViewController::clearAfterAccount()
{
    QPointer<ProtectionViewController> self(this);
    DNSConfiguration::shared().clearFromSwitch(
        [self] {
            if (self)
                self->protection = Protection::off;
        },
        [self](const DnsOutcome &outcome) {
            if (!self)
                return;
            self->m_switching = false;
            self->refreshDisplay();
            if (!outcome.ok())
                showDnsFailure(outcome);
        });
}

void ProtectionViewController::SetupPinProtection(QAbstractButton *)
{
    QPointer<ProtectionViewController> self(this);
    // Busy until the server answers, or its time-out.
    const auto ready = [self] {
        if (!self)
            return false;
        self->btnSetupPin->setEnabled(true);
        self->btnSetupPin->setText(localizedText(QStringLiteral("Setup Pin Protection")));
        return true;
    };
    btnSetupPin->setEnabled(false);
    btnSetupPin->setText(localizedText(QStringLiteral("Asking the server...")));
    // The answer refreshes "isPinSeted" before the decision reads it.
    CommonWS::shared().syncURL([ready](const BaseModel<SyncURLModel> &, bool) {
        if (!ready())
            return;
        if (PreferencesStore::shared().boolForKey(PrefKey::isPinSeted)) {
            NotificationCenter::defaultCenter().post(QStringLiteral("pin_protection_off"), true);
            CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), localizedText(QStringLiteral("Pin already set")));
            return;
        }
        CommmonFunction &common = CommmonFunction::shared();
        QDialog *setup = common.makeWindow(QStringLiteral("PinProtectionWC"));
        if (!common.beginSheet(setup))
            delete setup;
    }, [ready] {
        if (ready())
            CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                             messageText(QStringLiteral("The server did not answer. Please try again.")));
    });
}

void ProtectionViewController::LiveChat(QAbstractButton *)
{
    if (!liveChatWC)
        liveChatWC = CommmonFunction::shared().makeWindow(QStringLiteral("LiveChat"));
    if (liveChatWC) {
        liveChatWC->show();
        liveChatWC->raise();
    }
}

void ProtectionViewController::UninstallApp(QAbstractButton *)
{
    if (!CommonWS::signedIn()) {
        // Removing the app turns protection off: a signed-out computer cannot.
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Sign in to uninstall Nimbrel.")),
                                         [] { CommmonFunction::shared().showLogIn(); });
        return;
    }
    QPointer<ProtectionViewController> self(this);
    AlertPresenter::shared().showChoiceAlert(
        localizedText(QStringLiteral("Uninstall Nimbrel?")), localizedText(QStringLiteral("Protection will be turned off.")),
        {localizedText(QStringLiteral("Uninstall")), localizedText(QStringLiteral("Cancel"))}, [self](int choice) {
            if (!self || choice != 0)
                return;
            self->m_gate->ask(PinAction::Uninstall, [self](ChangeGate::Finish finish) {
                if (self)
                    self->uninstall();
                finish(true);
            });
        });
}

void ProtectionViewController::uninstall()
{
    // The DNS goes first: removed files with the system still pointing at the filter would
    // leave nothing behind to turn it off.
    QPointer<ProtectionViewController> self(this);
    if (PreferencesStore::shared().boolForKey(PrefKey::dnsLastStatus) || protection == Protection::on) {
        DNSConfiguration::shared().clearForUninstall(
            [self] {
                if (self) {
                    self->protection = Protection::off;
                    self->refreshDisplay();
                }
            },
            [self] {
                if (self)
                    self->removeFiles();
            },
            showDnsFailure);
    } else {
        protection = Protection::off;
        removeFiles();
    }
    refreshDisplay();
}

void ProtectionViewController::removeFiles()
{
    const QString output = installedApplication.remove();
    Log::line(QStringLiteral("Result - ") + output);
    if (output.isEmpty()) {
        Log::line(QStringLiteral("Unistall Success"));
        signOutAndEnd();
        return;
    }
    if (!installedApplication.isInstalledCopy()) {
        CommmonFunction::showCommonAlert(
            messageText(QStringLiteral("Ooops")),
            messageText(QStringLiteral("Nothing was removed: this copy of Nimbrel does not run from its installed place.")));
        return;
    }
    // Files the user may not remove belong to the package manager: say how, then finish.
    QPointer<ProtectionViewController> self(this);
    CommmonFunction::showCommonAlert(
        messageText(QStringLiteral("Uninstall")),
        messageText(QStringLiteral("Nimbrel was installed for the whole computer and cannot remove its own files. Remove "
                                   "the package with your package manager, for example: sudo apt remove nimbrel")),
        [self] {
            if (self)
                self->signOutAndEnd();
        });
}

void ProtectionViewController::signOutAndEnd()
{
    QPointer<ProtectionViewController> self(this);
    CommonWS::shared().signOut([self] {
        if (self)
            self->uninstallCompleted();
    });
}

void ProtectionViewController::uninstallCompleted()
{
    Log::line(QStringLiteral("Logout success in uninstall"));
    PreferencesStore &prefs = PreferencesStore::shared();
    prefs.setBool(PrefKey::isLogin, false);
    prefs.setBool(PrefKey::isLoggedOut, true);
    prefs.setBool(PrefKey::dnsLastStatus, false);
    NotificationCenter::defaultCenter().post(QStringLiteral("DNS_State"), false);
    exitProcess(0);
}

void ProtectionViewController::buttonToggleWithNotification(const QVariant &object)
{
    const bool pinOn = object.toInt() == 1;
    boxSetupPin->setVisible(!pinOn);
    PreferencesStore::shared().setBool(PrefKey::isPinEnable, pinOn);
}

void ProtectionViewController::buttonDNSOnOffWithNotification(const QVariant &object)
{
    const bool on = object.typeId() == QMetaType::Bool && object.toBool();
    protection = on ? Protection::on : Protection::off;
    refreshDisplay();
}
