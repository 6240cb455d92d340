#pragma once

#include "records/Records.h"

#include <QAbstractListModel>

// The rows of the website blacklist, in the server's order. A row is known by its site's
// server id, never by its position: the box of a row shows whether the site is still meant
// to be blocked, and a row is busy while a request about it is under way.
class BlockedWebsitesModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, BusyRole };
    static constexpr int cellHeight = 47;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Replaces the rows; a site still there keeps its box and busy state.
    void setSites(const QList<BlockData> &sites);
    void append(const BlockData &site);
    // False when no row has this id.
    bool remove(qint64 id);
    void setTicked(qint64 id, bool ticked);
    void setBusy(qint64 id, bool busy);

    int rowOf(qint64 id) const;
    bool isTicked(qint64 id) const;
    bool isBusy(qint64 id) const;
    QList<BlockData> sites() const;

    // The name the filter blocks (with every subdomain) for a typed site: leading "www." labels
    // left out, as long as a name with a dot remains ("www.com" stays).
    static QString withoutLeadingWww(const QString &domain);
    // The domain as a row shows it: what the filter blocks, also for rows stored before the
    // server left "www." out.
    static QString shownDomain(const QString &domain);

private:
    struct Row {
        BlockData site;
        bool ticked = true;
        bool busy = false;
    };
    void changed(int row);
    QList<Row> m_rows;
};
