#pragma once

#include <QString>
#include <QTemporaryDir>

// A throwaway PostgreSQL cluster on 127.0.0.1 (a free port) in a temporary folder, for the
// storage and server tests. When run as root the cluster runs as the "postgres" system user,
// since PostgreSQL refuses root. Stopped and deleted with this object.
class ServerPostgres
{
public:
    ServerPostgres();
    ~ServerPostgres();

    // Where initdb and pg_ctl are, or an empty string when PostgreSQL is not installed.
    static QString binaries();

    // False (and *why says why) when the cluster could not be made or started.
    bool start(QString *why);
    // Stops the cluster (its clients lose their connections) and starts it again on the same port.
    bool halt();
    bool resume();
    // Makes an empty database; false when that failed.
    bool createDatabase(const QString &name);
    // postgresql://nimbrel@127.0.0.1:<port>/<name>; the password is in password().
    QString url(const QString &name) const;
    QString password() const { return m_password; }

private:
    bool run(const QString &program, const QStringList &arguments, bool asClusterOwner, QString *output = nullptr);

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_data;
    QString m_password;
    QString m_serverOptions;
    quint16 m_port = 0;
    bool m_running = false;
    bool m_asPostgres = false;
};
