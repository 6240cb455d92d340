#pragma once

#include "ui/SheetWindowController.h"
#include "SignInViewController.h"

// The sheet of the e-mail step of signing in.
class LogInWindowController : public SheetWindowController
{
    Q_OBJECT
public:
    explicit LogInWindowController(QWidget *parent = nullptr)
        : SheetWindowController(new SignInViewController, 440, parent)
    {
    }

    SignInViewController *viewController() const
    {
        return static_cast<SignInViewController *>(contentViewController());
    }
};
