#pragma once

#include <QString>

class QFrame;
class QLabel;
class QListView;
class QProgressBar;
class QWidget;

// The look the two list screens share: title, the rounded box around the table, the busy bar.
namespace ListsLook {
// System font 17, semibold, black at alpha 0.85.
QLabel *titleLabel(const QString &name, QWidget *parent);
// A white box with corner radius 12 and a light grey shadow of offset (0, -2), blur 3,
// holding a list view with a clear background and one row per cell.
QFrame *tableBox(const QString &name, QListView *view, QWidget *parent);
QListView *tableView(const QString &name, QWidget *parent);
// A thin bar that moves while a list loads.
QProgressBar *busyIndicator(const QString &name, QWidget *parent);
// Height of the box around a table of count rows of 47 points: count x 47 + 2 below 8 rows,
// else the 378 points of 8 rows plus 2 (the table scrolls).
int tableBoxHeight(int count);
// A grey line of text under the title (the empty-list hint).
QLabel *hintLabel(const QString &name, QWidget *parent);
} // namespace ListsLook
