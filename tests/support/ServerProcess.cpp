#include "ServerProcess.h"

#include "records/FormEncoding.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <sys/resource.h>

ServerProcess::ServerProcess(const QString &binary, const QString &folder)
    : m_binary(binary)
    , m_folder(folder)
    , m_now(QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC))
{
    QDir().mkpath(folder);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    setNow(m_now);
}

ServerProcess::~ServerProcess()
{
    stop();
}

bool ServerProcess::start(const QStringList &extraArguments, const QProcessEnvironment &environment)
{
    QStringList arguments{QStringLiteral("--port"),           QStringLiteral("0"),
                          QStringLiteral("--data-dir"),       m_folder,
                          QStringLiteral("--app-token"),      QString::fromLatin1(appToken()),
                          QStringLiteral("--clock-file"),     QDir(m_folder).filePath(QStringLiteral("clock")),
                          QStringLiteral("--hash-passes"),    QStringLiteral("1"),
                          QStringLiteral("--hash-memory"),    QStringLiteral("8"),
                          QStringLiteral("--check-interval"), QStringLiteral("50")};
    arguments += extraArguments;
    // Tests never take the machine's port 53.
    if (!extraArguments.contains(QStringLiteral("--dns-port")))
        arguments << QStringLiteral("--no-dns");
    QProcessEnvironment env = environment.isEmpty() ? QProcessEnvironment::systemEnvironment() : environment;
    m_process.setProcessEnvironment(env);
    if (m_openFileLimit) {
        const rlim_t limit = rlim_t(m_openFileLimit);
        m_process.setChildProcessModifier([limit] {
            const rlimit both{limit, limit};
            ::setrlimit(RLIMIT_NOFILE, &both);
        });
    }
    m_output.clear();
    m_port = 0;
    m_process.start(m_binary, arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    static const QRegularExpression listening(QStringLiteral("listening on https?://[^:/]+:(\\d+)/"));
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        const QRegularExpressionMatch match = listening.match(output());
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return true;
        }
        m_process.waitForReadyRead(100);
    }
    qWarning().noquote() << "nimbrel-server did not start:" << output();
    return false;
}

bool ServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }
    output();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

quint16 ServerProcess::dnsPort(int timeoutMs)
{
    static const QRegularExpression listening(QStringLiteral("DNS listening on .* port (\\d+) "));
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QRegularExpressionMatch match = listening.match(output());
        if (match.hasMatch())
            return quint16(match.captured(1).toUInt());
        if (deadline.hasExpired() || m_process.state() != QProcess::Running)
            return 0;
        m_process.waitForReadyRead(100);
    }
}

QUrl ServerProcess::apiBase() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/api/v3/").arg(m_port));
}

QString ServerProcess::output()
{
    m_output += m_process.readAll();
    return QString::fromUtf8(m_output);
}

void ServerProcess::setNow(const QDateTime &time)
{
    m_now = time.toUTC();
    QFile file(QDir(m_folder).filePath(QStringLiteral("clock")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(m_now.toString(Qt::ISODateWithMs).toLatin1());
}

QStringList ServerProcess::mails() const
{
    QDir outbox(QDir(m_folder).filePath(QStringLiteral("outbox")));
    QStringList texts;
    for (const QString &name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        QFile file(outbox.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            texts.append(QString::fromUtf8(file.readAll()));
    }
    return texts;
}

QJsonObject ServerAnswer::json() const
{
    return QJsonDocument::fromJson(body).object();
}

ServerClient::ServerClient(const QUrl &apiBase)
    : m_apiBase(apiBase)
{
}

ServerAnswer ServerClient::post(const QString &path, const Form &form, const QByteArray &token,
                                const QByteArray &language)
{
    return send("POST", m_apiBase.resolved(QUrl(path)), encodeForm(form),
                {{"Authorization", "Bearer " + token},
                 {"X-localization", language},
                 {"Content-Type", "application/x-www-form-urlencoded; charset=utf-8"}});
}

ServerAnswer ServerClient::get(const QString &path, const QByteArray &token, const QByteArray &language)
{
    return send("GET", m_apiBase.resolved(QUrl(path)), {},
                {{"Authorization", "Bearer " + token}, {"X-localization", language}});
}

ServerAnswer ServerClient::send(const QByteArray &method, const QUrl &url, const QByteArray &body,
                                const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QNetworkRequest request(url);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    request.setTransferTimeout(10000);
    QNetworkReply *reply = m_network.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    ServerAnswer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    reply->deleteLater();
    return answer;
}

Account signUp(ServerClient &client, const QString &email, const QString &password, const QByteArray &appToken)
{
    const ServerAnswer answer = client.post(QStringLiteral("signup"),
                                            {{QStringLiteral("social_media"), QStringLiteral("0")},
                                             {QStringLiteral("device_name"), QStringLiteral("Desk")},
                                             {QStringLiteral("email"), email},
                                             {QStringLiteral("password"), password},
                                             {QStringLiteral("profile_id"), QStringLiteral("0")}},
                                            appToken);
    if (!answer.accepted())
        qWarning().noquote() << "sign-up refused:" << answer.msg();
    const QJsonObject data = answer.data().toObject();
    return {data.value(QStringLiteral("id")).toInteger(), data.value(QStringLiteral("token")).toString().toLatin1(),
            email, password};
}
