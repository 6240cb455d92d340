#pragma once

// The filtering DNS of a real nimbrel-server on a free port, for the switch's self-check: the
// app asks it on the port named by NIMBREL_FILTER_PORT. Needs NIMBREL_SERVER_BINARY.

#include "ServerProcess.h"

#include <QTemporaryDir>
#include <memory>

class FilterDns
{
public:
    ~FilterDns() { qunsetenv("NIMBREL_FILTER_PORT"); }

    // Starts the server's DNS on address; *why says what went wrong.
    bool start(const QString &address, QString *why)
    {
        m_server = std::make_unique<ServerProcess>(QStringLiteral(NIMBREL_SERVER_BINARY), m_dir.path());
        if (!m_server->start(
                {QStringLiteral("--dns-listen"), address, QStringLiteral("--dns-port"), QStringLiteral("0")})) {
            *why = m_server->output();
            return false;
        }
        m_port = m_server->dnsPort();
        if (!m_port) {
            *why = m_server->output();
            return false;
        }
        qputenv("NIMBREL_FILTER_PORT", QByteArray::number(m_port));
        return true;
    }
    quint16 port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    quint16 m_port = 0;
};
