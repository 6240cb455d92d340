#include "DnsOverHttps.h"

#include "dns/DeviceKey.h"
#include "dns/DnsServer.h"

namespace DnsOverHttps {

namespace {
constexpr qsizetype maxMessage = 65535;

ApiReply plain(int status, const QByteArray &text)
{
    ApiReply reply;
    reply.status = status;
    reply.contentType = QByteArrayLiteral("text/plain; charset=utf-8");
    reply.body = text + '\n';
    // The key is in the address: nothing on the way keeps an answer or passes the address on.
    reply.headers = {{"Cache-Control", "no-store"}, {"Referrer-Policy", "no-referrer"}};
    return reply;
}
} // namespace

Message messageOf(const ApiRequest &request)
{
    Message out;
    if (request.method == "GET") {
        const QByteArray encoded = request.query.queryItemValue(QStringLiteral("dns"), QUrl::FullyEncoded).toLatin1();
        // base64url without padding; padding is taken too, anything else is not.
        const auto decoded = QByteArray::fromBase64Encoding(
            encoded, QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
        if (encoded.isEmpty() || !decoded)
            out.status = 400;
        else
            out.wire = *decoded;
    } else if (request.method == "POST") {
        const QByteArray type = request.header("Content-Type").split(';').first().trimmed().toLower();
        if (type != "application/dns-message")
            out.status = 415;
        else
            out.wire = request.body;
    } else {
        out.status = 405;
    }
    if (out.status == 200 && (out.wire.size() < 12 || out.wire.size() > maxMessage))
        out.status = 400;
    return out;
}

void answer(const ApiRequest &request, DnsServer *dns, QObject *context, const Done &done)
{
    const Message message = messageOf(request);
    if (message.status != 200) {
        ApiReply reply = plain(message.status, message.status == 415   ? "send application/dns-message"
                                               : message.status == 405 ? "GET or POST"
                                                                       : "not a DNS message");
        if (message.status == 405)
            reply.headers.append({QByteArrayLiteral("Allow"), QByteArrayLiteral("GET, POST")});
        return done(reply);
    }
    const QByteArray keyHash = DeviceKey::hash(request.path.mid(pathPrefix.size()));
    if (keyHash.isEmpty())
        return done(plain(403, "forbidden"));
    if (!dns)
        return done(plain(503, "no DNS here"));
    dns->askForDevice(message.wire, keyHash, context, [done](const DnsServer::KeyedAnswer &answer) {
        using Kind = DnsServer::KeyedAnswer::Kind;
        switch (answer.kind) {
        case Kind::answer: {
            ApiReply reply;
            reply.contentType = QByteArrayLiteral("application/dns-message");
            reply.body = answer.message;
            reply.headers = {{"Cache-Control", "no-store"}};
            return done(reply);
        }
        case Kind::unknownKey:
            return done(plain(403, "forbidden"));
        case Kind::notAQuery:
            return done(plain(400, "not a DNS message"));
        case Kind::unavailable:
            break;
        }
        done(plain(503, "no DNS here"));
    });
}

} // namespace DnsOverHttps
