#include "ServerPostgres.h"

#include "StubHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUuid>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {
const QString clusterUser = QStringLiteral("nimbrel");

bool giveTo(const QString &path, uid_t uid, gid_t gid)
{
    return ::chown(QFile::encodeName(path).constData(), uid, gid) == 0;
}
} // namespace

ServerPostgres::ServerPostgres()
    : m_password(QUuid::createUuid().toString(QUuid::Id128))
{
}

ServerPostgres::~ServerPostgres()
{
    if (m_running)
        run(QDir(m_bin).filePath(QStringLiteral("pg_ctl")),
            {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"),
             QStringLiteral("stop")},
            true);
}

QString ServerPostgres::binaries()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &version : versions) {
        const QString bin = root.filePath(version + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return {};
}

bool ServerPostgres::run(const QString &program, const QStringList &arguments, bool asClusterOwner, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), m_password);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_dir.path());
    if (asClusterOwner && m_asPostgres)
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} +
                          arguments);
    else
        process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool ServerPostgres::start(QString *why)
{
    m_bin = binaries();
    if (m_bin.isEmpty()) {
        *why = QStringLiteral("PostgreSQL server binaries (initdb, pg_ctl) are not installed");
        return false;
    }
    if (!m_dir.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    m_data = m_dir.filePath(QStringLiteral("data"));
    const QString passwordFile = m_dir.filePath(QStringLiteral("password"));
    QDir().mkpath(m_data);
    QFile pw(passwordFile);
    if (!pw.open(QIODevice::WriteOnly) || pw.write(m_password.toLatin1() + '\n') < 0) {
        *why = QStringLiteral("cannot write the password file");
        return false;
    }
    pw.close();

    m_asPostgres = ::geteuid() == 0;
    if (m_asPostgres) {
        const passwd *owner = ::getpwnam("postgres");
        if (!owner) {
            *why = QStringLiteral("running as root and there is no \"postgres\" user to run the cluster");
            return false;
        }
        // The cluster's user must reach the folder and own the data and the password file.
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                QFileDevice::ExeGroup | QFileDevice::ExeOther);
        if (!giveTo(m_data, owner->pw_uid, owner->pw_gid) || !giveTo(passwordFile, owner->pw_uid, owner->pw_gid)) {
            *why = QStringLiteral("cannot hand the cluster folder to the postgres user");
            return false;
        }
    }
    QFile::setPermissions(m_data, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QString output;
    if (!run(QDir(m_bin).filePath(QStringLiteral("initdb")),
             {QStringLiteral("-D"), m_data, QStringLiteral("-U"), clusterUser, QStringLiteral("--pwfile"), passwordFile,
              QStringLiteral("-A"), QStringLiteral("scram-sha-256"), QStringLiteral("--no-locale"),
              QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync")},
             true, &output)) {
        *why = QStringLiteral("initdb failed: ") + output.right(400);
        return false;
    }
    m_port = unusedLocalPort();
    m_serverOptions = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                                 "-c synchronous_commit=off -c full_page_writes=off")
                                      .arg(m_port)
                                      .arg(m_data);
    if (!resume()) {
        QFile log(m_data + QStringLiteral("/server.log"));
        log.open(QIODevice::ReadOnly);
        *why = QStringLiteral("pg_ctl start failed: ") + QString::fromLocal8Bit(log.readAll().right(300));
        return false;
    }
    return true;
}

bool ServerPostgres::halt()
{
    m_running = !run(QDir(m_bin).filePath(QStringLiteral("pg_ctl")),
                     {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                      QStringLiteral("stop")},
                     true);
    return !m_running;
}

bool ServerPostgres::resume()
{
    m_running = run(QDir(m_bin).filePath(QStringLiteral("pg_ctl")),
                    {QStringLiteral("-D"), m_data, QStringLiteral("-l"), m_data + QStringLiteral("/server.log"),
                     QStringLiteral("-o"), m_serverOptions, QStringLiteral("-w"), QStringLiteral("-t"),
                     QStringLiteral("30"), QStringLiteral("start")},
                    true);
    return m_running;
}

bool ServerPostgres::createDatabase(const QString &name)
{
    QString output;
    const bool ok = run(QDir(m_bin).filePath(QStringLiteral("psql")),
                        {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                         QString::number(m_port), QStringLiteral("-U"), clusterUser, QStringLiteral("-d"),
                         QStringLiteral("postgres"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                         QStringLiteral("-c"), QStringLiteral("CREATE DATABASE \"%1\"").arg(name)},
                        false, &output);
    if (!ok)
        qWarning().noquote() << "CREATE DATABASE failed:" << output;
    return ok;
}

QString ServerPostgres::url(const QString &name) const
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(clusterUser).arg(m_port).arg(name);
}
