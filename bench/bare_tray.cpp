// The baseline of the start-up benchmark: the least a Qt Widgets tray application is: one
// window of the app's size with a line of text, and a tray icon with its menu. It prints the
// same start-up trace lines as the app, so startup.sh measures both the same way.
#include <QApplication>
#include <QDateTime>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTextStream>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

namespace {
void trace(const char *what)
{
    QTextStream(stdout) << "startup-trace " << what << ' ' << QDateTime::currentMSecsSinceEpoch() << Qt::endl;
}

class FirstExpose : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose) {
            trace("window");
            watched->removeEventFilter(this);
        }
        return false;
    }
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkBlue);
    QSystemTrayIcon tray{QIcon(pixmap)};
    QMenu menu;
    menu.addAction(QStringLiteral("Quit"), &app, &QCoreApplication::quit);
    tray.setContextMenu(&menu);
    tray.show();
    trace("tray");

    QWidget window;
    window.setFixedSize(795, 594);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Hello from the tray")));
    window.show();
    FirstExpose tracer;
    if (QWindow *native = window.windowHandle())
        native->installEventFilter(&tracer);
    return QApplication::exec();
}
