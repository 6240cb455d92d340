#include "ConfirmPin.h"

#include "PinProtectionWC.h"
#include "setWaitingTimeWC.h"
#include "ui/AccountWidgets.h"
#include "controls/OnlyIntegerValueFormatter.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace AccountWidgets;

ConfirmPin::ConfirmPin(const QString &pin, QWidget *parent)
    : SheetDialog(parent)
    , m_pin(pin)
{
    setObjectName(QStringLiteral("ConfirmPin"));
    QWidget *page = panel();
    lblConfirmPin = titleLabel(page, QStringLiteral("lblConfirmPin"));
    lblTypeAgain = captionLabel(page, QStringLiteral("lblTypeAgain"));
    confirmPinTF = textField(page, QStringLiteral("confirmPinTF"), true);
    confirmPinTF->setValidator(new OnlyIntegerValueFormatter(confirmPinTF));
    confirmPinTF->setPlaceholderText(QStringLiteral("525252"));
    btnNo = secondaryButton(page, QStringLiteral("btnNo"));
    btnYes = primaryButton(page, QStringLiteral("btnYes"));
    btnYes->setDefault(true);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblConfirmPin);
    layout->addSpacing(4);
    layout->addWidget(lblTypeAgain);
    layout->addSpacing(18);
    layout->addWidget(confirmPinTF);
    layout->addSpacing(22);
    layout->addLayout(buttonRow(btnNo, btnYes));

    lblConfirmPin->setText(localizedText(QStringLiteral("Confirm Pin")));
    lblTypeAgain->setText(localizedText(QStringLiteral("Type your pin once more.")));
    btnNo->setText(localizedText(QStringLiteral("Back")));
    btnYes->setText(localizedText(QStringLiteral("Confirm")));
    connect(btnYes, &QPushButton::clicked, this, &ConfirmPin::yes);
    connect(btnNo, &QPushButton::clicked, this, &ConfirmPin::no);
    connect(this, &QDialog::finished, this, [this] {
        m_pin.clear();
        confirmPinTF->clear();
        deleteLater();
    });
    confirmPinTF->setFocus();
    fitPanelToWidth(400);
}

void ConfirmPin::yes()
{
    if (m_pin.isEmpty() || confirmPinTF->text() != m_pin) {
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), messageText(QStringLiteral("Pin not matched")));
        return;
    }
    auto *next = new setWaitingTimeWC(m_pin, parentWidget());
    accept();
    if (!CommmonFunction::shared().beginSheet(next))
        delete next;
}

void ConfirmPin::no()
{
    auto *again = new PinProtectionWC(parentWidget());
    reject();
    if (!CommmonFunction::shared().beginSheet(again))
        delete again;
}
