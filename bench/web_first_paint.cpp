// Run by hand from bench/web.sh: what the first web window costs once the app asks for one.
//   nimbrel_bench_webpaint <plugin folder> [--no-share-gl]
// Prints, one per line: plugin load time, time from show() to the page's load and to its first
// painted frame (the block page, a local page, so the network plays no part), and resident
// memory before the plugin, with the plugin loaded, and with the window open.
#include "settings/FAQWC.h"
#include "ui/WebContentLoader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

namespace {
long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A frame has reached the widget once it is no longer one flat colour.
bool painted(QWidget *view)
{
    const QImage image = view->grab().toImage();
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    const bool shareGl = !(argc > 2 && QByteArray(argv[2]) == "--no-share-gl");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (shareGl)
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: nimbrel_bench_webpaint <plugin folder> [--no-share-gl]\n";
        return 2;
    }
    QTest::qWait(500);
    const long before = rssKb();

    QElapsedTimer clock;
    clock.start();
    WebContentLoader loader(QStringList{QString::fromLocal8Bit(argv[1])});
    if (!loader.plugin()) {
        QTextStream(stderr) << "no web plugin in " << argv[1] << '\n';
        return 1;
    }
    const qint64 loadMs = clock.elapsed();
    const long withPlugin = rssKb();

    BlockPageRequest request;
    request.request(QStringLiteral("Solitaire"));
    FAQWC window(&loader, nullptr, request);
    clock.restart();
    window.show();
    QWidget *view = window.webView();
    QSignalSpy loaded(view, SIGNAL(loadFinished(bool)));
    if (!loaded.wait(30000))
        return 1;
    const qint64 loadedMs = clock.elapsed();
    if (!QTest::qWaitFor([view] { return painted(view); }, 30000))
        return 1;
    const qint64 paintMs = clock.elapsed();
    QTest::qWait(2000);

    QTextStream out(stdout);
    out << "plugin-load-ms " << loadMs << '\n'
        << "page-loaded-ms " << loadedMs << '\n'
        << "first-paint-ms " << paintMs << '\n'
        << "rss-before-plugin-kB " << before << '\n'
        << "rss-plugin-loaded-kB " << withPlugin << '\n'
        << "rss-window-open-kB " << rssKb() << '\n';
    return 0;
}
