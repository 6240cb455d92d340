#include "EditAccountWindowController.h"

#include "ui/AccountWidgets.h"
#include "api/CommonWS.h"
#include "platform/DeviceIdentity.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace AccountWidgets;

EditAccountWindowController::EditAccountWindowController(QWidget *parent)
    : SheetDialog(parent)
{
    setObjectName(QStringLiteral("EditAccountWindowController"));

    tfUserName = textField(this, QStringLiteral("tfUserName"));
    tfDeviceName = textField(this, QStringLiteral("tfDeviceName"));
    tfEmail = textField(this, QStringLiteral("tfEmail"));
    // The address is the account's name on the server: shown here, changed nowhere.
    tfEmail->setReadOnly(true);
    tfEmail->setFocusPolicy(Qt::NoFocus);
    tfPassword = textField(this, QStringLiteral("tfPassword"), true);
    tfConfirmPassword = textField(this, QStringLiteral("tfConfirmPassword"), true);
    lblEditAccount = titleLabel(this, QStringLiteral("lblEditAccount"));
    lblEditDetailAnd = captionLabel(this, QStringLiteral("lblEditDetailAnd"));
    btnCancel = secondaryButton(this, QStringLiteral("btnCancel"));
    btnUpdate = primaryButton(this, QStringLiteral("btnUpdate"));
    btnUpdate->setDefault(true);
    lblUserName = fieldLabel(this, QStringLiteral("lblUserName"));
    lblDeviceName = fieldLabel(this, QStringLiteral("lblDeviceName"));
    lblEmail = fieldLabel(this, QStringLiteral("lblEmail"));
    lblPassword = fieldLabel(this, QStringLiteral("lblPassword"));
    lblConfirmPassword = fieldLabel(this, QStringLiteral("lblConfirmPassword"));
    lblPasswordHint = captionLabel(this, QStringLiteral("lblPasswordHint"));
    lblPasswordHint->setStyleSheet(lblPasswordHint->styleSheet() + QStringLiteral("font-size: 12px;"));

    // Name and device side by side, the address alone, the two passwords side by side.
    auto *form = new QGridLayout;
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(0);
    const auto place = [form](QLabel *caption, QLineEdit *field, int row, int column, int span) {
        form->addWidget(caption, row * 3, column, 1, span);
        form->addWidget(field, row * 3 + 1, column, 1, span);
        form->setRowMinimumHeight(row * 3, 22);
        form->setRowMinimumHeight(row * 3 + 2, 12);
    };
    place(lblUserName, tfUserName, 0, 0, 1);
    place(lblDeviceName, tfDeviceName, 0, 1, 1);
    place(lblEmail, tfEmail, 1, 0, 2);
    place(lblPassword, tfPassword, 2, 0, 1);
    place(lblConfirmPassword, tfConfirmPassword, 2, 1, 1);
    form->setColumnStretch(0, 1);
    form->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(panel());
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblEditAccount);
    layout->addSpacing(6);
    layout->addWidget(lblEditDetailAnd);
    layout->addSpacing(20);
    layout->addLayout(form);
    layout->addWidget(lblPasswordHint);
    layout->addSpacing(22);
    layout->addLayout(buttonRow(btnCancel, btnUpdate));

    connect(btnCancel, &QPushButton::clicked, this, &EditAccountWindowController::btnCancelTapped);
    connect(btnUpdate, &QPushButton::clicked, this, &EditAccountWindowController::update);

    windowDidLoad();
    fitHeight();
}

// The texts may wrap differently in another language, so the height follows them.
void EditAccountWindowController::fitHeight()
{
    fitPanelToWidth(500);
}

void EditAccountWindowController::windowDidLoad()
{
    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("UpdateChooseLanguage"),
        [this](const QVariant &object) { updateLocalizationWithNotification(object); });
    setTexts();
    fillFields();
}

void EditAccountWindowController::setTexts()
{
    lblEditAccount->setText(localizedText(QStringLiteral("Edit Account")));
    lblEditDetailAnd->setText(localizedText(QStringLiteral("Edit details and update account.")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnUpdate->setText(localizedText(QStringLiteral("Update")));
    lblUserName->setText(localizedText(QStringLiteral("Name")));
    lblDeviceName->setText(localizedText(QStringLiteral("Device Name")));
    lblEmail->setText(localizedText(QStringLiteral("Email")));
    lblPassword->setText(localizedText(QStringLiteral("Password")));
    lblConfirmPassword->setText(localizedText(QStringLiteral("Confirm Password")));
    lblPasswordHint->setText(
        localizedText(QStringLiteral("Leave both password fields blank to keep the current password.")));
}

// Every opening shows the account as stored now, and never a password typed at an earlier one.
void EditAccountWindowController::fillFields()
{
    const PreferencesStore &prefs = PreferencesStore::shared();
    tfUserName->setText(prefs.stringForKey(PrefKey::user_name).value_or(QString()));
    // An account made without a device name offers this computer's, as sign-up does.
    const QString device = prefs.stringForKey(PrefKey::user_device).value_or(QString());
    tfDeviceName->setText(device.isEmpty() ? defaultDeviceName() : device);
    tfEmail->setText(prefs.stringForKey(PrefKey::user_email).value_or(QString()));
    tfPassword->clear();
    tfConfirmPassword->clear();
}

void EditAccountWindowController::showEvent(QShowEvent *event)
{
    SheetDialog::showEvent(event);
    if (!event->spontaneous()) {
        fitHeight();
        fillFields();
        btnUpdate->setEnabled(true);
        tfUserName->setFocus();
    }
}

void EditAccountWindowController::updateLocalizationWithNotification(const QVariant &object)
{
    if (object.typeId() == QMetaType::QString)
        setTexts();
}

void EditAccountWindowController::btnCancelTapped()
{
    if (CommmonFunction::shared().mainWindow())
        reject();
}

void EditAccountWindowController::update()
{
    if (tfPassword->text() != tfConfirmPassword->text()) {
        CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                         messageText(QStringLiteral("Passwords did not match")));
        return;
    }
    btnUpdate->setEnabled(false);
    QPointer<EditAccountWindowController> self = this;
    CommonWS::shared().updateProfile(
        tfUserName->text(), tfDeviceName->text(), tfPassword->text(),
        [self](const BaseModel<UpdateProfile> &record, bool ok) {
            if (!self)
                return;
            self->btnUpdate->setEnabled(true);
            if (ok && record.status) {
                self->btnCancelTapped();
                return;
            }
            CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")),
                                             messageText(QStringLiteral("Profile Not updated")));
        },
        [self] {
            if (self)
                self->btnUpdate->setEnabled(true);
        });
}
