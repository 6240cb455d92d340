// libFuzzer entry for the DNS query path: any message from a client is answered with a
// message ldns reads back, carrying the query's id, or dropped; the same bytes taken as an
// upstream answer give a readable answer too. The same bytes also come as DNS over HTTPS: a
// GET parameter, a POST body or a device key in the path, decoded and answered for a device
// named by its key.
#include "DnsOverHttps.h"
#include "dns/DeviceKey.h"
#include "dns/DnsPolicy.h"
#include "dns/DnsQuery.h"

#include <cstdint>
#include <cstdlib>
#include <ldns/ldns.h>

namespace {
const QByteArray &keyHash()
{
    static const QByteArray hash = DeviceKey::hash(QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    return hash;
}

const DnsPolicy &policy()
{
    static const DnsPolicy policy = [] {
        DnsPolicy::Data data;
        data.deviceUsers.insert(QHostAddress(QStringLiteral("127.0.0.1")), 1);
        auto lists = std::make_shared<DnsUserLists>();
        lists->sites = NameSet::fromNames({QStringLiteral("blocked.test"), QStringLiteral("example.com")});
        lists->categories.append(std::make_shared<NameSet>(NameSet::fromNames({QStringLiteral("bet365.com")})));
        data.users.insert(1, lists);
        data.deviceKeys.insert(keyHash(), 1);
        data.alwaysBlocked = std::make_shared<NameSet>(NameSet::fromNames({QStringLiteral("use-application-dns.net")}));
        data.probeZone = QStringLiteral("probe.nimbrel.test");
        return DnsPolicy(data);
    }();
    return policy;
}

void mustRead(const QByteArray &wire)
{
    ldns_pkt *packet = nullptr;
    if (ldns_wire2pkt(&packet, reinterpret_cast<const uint8_t *>(wire.constData()), size_t(wire.size())) !=
        LDNS_STATUS_OK)
        std::abort();
    ldns_pkt_free(packet);
}
// The path, the query parameter and the body of DNS over HTTPS requests made of the bytes: only
// what decodes to a DNS message of a sane size reaches the DNS path.
void dnsOverHttps(const QByteArray &bytes)
{
    const QByteArray key = DeviceKey::hash(QString::fromLatin1(bytes));
    if (!key.isEmpty() && key.size() != 64)
        std::abort();
    ApiRequest get;
    get.method = "GET";
    get.query.setQueryItems({{QStringLiteral("dns"), QString::fromLatin1(bytes)}});
    ApiRequest post;
    post.method = "POST";
    post.headers = {{"Content-Type", bytes.left(40)}};
    post.body = bytes;
    for (const ApiRequest *request : {&get, &post}) {
        const DnsOverHttps::Message message = DnsOverHttps::messageOf(*request);
        if (message.status != 200)
            continue;
        if (message.wire.size() < 12 || message.wire.size() > 65535)
            std::abort();
        const DnsQuery::Outcome outcome = DnsQuery::answer(message.wire.constData(), message.wire.size(), policy(),
                                                           DnsClient(QHostAddress(), keyHash()),
                                                           DnsQuery::Transport::tcp);
        if (outcome.kind == DnsQuery::Outcome::Kind::reply && outcome.reply.left(2) != message.wire.left(2))
            std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    dnsOverHttps(QByteArray(bytes, qsizetype(size)));
    for (const char *client : {"127.0.0.1", "127.0.0.2", "203.0.113.9"}) {
        for (const DnsQuery::Transport transport : {DnsQuery::Transport::udp, DnsQuery::Transport::tcp}) {
            const DnsQuery::Outcome outcome =
                DnsQuery::answer(bytes, qsizetype(size), policy(), QHostAddress(QString::fromLatin1(client)), transport);
            switch (outcome.kind) {
            case DnsQuery::Outcome::Kind::drop:
                break;
            case DnsQuery::Outcome::Kind::reply:
                if (outcome.reply.size() < 12 || outcome.reply.left(2) != QByteArray(bytes, 2))
                    std::abort();
                mustRead(outcome.reply);
                break;
            case DnsQuery::Outcome::Kind::forward: {
                if (!outcome.query || DnsQuery::nameText(outcome.query.get()).empty())
                    std::abort();
                const QByteArray answer = DnsQuery::fromUpstream(outcome.query.get(), data, int(size), transport);
                if (transport == DnsQuery::Transport::udp && answer.size() > DnsQuery::udpLimit(outcome.query.get()))
                    std::abort();
                mustRead(answer);
                break;
            }
            }
        }
    }
    return 0;
}
