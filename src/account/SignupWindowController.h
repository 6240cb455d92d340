#pragma once

#include "ui/SheetWindowController.h"
#include "SignupViewController.h"

// The sheet of the new-account form.
class SignupWindowController : public SheetWindowController
{
    Q_OBJECT
public:
    explicit SignupWindowController(QWidget *parent = nullptr)
        : SheetWindowController(new SignupViewController, 440, parent)
    {
    }

    SignupViewController *viewController() const
    {
        return static_cast<SignupViewController *>(contentViewController());
    }
};
