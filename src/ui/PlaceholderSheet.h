#pragma once

#include "SheetDialog.h"

// Stands in for a window of a part of the app that is not built yet, and says so.
class PlaceholderSheet : public SheetDialog
{
    Q_OBJECT
public:
    explicit PlaceholderSheet(const QString &windowName, QWidget *parent = nullptr);
};

// The same for a detail screen of the main window.
class PlaceholderScreen : public QWidget
{
    Q_OBJECT
public:
    explicit PlaceholderScreen(const QString &titleKey, QWidget *parent = nullptr);
};
