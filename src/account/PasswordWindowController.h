#pragma once

#include "PasswordViewController.h"
#include "ui/SheetWindowController.h"

// The sheet of the password step of signing in.
class PasswordWindowController : public SheetWindowController
{
    Q_OBJECT
public:
    explicit PasswordWindowController(QWidget *parent = nullptr)
        : SheetWindowController(new PasswordViewController, 440, parent)
    {
    }

    PasswordViewController *viewController() const
    {
        return static_cast<PasswordViewController *>(contentViewController());
    }
};
