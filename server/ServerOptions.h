#pragma once

#include "Crypto.h"
#include "storage/SqlStorage.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QUrl>
#include <optional>

// How the server was asked to run, from its command line (see --help).
struct ServerOptions {
    QHostAddress listen;
    quint16 port = 0;
    DatabaseSettings database;
    QString dataFolder;
    QString outbox;
    QString keyFile;
    QByteArray appToken;
    bool classicApi = false; // only the original services
    QUrl publicBase;
    // Reverse proxies whose X-Forwarded-For is believed; plain HTTP on an address other than
    // loopback needs one.
    QList<QPair<QHostAddress, int>> trustedProxies;
    QString tlsCertificate;
    QString tlsKey;
    QUrl googleVerifyURL;
    QUrl facebookVerifyURL;
    // Whom a provider token must have been granted to, and where the provider says so.
    QString googleClientId;
    QUrl googleTokenInfoURL;
    QString facebookAppId;
    QString facebookAppSecret; // read from --facebook-app-secret-file
    QUrl facebookDebugTokenURL;
    Crypto::HashCost hashCost;
    int threads = 0;         // HTTP threads; 0: one per core
    int connectionsPerAddress = 256; // HTTP connections one client address may hold
    int passwordWorkers = 0; // threads hashing passwords; 0: one per core
    int checkIntervalMs = 60 * 1000;
    QString clockFile;

    // The filtering DNS.
    bool dns = true;
    QList<QHostAddress> dnsListen; // default: the --listen address
    quint16 dnsPort = 53;
    QStringList dnsUpstreams; // "ADDR" or "ADDR@PORT"; none: resolve from the root
    QList<QPair<QHostAddress, int>> dnsAllow;
    QString categoryLists;
    QString filterProbe;
    // DNS over TLS: devices ask for "<their key>.<dotZone>"; the certificate defaults to --tls-cert.
    QString dotZone;
    quint16 dotPort = 853;
    QString dotCertificate;
    QString dotKey;

    // No value when the arguments are wrong; *message then says why. --help and --version
    // print and end the process, as usual for a command-line tool.
    static std::optional<ServerOptions> parse(const QStringList &arguments, QString *message);
};
