#include "ListService.h"

#include "ApiSupport.h"

#include "SessionCache.h"
#include "dns/DomainName.h"
#include "storage/SqlStorage.h"

using namespace ApiSupport;

// Website blacklist

ApiReply ListService::blacklist(ApiCall &ctx)
{
    using Answer = BaseModel<BlockWebsiteModel>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const QString askedPage = ctx.request.query.queryItemValue(QStringLiteral("page"));
    const QByteArray snapshotKey =
        QByteArrayLiteral("page:") + (ctx.language == Language::french ? 'f' : 'e') + askedPage.toUtf8();
    if (std::optional<QByteArray> kept = m_ctx.cache.answer(ctx.user->id, snapshotKey)) {
        ApiReply reply;
        reply.body = std::move(*kept);
        return reply;
    }
    const quint64 generation = m_ctx.cache.generation();
    // A page is built once for each version of the list (100 rows of JSON are most of its cost).
    const qint64 version = m_ctx.storage.blacklistVersion(ctx.user->id);
    const QByteArray key = QByteArray::number(ctx.user->id) + ':' + QByteArray::number(version) + ':' +
                           (ctx.language == Language::french ? 'f' : 'e') + askedPage.toUtf8();
    if (const auto known = m_pageAnswers.constFind(key); known != m_pageAnswers.constEnd()) {
        m_ctx.cache.keepAnswer(generation, ctx.user->id, snapshotKey, *known);
        ApiReply reply;
        reply.body = *known;
        return reply;
    }
    const qint64 total = m_ctx.storage.domainCount(ctx.user->id);
    const qint64 lastPage = qMax<qint64>(1, (total + pageSize - 1) / pageSize);
    const qint64 page = qBound<qint64>(1, positiveInteger(askedPage).value_or(1), lastPage + 1);
    const qint64 offset = (page - 1) * pageSize;
    const QList<DomainRow> rows = m_ctx.storage.domains(ctx.user->id, pageSize, offset);

    const QString path =
        m_ctx.settings.publicBase.resolved(QUrl(QStringLiteral("api/v3/getblockwebsitebyuser"))).toString();
    auto pageURL = [&](qint64 n) { return path + QStringLiteral("?page=") + QString::number(n); };

    BlockWebsiteModel model;
    model.currentPage = page;
    for (const DomainRow &row : rows)
        model.data.append({row.id, row.userID, row.domain, wireTime(row.createdAt), wireTime(row.updatedAt), {}});
    model.firstPageURL = pageURL(1);
    model.lastPage = lastPage;
    model.lastPageURL = pageURL(lastPage);
    model.links.append({page > 1 ? std::optional<QString>(pageURL(page - 1)) : std::nullopt,
                        QStringLiteral("&laquo; Previous"), false});
    for (qint64 n = 1; n <= lastPage; ++n)
        model.links.append({pageURL(n), QString::number(n), n == page});
    model.links.append({page < lastPage ? std::optional<QString>(pageURL(page + 1)) : std::nullopt,
                        QStringLiteral("Next &raquo;"), false});
    if (page < lastPage)
        model.nextPageURL = pageURL(page + 1);
    if (page > 1)
        model.prevPageURL = pageURL(page - 1);
    model.path = path;
    model.perPage = pageSize;
    if (!rows.isEmpty()) {
        model.from = offset + 1;
        model.to = offset + rows.size();
    }
    model.total = total;
    ApiReply reply = accepted(ok, ctx.msg(Msg::blacklist), model);
    if (m_pageAnswers.size() >= 1024)
        m_pageAnswers.clear();
    m_pageAnswers.insert(key, reply.body);
    m_ctx.cache.keepAnswer(generation, ctx.user->id, snapshotKey, reply.body);
    return reply;
}

ApiReply ListService::blockWebsite(ApiCall &ctx)
{
    using Answer = BaseModel<BlockData>;
    if (!ctx.userIDMatches())
        return refused<Answer>(forbidden, ctx.msg(Msg::userMismatch));
    const std::optional<QString> domain = blacklistDomain(ctx.field(QStringLiteral("domain")));
    if (!domain)
        return refused<Answer>(unprocessable, ctx.msg(Msg::websiteInvalid));
    const std::optional<DomainRow> row = m_ctx.storage.addDomain(ctx.user->id, *domain, ctx.now);
    if (!row)
        return refused<Answer>(conflict, ctx.msg(Msg::websiteDuplicate));
    m_ctx.listsChanged(ctx.user->id);
    return accepted(
        created, ctx.msg(Msg::websiteBlocked),
        BlockData{row->id, row->userID, row->domain, wireTime(row->createdAt), wireTime(row->updatedAt), {}});
}

ApiReply ListService::unblockWebsite(ApiCall &ctx)
{
    const std::optional<qint64> id = positiveInteger(ctx.field(QStringLiteral("domain_id")));
    if (!id)
        return refused<UnblockWebsiteModel>(notFound, ctx.msg(Msg::websiteNotFound));
    if (const std::optional<QString> why = m_ctx.weakeningLocked(ctx))
        return refused<UnblockWebsiteModel>(locked, *why);
    if (!m_ctx.pinWindowOpen(ctx))
        return refused<UnblockWebsiteModel>(forbidden, ctx.msg(Msg::pinRequired));
    if (!m_ctx.storage.removeDomain(ctx.user->id, *id))
        return refused<UnblockWebsiteModel>(notFound, ctx.msg(Msg::websiteNotFound));
    m_ctx.listsChanged(ctx.user->id);
    return acceptedRequired(ctx.msg(Msg::websiteUnblocked), qint64(1));
}

// Categories

ApiReply ListService::categoryList(ApiCall &ctx)
{
    // A signed-in user's answer is kept until their lists change.
    const qint64 userID = ctx.user ? ctx.user->id : 0;
    const QByteArray snapshotKey = ctx.language == Language::french ? "categories:f" : "categories:e";
    if (userID != 0) {
        if (std::optional<QByteArray> kept = m_ctx.cache.answer(userID, snapshotKey)) {
            ApiReply reply;
            reply.body = std::move(*kept);
            return reply;
        }
    }
    const quint64 generation = m_ctx.cache.generation();
    const QList<CategoryRow> rows = m_ctx.storage.categories(userID);
    // The answer depends only on the language and which categories are blocked: the few
    // combinations in use are encoded once.
    QByteArray key(1, ctx.language == Language::french ? 'f' : 'e');
    for (const CategoryRow &row : rows) {
        if (row.blocked)
            key += QByteArray::number(row.id) + ',';
    }
    if (const auto known = m_categoryAnswers.constFind(key); known != m_categoryAnswers.constEnd()) {
        if (userID != 0)
            m_ctx.cache.keepAnswer(generation, userID, snapshotKey, *known);
        ApiReply reply;
        reply.body = *known;
        return reply;
    }
    CategoryList list;
    for (const CategoryRow &row : rows)
        list.append(
            {row.id, ctx.language == Language::french ? row.nameFr : row.nameEn, row.alias, row.blocked ? 1 : 0});
    ApiReply reply = accepted(ok, ctx.msg(Msg::categories), list);
    if (m_categoryAnswers.size() >= 256)
        m_categoryAnswers.clear();
    m_categoryAnswers.insert(key, reply.body);
    if (userID != 0)
        m_ctx.cache.keepAnswer(generation, userID, snapshotKey, reply.body);
    return reply;
}

ApiReply ListService::blockCategory(ApiCall &ctx)
{
    using Answer = BaseModel<BlockCategoryModel>;
    const std::optional<qint64> id = positiveInteger(ctx.field(QStringLiteral("category_id")));
    if (!id || !m_ctx.storage.categoryExists(*id))
        return refused<Answer>(notFound, ctx.msg(Msg::categoryNotFound));
    const std::optional<UserCategoryRow> row = m_ctx.storage.blockCategory(ctx.user->id, *id, ctx.now);
    if (!row)
        throw StorageError("the blocked category was not stored");
    m_ctx.listsChanged(ctx.user->id);
    return accepted(ok, ctx.msg(Msg::categoryBlocked),
                    BlockCategoryModel{row->userID, QString::number(row->categoryID), wireTime(row->updatedAt),
                                       wireTime(row->createdAt), row->id});
}

ApiReply ListService::unblockCategory(ApiCall &ctx)
{
    using Answer = BaseModel<UnblockCategoryModel>;
    const std::optional<qint64> id = positiveInteger(ctx.field(QStringLiteral("category_id")));
    if (!id || !m_ctx.storage.categoryExists(*id))
        return refused<Answer>(notFound, ctx.msg(Msg::categoryNotFound));
    if (const std::optional<QString> why = m_ctx.weakeningLocked(ctx))
        return refused<Answer>(locked, *why);
    if (!m_ctx.pinWindowOpen(ctx))
        return refused<Answer>(forbidden, ctx.msg(Msg::pinRequired));
    const std::optional<UserCategoryRow> row = m_ctx.storage.unblockCategory(ctx.user->id, *id);
    if (!row)
        return refused<Answer>(notFound, ctx.msg(Msg::categoryNotBlocked));
    m_ctx.listsChanged(ctx.user->id);
    return accepted(
        ok, ctx.msg(Msg::categoryUnblocked),
        UnblockCategoryModel{row->id, row->userID, row->categoryID, wireTime(row->createdAt), wireTime(ctx.now)});
}
