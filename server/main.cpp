#include "BuildConfig.h"
#include "Crypto.h"
#include "Server.h"
#include "ServerOptions.h"
#include "core/Log.h"
#include "core/TerminationSignals.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nimbrel-server"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(BuildConfig::version));

    // Several HTTP threads log: each line goes out in one write, never interleaved with another.
    Log::setSink([](const QString &text) {
        const QByteArray line = text.toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    });

    QString message;
    const std::optional<ServerOptions> options = ServerOptions::parse(QCoreApplication::arguments(), &message);
    if (!options) {
        std::fprintf(stderr, "nimbrel-server: %s (see --help)\n", qPrintable(message));
        return 2;
    }
    if (!Crypto::initialize()) {
        std::fprintf(stderr, "nimbrel-server: libsodium cannot start\n");
        return 1;
    }
    // Before the server says it listens: a SIGTERM right after that line ends it cleanly.
    onTerminationSignal(&app, [] {
        Log::line(QStringLiteral("nimbrel-server stopping"));
        QCoreApplication::quit();
    });
    std::unique_ptr<Server> server = Server::start(*options, &message);
    if (!server) {
        std::fprintf(stderr, "nimbrel-server: %s\n", qPrintable(message));
        return 1;
    }
    const int status = QCoreApplication::exec();
    server.reset();
    return status;
}
