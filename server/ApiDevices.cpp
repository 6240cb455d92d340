#include "ApiSupport.h"

#include "storage/SqlStorage.h"

using namespace ApiSupport;

// Devices and the account status call.

void ApiService::recordDevice(Context &ctx, qint64 userID)
{
    const QString platformID = ctx.field(QStringLiteral("platform_unique_id")).trimmed();
    if (platformID.isEmpty() || platformID.size() > 200 || !validText(platformID.left(maxTextLength)))
        return;
    m_storage.recordDevice(userID, platformID, ctx.request.remoteAddress, ctx.now);
    emit listsChanged(userID);
}

ApiReply ApiService::syncURL(Context &ctx)
{
    recordDevice(ctx, ctx.user->id);
    SyncURLModel status;
    if (const std::optional<PinRow> pin = m_storage.pinForUser(ctx.user->id))
        status.pinProtection = pinProtectionModel(*pin, ctx.now);

    // The payload also carries the account, which the app does not read.
    QJsonObject data = encodeRecord(userModel(*ctx.user));
    const QJsonObject statusFields = encodeRecord(status);
    for (auto it = statusFields.begin(); it != statusFields.end(); ++it)
        data.insert(it.key(), it.value());
    data.insert(QStringLiteral("platform_unique_id"), ctx.field(QStringLiteral("platform_unique_id")).trimmed());

    BaseModel<SyncURLModel> envelope;
    envelope.status = true;
    envelope.code = ok;
    envelope.msg = ctx.msg(Msg::synced);
    envelope.version = apiVersion;
    QJsonObject body = encodeRecord(envelope);
    body.insert(QStringLiteral("data"), data);
    ApiReply reply;
    reply.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return reply;
}
