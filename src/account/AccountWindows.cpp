#include "AccountWindows.h"

#include "EditAccountWindowController.h"
#include "LogInWindowController.h"
#include "PasswordWindowController.h"
#include "ResetPasswordWindowController.h"
#include "SignupWindowController.h"
#include "SocialSignIn.h"
#include "ui/CommmonFunction.h"

void registerAccountWindows(CommmonFunction &common, WebContentLoader *web)
{
    common.registerWindow(QStringLiteral("LogInWindowController"), [web](QWidget *parent) {
        auto *sheet = new LogInWindowController(parent);
        sheet->viewController()->socialSignIn->web = web;
        return sheet;
    });
    common.registerWindow(QStringLiteral("PasswordWindowController"),
                          [](QWidget *parent) { return new PasswordWindowController(parent); });
    common.registerWindow(QStringLiteral("SignupWindowController"), [web](QWidget *parent) {
        auto *sheet = new SignupWindowController(parent);
        sheet->viewController()->socialSignIn->web = web;
        return sheet;
    });
    common.registerWindow(QStringLiteral("ResetPasswordWindowController"),
                          [](QWidget *parent) { return new ResetPasswordWindowController(parent); });
    common.registerWindow(QStringLiteral("EditAccountWindowController"),
                          [](QWidget *parent) { return new EditAccountWindowController(parent); });
}
