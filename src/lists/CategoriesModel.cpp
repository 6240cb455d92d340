#include "CategoriesModel.h"

#include <QHash>
#include <QSize>

int CategoriesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant CategoriesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.category.name;
    case Qt::SizeHintRole:
        return QSize(0, cellHeight);
    case IdRole:
        return row.category.id;
    case BusyRole:
        return row.busy;
    case SwitchOnRole:
        return row.switchOn;
    default:
        return {};
    }
}

void CategoriesModel::setCategories(const QList<CategoryBlockingModel> &categories)
{
    QHash<qint64, Row> previous;
    for (const Row &row : std::as_const(m_rows))
        previous.insert(row.category.id, row);
    beginResetModel();
    m_rows.clear();
    for (const CategoryBlockingModel &category : categories) {
        Row row{category, category.isBlockCategory != 0, false};
        const auto before = previous.constFind(category.id);
        if (before != previous.constEnd() && before->busy) {
            row.switchOn = before->switchOn;
            row.busy = true;
        }
        m_rows.append(row);
    }
    endResetModel();
}

void CategoriesModel::setSwitchOn(qint64 id, bool on)
{
    const int row = rowOf(id);
    if (row < 0 || m_rows[row].switchOn == on)
        return;
    m_rows[row].switchOn = on;
    changed(row);
}

void CategoriesModel::revert(qint64 id)
{
    const int row = rowOf(id);
    if (row >= 0)
        setSwitchOn(id, m_rows.at(row).category.isBlockCategory != 0);
}

void CategoriesModel::setBusy(qint64 id, bool busy)
{
    const int row = rowOf(id);
    if (row < 0 || m_rows[row].busy == busy)
        return;
    m_rows[row].busy = busy;
    changed(row);
}

int CategoriesModel::rowOf(qint64 id) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).category.id == id)
            return i;
    return -1;
}

bool CategoriesModel::isSwitchOn(qint64 id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_rows.at(row).switchOn;
}

bool CategoriesModel::isBusy(qint64 id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_rows.at(row).busy;
}

QList<CategoryBlockingModel> CategoriesModel::categories() const
{
    QList<CategoryBlockingModel> list;
    for (const Row &row : m_rows)
        list.append(row.category);
    return list;
}

void CategoriesModel::changed(int row)
{
    const QModelIndex at = index(row);
    emit dataChanged(at, at);
}
