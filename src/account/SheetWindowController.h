#pragma once

#include "ui/SheetDialog.h"

// A sheet that carries one view controller as its content, the way the account windows are
// built: the window knows nothing of the form, the view controller does the work.
class SheetWindowController : public SheetDialog
{
    Q_OBJECT
public:
    SheetWindowController(QWidget *content, int width, QWidget *parent = nullptr);

    QWidget *contentViewController() const { return m_content; }

private:
    QWidget *m_content;
};
