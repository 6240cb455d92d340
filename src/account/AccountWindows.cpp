#include "AccountWindows.h"

#include "LogInWindowController.h"
#include "PasswordWindowController.h"
#include "ResetPasswordWindowController.h"
#include "SignupWindowController.h"
#include "ui/CommmonFunction.h"

void registerAccountWindows(CommmonFunction &common)
{
    common.registerWindow(QStringLiteral("LogInWindowController"),
                          [](QWidget *parent) { return new LogInWindowController(parent); });
    common.registerWindow(QStringLiteral("PasswordWindowController"),
                          [](QWidget *parent) { return new PasswordWindowController(parent); });
    common.registerWindow(QStringLiteral("SignupWindowController"),
                          [](QWidget *parent) { return new SignupWindowController(parent); });
    common.registerWindow(QStringLiteral("ResetPasswordWindowController"),
                          [](QWidget *parent) { return new ResetPasswordWindowController(parent); });
}
