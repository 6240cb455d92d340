#pragma once

#include "ServiceContext.h"

#include <QHash>

// The user's website blacklist and blocked categories: what the filtering DNS applies.
class ListService : private ServiceLimits
{
public:
    explicit ListService(ServiceContext &context)
        : m_ctx(context)
    {
    }

    ApiReply blacklist(ApiCall &ctx);
    ApiReply blockWebsite(ApiCall &ctx);
    ApiReply unblockWebsite(ApiCall &ctx);
    ApiReply categoryList(ApiCall &ctx);
    ApiReply blockCategory(ApiCall &ctx);
    ApiReply unblockCategory(ApiCall &ctx);

private:
    ServiceContext &m_ctx;
    QHash<QByteArray, QByteArray> m_categoryAnswers; // by language and blocked categories
    QHash<QByteArray, QByteArray> m_pageAnswers;     // by user, list version, language and page
};
