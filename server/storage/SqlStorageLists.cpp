// What the filtering DNS applies: the website blacklist and the blocked categories.
#include "SqlStorageQuery.h"

using namespace SqlRows;

// Website blacklist

QList<DomainRow> SqlStorage::domains(qint64 userID, qint64 limit, qint64 offset)
{
    Query q = query("SELECT id, user_id, domain, created_at, updated_at FROM blocked_domains WHERE user_id = ?"
                    " ORDER BY id LIMIT ? OFFSET ?");
    q.bind(userID).bind(limit).bind(offset).exec();
    QList<DomainRow> rows;
    while (q.next())
        rows.append({q.integer(0), q.integer(1), q.text(2), timeOf(q.value(3)), timeOf(q.value(4))});
    return rows;
}

qint64 SqlStorage::domainCount(qint64 userID)
{
    Query q = query("SELECT COUNT(*) FROM blocked_domains WHERE user_id = ?");
    q.bind(userID).exec();
    return q.next() ? q.integer(0) : 0;
}

std::optional<DomainRow> SqlStorage::addDomain(qint64 userID, const QString &domain, const QDateTime &at)
{
    std::optional<DomainRow> row;
    {
        Query q = query("INSERT INTO blocked_domains (user_id, domain, created_at, updated_at) VALUES (?, ?, ?, ?)"
                        " ON CONFLICT (user_id, domain) DO NOTHING RETURNING id");
        q.bind(userID).bind(domain).bind(ms(at)).bind(ms(at)).exec();
        if (q.next())
            row = DomainRow{q.integer(0), userID, domain, at, at};
    }
    if (row)
        blacklistChanged(userID);
    return row;
}

bool SqlStorage::removeDomain(qint64 userID, qint64 domainID)
{
    Query q = query("DELETE FROM blocked_domains WHERE id = ? AND user_id = ?");
    q.bind(domainID).bind(userID).exec();
    if (q.affected() != 1)
        return false;
    blacklistChanged(userID);
    return true;
}

// After the rows changed, never before: a reader that sees the new version sees the new rows.
void SqlStorage::blacklistChanged(qint64 userID)
{
    query("UPDATE users SET blacklist_version = blacklist_version + 1 WHERE id = ?").bind(userID).exec();
}

qint64 SqlStorage::blacklistVersion(qint64 userID)
{
    Query q = query("SELECT blacklist_version FROM users WHERE id = ?");
    q.bind(userID).exec();
    return q.next() ? q.integer(0) : 0;
}

// Categories

QList<CategoryRow> SqlStorage::categories(qint64 userID)
{
    // The categories come with the schema and change only with it: read once. The user's
    // choices are read every time.
    if (m_categories.isEmpty()) {
        Query q = query("SELECT id, alias, name_en, name_fr FROM categories WHERE id > ? ORDER BY id");
        q.bind(0).exec();
        while (q.next())
            m_categories.append({q.integer(0), q.text(1), q.text(2), q.text(3), false});
    }
    QList<CategoryRow> rows = m_categories;
    if (userID == 0)
        return rows;
    Query q = query("SELECT category_id FROM user_categories WHERE user_id = ?");
    q.bind(userID).exec();
    while (q.next()) {
        const qint64 id = q.integer(0);
        for (CategoryRow &row : rows) {
            if (row.id == id)
                row.blocked = true;
        }
    }
    return rows;
}

bool SqlStorage::categoryExists(qint64 categoryID)
{
    Query q = query("SELECT id FROM categories WHERE id = ?");
    q.bind(categoryID).exec();
    return q.next();
}

QStringList SqlStorage::categoryDomains(qint64 categoryID)
{
    Query q = query("SELECT domain FROM category_domains WHERE category_id = ? ORDER BY domain");
    q.bind(categoryID).exec();
    QStringList out;
    while (q.next())
        out.append(q.text(0));
    return out;
}

std::optional<UserCategoryRow> SqlStorage::blockCategory(qint64 userID, qint64 categoryID, const QDateTime &at)
{
    query("INSERT INTO user_categories (user_id, category_id, created_at, updated_at) VALUES (?, ?, ?, ?)"
          " ON CONFLICT (user_id, category_id) DO NOTHING")
        .bind(userID)
        .bind(categoryID)
        .bind(ms(at))
        .bind(ms(at))
        .exec();
    Query q = query("SELECT id, created_at, updated_at FROM user_categories WHERE user_id = ? AND category_id = ?");
    q.bind(userID).bind(categoryID).exec();
    if (!q.next())
        return std::nullopt;
    return UserCategoryRow{q.integer(0), userID, categoryID, timeOf(q.value(1)), timeOf(q.value(2))};
}

std::optional<UserCategoryRow> SqlStorage::unblockCategory(qint64 userID, qint64 categoryID)
{
    Query q = query("DELETE FROM user_categories WHERE user_id = ? AND category_id = ?"
                    " RETURNING id, created_at, updated_at");
    q.bind(userID).bind(categoryID).exec();
    if (!q.next())
        return std::nullopt;
    return UserCategoryRow{q.integer(0), userID, categoryID, timeOf(q.value(1)), timeOf(q.value(2))};
}
