#pragma once

#include "ServiceContext.h"

class DnsServer;

// DNS over HTTPS (RFC 8484) at /dns-query/<device key>: GET with ?dns= (base64url without
// padding) or POST of application/dns-message. The filtering DNS answers with the policy of
// the key's account, wherever the request comes from. A key that names no device gets the same
// refusal as a made-up one, before anything is looked up by name.
namespace DnsOverHttps {

inline const QString pathPrefix = QStringLiteral("/dns-query/");

// dns: null while the filtering DNS does not run (then 503). done runs once, on context's thread.
void answer(const ApiRequest &request, DnsServer *dns, QObject *context, const Done &done);

// The DNS message a request carries, or why there is none (an HTTP status).
struct Message {
    QByteArray wire;
    int status = 200;
};
Message messageOf(const ApiRequest &request);

} // namespace DnsOverHttps
