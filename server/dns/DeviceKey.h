#pragma once

#include <QByteArray>
#include <QString>

// A device's own key to the filtering DNS: 128 random bits in lower-case base32, so that it is
// one DNS label ("<key>.<zone>" for DNS over TLS) and one path segment (DNS over HTTPS). Only
// its hash is stored; the DNS threads hash what a client presents and look that up.
namespace DeviceKey {

constexpr int length = 26; // 128 bits at 5 bits a character

QString make();
// The key as written by make(); any letter case is taken as the same key, as DNS names are.
bool valid(QStringView key);
// What is stored and looked up in place of the key: SHA-256 of the lower-case key, in hex.
// Empty for anything that is not a key.
QByteArray hash(QStringView key);

} // namespace DeviceKey
