#include "PinProtectionWC.h"

#include "ConfirmPin.h"
#include "RandomPin.h"
#include "setWaitingTimeWC.h"
#include "ui/AccountWidgets.h"
#include "controls/OnlyIntegerValueFormatter.h"
#include "controls/ZelSecureTextField.h"
#include "platform/NotificationCenter.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace AccountWidgets;

namespace {
void openNext(QDialog *next)
{
    if (!CommmonFunction::shared().beginSheet(next))
        delete next;
}
} // namespace

PinProtectionWC::PinProtectionWC(QWidget *parent)
    : SheetDialog(parent)
{
    setObjectName(QStringLiteral("PinProtectionWC"));
    QWidget *page = panel();
    lblAssign4DigitPin = titleLabel(page, QStringLiteral("lblAssign4DigitPin"));
    QFont title = lblAssign4DigitPin->font();
    title.setPixelSize(17);
    lblAssign4DigitPin->setFont(title);
    lblYouTrustToDoThis = captionLabel(page, QStringLiteral("lblYouTrustToDoThis"));
    PinTextField = new ZelSecureTextField(page);
    PinTextField->setObjectName(QStringLiteral("PinTextField"));
    PinTextField->setMinimumHeight(40);
    PinTextField->setStyleSheet(textField(page, QStringLiteral("styleDonor"))->styleSheet() +
                                QStringLiteral("QLineEdit { font-size: 18px; }"));
    delete page->findChild<QWidget *>(QStringLiteral("styleDonor"));
    btnRandomPin = secondaryButton(page, QStringLiteral("btnRandomPin"));
    // Tinted rgb(77, 153, 136), like the protection screen's PIN offer.
    btnRandomPin->setStyleSheet(btnRandomPin->styleSheet() +
                                QStringLiteral("QPushButton { color: rgb(77, 153, 136); border-color: rgba(77, 153, 136, 120); }"));
    lblChooseAPinCode = captionLabel(page, QStringLiteral("lblChooseAPinCode"));
    btnCancel = secondaryButton(page, QStringLiteral("btnCancel"));
    btnSetPin = primaryButton(page, QStringLiteral("btnSetPin"));
    btnSetPin->setDefault(true);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblAssign4DigitPin);
    layout->addSpacing(4);
    layout->addWidget(lblYouTrustToDoThis);
    layout->addSpacing(18);
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(PinTextField, 1);
    row->addWidget(btnRandomPin);
    layout->addLayout(row);
    layout->addSpacing(10);
    layout->addWidget(lblChooseAPinCode);
    layout->addSpacing(22);
    layout->addLayout(buttonRow(btnCancel, btnSetPin));

    connect(btnSetPin, &QPushButton::clicked, this, &PinProtectionWC::setPin);
    connect(btnRandomPin, &QPushButton::clicked, this, &PinProtectionWC::RandomPin);
    connect(btnCancel, &QPushButton::clicked, this, &PinProtectionWC::cancel);
    connect(PinTextField, &QLineEdit::textEdited, this, &PinProtectionWC::controlTextDidChange);

    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("UpdateChooseLanguage"),
                                                    [this](const QVariant &o) { updateLocalizationWithNotification(o); });
    setTexts();
    onlyIntFormatter = new OnlyIntegerValueFormatter(this);
    PinTextField->setPlaceholderText(QStringLiteral("525252"));
    PinTextField->setDisplayToggleButton(false);
    resetForTyping();
    fitPanelToWidth(440);
    // The PIN lives no longer than the sheet, however the sheet is closed.
    connect(this, &QDialog::finished, this, [this] {
        PinTextField->wipe();
        m_hiddenPin.clear();
        deleteLater();
    });
}

void PinProtectionWC::setTexts()
{
    lblAssign4DigitPin->setText(localizedText(QStringLiteral("Assign 6 Digit Pin")));
    lblYouTrustToDoThis->setText(localizedText(QStringLiteral("You Trust to do this")));
    btnRandomPin->setText(localizedText(QStringLiteral("Hidden PIN")));
    lblChooseAPinCode->setText(localizedText(QStringLiteral(
        "Choose a pin code at random to be sure to forget it. At the next step, you can set a waiting period to get it back")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnSetPin->setText(localizedText(QStringLiteral("Set Pin")));
}

void PinProtectionWC::updateLocalizationWithNotification(const QVariant &object)
{
    if (object.typeId() == QMetaType::QString)
        setTexts();
}

bool PinProtectionWC::holdsHiddenPin() const
{
    return !PinTextField->passwordIsVisible();
}

void PinProtectionWC::resetForTyping()
{
    m_hiddenPin.clear();
    PinTextField->setPasswordIsVisible(true);
    PinTextField->setValidator(onlyIntFormatter);
    // Not clear(): an undoable removal would let Undo bring a hidden PIN back in clear.
    PinTextField->wipe();
    PinTextField->setFocus();
}

void PinProtectionWC::RandomPin()
{
    PinTextField->setPasswordIsVisible(false);
    m_hiddenPin = randomPin();
    PinTextField->setText(m_hiddenPin);
}

void PinProtectionWC::controlTextDidChange(const QString &text)
{
    // A refused keystroke (a seventh digit) reports the text it left unchanged.
    if (holdsHiddenPin() && text != m_hiddenPin)
        resetForTyping();
}

void PinProtectionWC::setPin()
{
    const QString pin = PinTextField->text();
    if (pin.size() != 6) {
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Please assign only 6 digit pin!")));
        return;
    }
    const bool hidden = holdsHiddenPin();
    PinTextField->wipe();
    QWidget *under = parentWidget();
    accept();
    // A typed PIN is asked once more: a slip of the finger would lock the user out by accident.
    // A hidden one cannot be typed again, and is meant to be forgotten anyway.
    if (hidden)
        openNext(new setWaitingTimeWC(pin, under));
    else
        openNext(new ConfirmPin(pin, under));
}

void PinProtectionWC::cancel()
{
    reject();
}
