#include "ResetPasswordViewController.h"

#include "ui/AccountWidgets.h"
#include "api/CommonWS.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace AccountWidgets;

ResetPasswordViewController::ResetPasswordViewController(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ResetPasswordViewController"));
    styleSheetPage(this);

    tfEmail = textField(this, QStringLiteral("tfEmail"));
    lblForgotPassword = titleLabel(this, QStringLiteral("lblForgotPassword"));
    lblWellSentYouLink = captionLabel(this, QStringLiteral("lblWellSentYouLink"));
    btnCancel = secondaryButton(this, QStringLiteral("btnCancel"));
    btnSubmit = primaryButton(this, QStringLiteral("btnSubmit"));
    btnSubmit->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblForgotPassword);
    layout->addSpacing(6);
    layout->addWidget(lblWellSentYouLink);
    layout->addSpacing(20);
    layout->addWidget(tfEmail);
    layout->addSpacing(24);
    layout->addLayout(buttonRow(btnCancel, btnSubmit));

    connect(btnSubmit, &QPushButton::clicked, this, &ResetPasswordViewController::submitAction);
    connect(btnCancel, &QPushButton::clicked, this, &ResetPasswordViewController::cancelAction);

    viewDidLoad();
}

void ResetPasswordViewController::viewDidLoad()
{
    tfEmail->setText(PreferencesStore::shared().stringForKey(PrefKey::user_email).value_or(QString()));
    lblForgotPassword->setText(localizedText(QStringLiteral("Forgot Password?")));
    lblWellSentYouLink->setText(localizedText(QStringLiteral("We’ll sent you link for reset password.")));
    tfEmail->setPlaceholderText(localizedText(QStringLiteral("Enter Email")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnSubmit->setText(localizedText(QStringLiteral("Submit")));
}

void ResetPasswordViewController::submitAction()
{
    // Read before the sheet goes: the field goes with it.
    const QString email = tfEmail ? tfEmail->text() : QString();
    CommmonFunction &common = CommmonFunction::shared();
    common.dismissPresented(CommmonFunction::ResetPasswordSlot);
    CommonWS::shared().forgotPassword(email, [](const BaseModel<AuthModel> &record, bool ok) {
        // An answer that does not decode is already logged by CommonWS.
        if (!ok)
            return;
        Log::line(QStringLiteral("Status - ") + (record.status ? QStringLiteral("true") : QStringLiteral("false")));
        // Sent or refused, the server's message says which.
        CommmonFunction::showCommonAlert(QString(), record.msg);
    });
    common.showPassword();
}

void ResetPasswordViewController::cancelAction()
{
    CommmonFunction &common = CommmonFunction::shared();
    common.dismissPresented(CommmonFunction::ResetPasswordSlot);
    common.showPassword();
}
