#pragma once

#include "records/Records.h"

#include <QAbstractListModel>

// The rows of the category screen, in the server's order, each known by its category id.
// A row remembers what the server said (is_block_category) apart from where its switch
// stands, so a failed change can put the switch back to the server's state.
class CategoriesModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, BusyRole, SwitchOnRole };
    static constexpr int cellHeight = 47;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Replaces the rows with the server's; a row whose request is under way keeps its switch.
    void setCategories(const QList<CategoryBlockingModel> &categories);
    void setSwitchOn(qint64 id, bool on);
    // Puts the switch back where the server last said it is.
    void revert(qint64 id);
    void setBusy(qint64 id, bool busy);

    int rowOf(qint64 id) const;
    bool isSwitchOn(qint64 id) const;
    bool isBusy(qint64 id) const;
    QList<CategoryBlockingModel> categories() const;

private:
    struct Row {
        CategoryBlockingModel category;
        bool switchOn = false;
        bool busy = false;
    };
    void changed(int row);
    QList<Row> m_rows;
};
