#pragma once

#include "SheetDialog.h"

// A sheet that carries one view controller as its content, the way the account windows are
// built: the window knows nothing of the form, the view controller does the work.
class SheetWindowController : public SheetDialog
{
    Q_OBJECT
public:
    SheetWindowController(QWidget *content, int width, QWidget *parent = nullptr);

    QWidget *contentViewController() const { return m_content; }

    // Escape and the window's close button do what the sheet's Cancel button does, so the
    // sheet leaves the way its own button would take it.
    void reject() override;

private:
    QWidget *m_content;
};
