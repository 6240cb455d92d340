#include "BlockedWebsitesModel.h"

#include <QHash>
#include <QSize>

int BlockedWebsitesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant BlockedWebsitesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return shownDomain(row.site.domain);
    case Qt::CheckStateRole:
        return row.ticked ? Qt::Checked : Qt::Unchecked;
    case Qt::SizeHintRole:
        return QSize(0, cellHeight);
    case IdRole:
        return row.site.id;
    case BusyRole:
        return row.busy;
    default:
        return {};
    }
}

void BlockedWebsitesModel::setSites(const QList<BlockData> &sites)
{
    QHash<qint64, Row> previous;
    for (const Row &row : std::as_const(m_rows))
        previous.insert(row.site.id, row);
    beginResetModel();
    m_rows.clear();
    for (const BlockData &site : sites) {
        Row row = previous.value(site.id);
        row.site = site;
        if (!previous.contains(site.id))
            row = Row{site};
        m_rows.append(row);
    }
    endResetModel();
}

void BlockedWebsitesModel::append(const BlockData &site)
{
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append(Row{site});
    endInsertRows();
}

bool BlockedWebsitesModel::remove(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return false;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
    return true;
}

void BlockedWebsitesModel::setTicked(qint64 id, bool ticked)
{
    const int row = rowOf(id);
    if (row < 0 || m_rows[row].ticked == ticked)
        return;
    m_rows[row].ticked = ticked;
    changed(row);
}

void BlockedWebsitesModel::setBusy(qint64 id, bool busy)
{
    const int row = rowOf(id);
    if (row < 0 || m_rows[row].busy == busy)
        return;
    m_rows[row].busy = busy;
    changed(row);
}

int BlockedWebsitesModel::rowOf(qint64 id) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).site.id == id)
            return i;
    return -1;
}

bool BlockedWebsitesModel::isTicked(qint64 id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_rows.at(row).ticked;
}

bool BlockedWebsitesModel::isBusy(qint64 id) const
{
    const int row = rowOf(id);
    return row >= 0 && m_rows.at(row).busy;
}

QList<BlockData> BlockedWebsitesModel::sites() const
{
    QList<BlockData> sites;
    sites.reserve(m_rows.size());
    for (const Row &row : m_rows)
        sites.append(row.site);
    return sites;
}

QString BlockedWebsitesModel::withoutLeadingWww(const QString &domain)
{
    QString name = domain;
    while (name.startsWith(QLatin1String("www."), Qt::CaseInsensitive) && name.indexOf(QLatin1Char('.'), 4) > 4)
        name.remove(0, 4);
    return name;
}

QString BlockedWebsitesModel::shownDomain(const QString &domain)
{
    return withoutLeadingWww(domain);
}

void BlockedWebsitesModel::changed(int row)
{
    const QModelIndex at = index(row);
    emit dataChanged(at, at);
}
