#pragma once

#include "ResetPasswordViewController.h"
#include "ui/SheetWindowController.h"

// The sheet of the request for a password-reset e-mail.
class ResetPasswordWindowController : public SheetWindowController
{
    Q_OBJECT
public:
    explicit ResetPasswordWindowController(QWidget *parent = nullptr)
        : SheetWindowController(new ResetPasswordViewController, 440, parent)
    {
    }

    ResetPasswordViewController *viewController() const
    {
        return static_cast<ResetPasswordViewController *>(contentViewController());
    }
};
