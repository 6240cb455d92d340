// The yardstick of bench/http: a bare QHttpServer answering one fixed JSON body of the size of
// nimbrel-server's category answer, with nothing else to do.
#include <QCoreApplication>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray body =
        "{\"code\":200,\"data\":[" + QByteArray(275, 'x').prepend('"').append('"') + "],\"status\":true}";
    QHttpServer server;
    // Every service path, any method: the same answer.
    server.route("/api/v3/<arg>", [body](const QString &) { return QHttpServerResponse("application/json", body); });
    const quint16 port = server.listen(QHostAddress::LocalHost, argc > 1 ? quint16(atoi(argv[1])) : 0);
    std::printf("listening on %u\n", port);
    std::fflush(stdout);
    return port ? app.exec() : 1;
}
