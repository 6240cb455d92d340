// The app as its login unit sees it: the real hand-over at start and the real tray Quit,
// without the rest of the application. Quit is asked for by creating "quit-request" in the
// runtime folder, as a click on the tray menu would.
#include "app/AppDelegate.h"
#include "platform/LaunchAgent.h"

#include <QApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (handOverToLoginUnit(QApplication::arguments().contains(QLatin1String(loginArgument))))
        return 0;
    AppDelegate delegate(nullptr, nullptr);
    const QString request = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/quit-request";
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QFile::remove(request))
            delegate.quitFromMenu();
    });
    poll.start(50);
    return QApplication::exec();
}
