#pragma once

// A certificate authority of the test's own, and a certificate it signed for every name under a
// zone, made with the openssl tool.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace TestCertificates {

// Writes ca.pem/ca.key and zone.pem/zone.key (for *.<zone>) into dir; false (and why) when
// that cannot be done.
inline bool make(const QDir &dir, const QString &zone, QString *why)
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        *why = QStringLiteral("openssl is not installed");
        return false;
    }
    QFile extensions(dir.filePath(QStringLiteral("leaf.ext")));
    if (!extensions.open(QIODevice::WriteOnly)) {
        *why = extensions.errorString();
        return false;
    }
    extensions.write("subjectAltName=DNS:*." + zone.toLatin1() + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    extensions.close();
    const auto file = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                         QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    const QList<QStringList> steps{
        QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
            QStringList{QStringLiteral("-subj"), QStringLiteral("/CN=Nimbrel test CA"), QStringLiteral("-days"),
                        QStringLiteral("2"), QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                        QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign"),
                        QStringLiteral("-keyout"), file("ca.key"), QStringLiteral("-out"), file("ca.pem")},
        QStringList{QStringLiteral("req")} + ec +
            QStringList{QStringLiteral("-subj"), QStringLiteral("/CN=*.") + zone, QStringLiteral("-keyout"),
                        file("zone.key"), QStringLiteral("-out"), file("zone.csr")},
        QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), file("zone.csr"),
                    QStringLiteral("-CA"), file("ca.pem"), QStringLiteral("-CAkey"), file("ca.key"),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                    QStringLiteral("-extfile"), extensions.fileName(), QStringLiteral("-out"), file("zone.pem")},
    };
    for (const QStringList &arguments : steps) {
        QProcess step;
        step.setProcessChannelMode(QProcess::MergedChannels);
        step.start(openssl, arguments);
        if (!step.waitForFinished(30000) || step.exitCode() != 0) {
            *why = QString::fromUtf8(step.readAll());
            return false;
        }
    }
    return true;
}

} // namespace TestCertificates
