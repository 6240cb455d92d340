#pragma once

#include "records/Records.h"

#include <QStringList>

class QLabel;
class QListView;
class QProgressBar;
class QStandardItemModel;
class QWidget;

// What the Focus screen and the window editor share: the category picker, the busy bar, the
// refusal line and the reading of typed sites.
namespace FocusParts {
// A list of categories to tick, ticked where the id is in checked.
QListView *categoryPicker(const QString &name, QStandardItemModel *model, QWidget *parent);
void fillCategories(QStandardItemModel *model, const CategoryList &categories, const QList<qint64> &checked);
QList<qint64> checkedCategories(const QStandardItemModel *model);
// A thin bar that moves while a call is out.
QProgressBar *busyBar(const QString &name, QWidget *parent);
// One red line for what the server refused.
QLabel *errorLine(const QString &name, QWidget *parent);
// Sites typed into a field: split at commas and spaces, trimmed, lower case, each once.
QStringList sitesFrom(const QString &text);
// "Mon, Wed, Fri", "Weekdays", "Every day" in the interface language.
QString describeDays(const QList<qint64> &days);
} // namespace FocusParts
