#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUrl>

// A real nimbrel-server process for one test: a free port on 127.0.0.1, its own data folder
// (SQLite file, key, outbox) below folder, a clock the test moves through a file, cheap
// password hashes and a fast look for PINs due. start() returns once the server listens.
class ServerProcess
{
public:
    ServerProcess(const QString &binary, const QString &folder);
    ~ServerProcess();

    static QByteArray appToken() { return QByteArrayLiteral("test-app-token"); }

    // extraArguments go after the defaults (a later --database replaces the SQLite file).
    bool start(const QStringList &extraArguments = {}, const QProcessEnvironment &environment = {});
    // SIGTERM, then waits for the process to end; true when it ended cleanly.
    bool stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    // The server starts with this open-file limit, soft and hard (0: inherited).
    void setOpenFileLimit(quint64 limit) { m_openFileLimit = limit; }
    qint64 pid() const { return m_process.processId(); }

    quint16 port() const { return m_port; }
    // The DNS port the server printed, once it did (waits up to timeoutMs); 0 when it did not.
    // Without --dns-port among the extra arguments the server runs with --no-dns.
    quint16 dnsPort(int timeoutMs = 5000);
    QUrl apiBase() const;
    QString folder() const { return m_folder; }
    // Everything the server printed so far.
    QString output();

    // The server's clock: starts at 2026-01-01 12:00 UTC.
    QDateTime now() const { return m_now; }
    void setNow(const QDateTime &time);
    void advance(qint64 seconds) { setNow(m_now.addSecs(seconds)); }

    // The e-mails written so far, oldest first, as their full text.
    QStringList mails() const;

private:
    QString m_binary;
    QString m_folder;
    QProcess m_process;
    QByteArray m_output;
    quint16 m_port = 0;
    quint64 m_openFileLimit = 0;
    QDateTime m_now;
};

// One HTTP answer of the server.
struct ServerAnswer {
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QJsonObject json() const;
    QString msg() const { return json().value(QStringLiteral("msg")).toString(); }
    bool accepted() const { return json().value(QStringLiteral("status")).toBool(); }
    QJsonValue data() const { return json().value(QStringLiteral("data")); }
};

// Talks to a server the way the app does: form-encoded POSTs (every character but the
// unreserved ones escaped), "Authorization: Bearer <token>" and "X-localization".
class ServerClient
{
public:
    using Form = QList<QPair<QString, QString>>;

    explicit ServerClient(const QUrl &apiBase);

    ServerAnswer post(const QString &path, const Form &form, const QByteArray &token,
                      const QByteArray &language = "en");
    ServerAnswer get(const QString &path, const QByteArray &token, const QByteArray &language = "en");
    // Any address, method and body (the reset page, raw bodies).
    ServerAnswer send(const QByteArray &method, const QUrl &url, const QByteArray &body,
                      const QList<QPair<QByteArray, QByteArray>> &headers);

private:
    QUrl m_apiBase;
    QNetworkAccessManager m_network;
};

// An account on the server: its id is 0 when the sign-up was refused.
struct Account {
    qint64 id = 0;
    QByteArray token;
    QString email;
    QString password;
};

// Signs up a new account the way the app does, with the given application token.
Account signUp(ServerClient &client, const QString &email, const QString &password = QStringLiteral("correct horse"),
               const QByteArray &appToken = ServerProcess::appToken());
