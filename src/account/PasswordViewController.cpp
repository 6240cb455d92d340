#include "PasswordViewController.h"

#include "ui/AccountWidgets.h"
#include "api/CommonWS.h"
#include "api/LogRedaction.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace AccountWidgets;

namespace {
// The sheet is gone by now; what follows only needs the answer.
void completeSignIn(const std::optional<AuthModel> &user)
{
    PreferencesStore &prefs = PreferencesStore::shared();
    prefs.setBool(PrefKey::isLogin, true);
    if (user) {
        prefs.setInteger(PrefKey::user_id, user->id);
        prefs.setString(PrefKey::loginToken, user->token);
    }
    prefs.setBool(PrefKey::isLoggedOut, false);
    const bool hasPin = user && user->pinProtection;
    prefs.setBool(PrefKey::isPinEnable, hasPin);

    // The main content opens whatever becomes of the synchronisation: the user is signed in,
    // and a screen without any sheet would leave them nowhere to go. The PIN state goes first:
    // the sidebar sets its switch from it when it appears.
    const auto openMain = [hasPin] {
        if (hasPin)
            PreferencesStore::shared().setBool(PrefKey::isPinSeted, true);
        CommmonFunction::shared().openMainContent(QSize(800, 500));
    };
    CommonWS::shared().syncURL([openMain](const BaseModel<SyncURLModel> &, bool) { openMain(); }, openMain);
}
} // namespace

PasswordViewController::PasswordViewController(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PasswordViewController"));
    styleSheetPage(this);

    lblBrenvikPassword = titleLabel(this, QStringLiteral("lblBrenvikPassword"));
    lblYourEmailIsAssociated = captionLabel(this, QStringLiteral("lblYourEmailIsAssociated"));
    lblEmailAddress = fieldLabel(this, QStringLiteral("lblEmailAddress"));
    lblEmailAddress->setStyleSheet(lblEmailAddress->styleSheet() + QStringLiteral("font-size: 13px;"));
    passwordTF = textField(this, QStringLiteral("passwordTF"), true);
    btnForget = linkButton(this, QStringLiteral("btnForget"));
    btnSignIn = primaryButton(this, QStringLiteral("btnSignIn"));
    btnSignIn->setDefault(true);
    btnCancel = secondaryButton(this, QStringLiteral("btnCancel"));

    auto *forgotRow = new QHBoxLayout;
    forgotRow->addStretch();
    forgotRow->addWidget(btnForget);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 22);
    layout->setSpacing(0);
    layout->addWidget(lblBrenvikPassword);
    layout->addSpacing(6);
    layout->addWidget(lblYourEmailIsAssociated);
    layout->addSpacing(16);
    layout->addWidget(lblEmailAddress);
    layout->addSpacing(8);
    layout->addWidget(passwordTF);
    layout->addSpacing(8);
    layout->addLayout(forgotRow);
    layout->addSpacing(22);
    layout->addLayout(buttonRow(btnCancel, btnSignIn));

    connect(btnSignIn, &QPushButton::clicked, this, [this] { signInButton(btnSignIn); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { cancelButton(btnCancel); });
    connect(btnForget, &QPushButton::clicked, this, &PasswordViewController::forgotPWAction);

    viewDidLoad();
}

void PasswordViewController::viewDidLoad()
{
    lblBrenvikPassword->setText(localizedText(QStringLiteral("NIMBREL Password")));
    lblYourEmailIsAssociated->setText(localizedText(QStringLiteral("Your email is associated with NIMBREL account.")));
    passwordTF->setPlaceholderText(localizedText(QStringLiteral("Enter Password")));
    btnForget->setText(localizedText(QStringLiteral("Forgot?")));
    btnCancel->setText(localizedText(QStringLiteral("Cancel")));
    btnSignIn->setText(localizedText(QStringLiteral("Sign In")));
    lblEmailAddress->setText(PreferencesStore::shared().stringForKey(PrefKey::user_email).value_or(QString()));
}

void PasswordViewController::signInButton(QPushButton *sender)
{
    sender->setEnabled(false);
    CommmonFunction &common = CommmonFunction::shared();
    const std::optional<QString> email = PreferencesStore::shared().stringForKey(PrefKey::user_email);
    if (!email) {
        common.dismissPresented(CommmonFunction::PasswordSlot);
        common.showLogIn();
        return;
    }
    // The sheet may be closed before the answer comes; the button is then gone with it.
    QPointer<QPushButton> button = sender;
    const auto enable = [button] {
        if (button)
            button->setEnabled(true);
    };
    CommonWS::shared().login(
        *email, passwordTF->text(),
        [enable](const BaseModel<AuthModel> &record, bool ok) {
            Log::line(QStringLiteral("Model Response - ") + LogRedaction::describeRecord(record));
            Log::line(QStringLiteral("Is Success - ") + (ok ? QStringLiteral("true") : QStringLiteral("false")));
            if (!ok) {
                enable();
                Log::line(QStringLiteral("============== Error while decoding the model response ==================="));
                return;
            }
            if (!record.status) {
                CommmonFunction::showCommonAlert(messageText(QStringLiteral("Ooops")), record.msg);
                enable();
                return;
            }
            CommmonFunction::shared().dismissPresented(CommmonFunction::PasswordSlot);
            completeSignIn(record.data);
        },
        enable);
}

void PasswordViewController::forgotPWAction()
{
    CommmonFunction &common = CommmonFunction::shared();
    common.dismissPresented(CommmonFunction::PasswordSlot);
    common.showResetPassword();
}

void PasswordViewController::cancelButton(QPushButton *sender)
{
    CommmonFunction &common = CommmonFunction::shared();
    common.dismissPresented(CommmonFunction::PasswordSlot);
    sender->setEnabled(false);
    common.showLogIn();
}
