#include "FocusParts.h"

#include "texts/LocalizedText.h"

#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStandardItemModel>

namespace FocusParts {
QListView *categoryPicker(const QString &name, QStandardItemModel *model, QWidget *parent)
{
    auto *view = new QListView(parent);
    view->setObjectName(name);
    view->setModel(model);
    // Several short names to a row: the whole catalogue fits a few lines.
    view->setFlow(QListView::LeftToRight);
    view->setWrapping(true);
    view->setResizeMode(QListView::Adjust);
    view->setSpacing(2);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFixedHeight(78);
    return view;
}

void fillCategories(QStandardItemModel *model, const CategoryList &categories, const QList<qint64> &checked)
{
    model->clear();
    for (const CategoryBlockingModel &category : categories) {
        auto *item = new QStandardItem(category.name);
        item->setCheckable(true);
        item->setCheckState(checked.contains(category.id) ? Qt::Checked : Qt::Unchecked);
        item->setData(category.id, Qt::UserRole);
        model->appendRow(item);
    }
}

QList<qint64> checkedCategories(const QStandardItemModel *model)
{
    QList<qint64> ids;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QStandardItem *item = model->item(row);
        if (item->checkState() == Qt::Checked)
            ids << item->data(Qt::UserRole).toLongLong();
    }
    return ids;
}

QProgressBar *busyBar(const QString &name, QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedHeight(4);
    bar->hide();
    return bar;
}

QLabel *errorLine(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("color: #c0392b;"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

QStringList sitesFrom(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    QStringList sites;
    for (const QString &part : text.split(separators, Qt::SkipEmptyParts)) {
        const QString site = part.trimmed().toLower();
        if (!site.isEmpty() && !sites.contains(site))
            sites << site;
    }
    return sites;
}

QString describeDays(const QList<qint64> &days)
{
    QList<qint64> sorted = days;
    std::sort(sorted.begin(), sorted.end());
    if (sorted == QList<qint64>{1, 2, 3, 4, 5, 6, 7})
        return localizedText(QStringLiteral("Every day"));
    if (sorted == QList<qint64>{1, 2, 3, 4, 5})
        return localizedText(QStringLiteral("Weekdays"));
    if (sorted == QList<qint64>{6, 7})
        return localizedText(QStringLiteral("Weekends"));
    const QLocale locale(interfaceLanguage() == QLatin1String("fr") ? QLocale::French : QLocale::English);
    QStringList names;
    for (qint64 day : sorted)
        names << locale.dayName(int(day), QLocale::ShortFormat);
    return names.join(QStringLiteral(", "));
}
} // namespace FocusParts
