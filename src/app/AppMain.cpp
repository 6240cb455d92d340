#include "AppMain.h"

#include "AppDelegate.h"
#include "SplitViewController.h"
#include "ViewController.h"
#include "account/AccountWindows.h"
#include "account/LogoutFlow.h"
#include "api/ApiManager.h"
#include "api/CommonWS.h"
#include "api/FocusState.h"
#include "core/Log.h"
#include "core/TerminationSignals.h"
#include "pin/PinGate.h"
#include "pin/PinWindows.h"
#include "BuildConfig.h"
#include "platform/LaunchAgent.h"
#include "platform/NetworkChangeWatcher.h"
#include "platform/Workspace.h"
#include "protection/ApplicationBlocker.h"
#include "ui/CommmonFunction.h"
#include "ui/MainWindowController.h"
#include "ui/SingleInstance.h"
#include "settings/WebWindow.h"
#include "ui/WebContentLoader.h"
#include "ui/WindowAlertPresenter.h"

#include <QApplication>
#include <QDateTime>
#include <QPointer>
#include <QWindow>

namespace {
// For the start-up benchmark: wall-clock milliseconds, so a script can compare with the
// moment it started the process.
void traceStartup(const char *what)
{
    if (qEnvironmentVariableIsSet("NIMBREL_TRACE_STARTUP"))
        Log::line(QStringLiteral("startup-trace %1 %2").arg(QLatin1String(what)).arg(QDateTime::currentMSecsSinceEpoch()));
}

// Signed out: back to the launch screen, which then offers the sign-in.
void showLaunchScreen()
{
    CommmonFunction &common = CommmonFunction::shared();
    if (CustomWindow *main = common.mainWindow()) {
        main->setContent(new ViewController(&common));
        main->setFixedContentSize(795, 594);
        main->show();
    }
}

class FirstShowTracer : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose) {
            traceStartup("window");
            watched->removeEventFilter(this);
        }
        return false;
    }
};
} // namespace

CommmonFunction &attachPresenters(CustomWindow *window, WebContentLoader *web, ApplicationBlocker *blocker)
{
    CommmonFunction &common = CommmonFunction::shared();
    common.setMainWindow(window);
    // The one PIN gate of the application, handed to every screen that asks for the PIN.
    auto *gate = new PinGate(window);
    gate->setObjectName(QStringLiteral("pinGate"));
    // The one picture of the account's focus lock: fed by every answer that carries it, read
    // by the gate, the Focus screen and the tray.
    auto *focus = new FocusState(window);
    focus->setObjectName(QStringLiteral("focusState"));
    CommonWS::shared().setFocusState(focus);
    gate->setFocusState(focus);
    common.setMainContentFactory([gate, blocker, focus] { return new SplitViewController(gate, blocker, focus); });
    registerPinWindows(common, *gate);

    ApiWindowHooks hooks;
    hooks.mainWindowExists = [] { return CommmonFunction::shared().mainWindow() != nullptr; };
    hooks.bringFirstWindowToFront = [] {
        if (CustomWindow *main = CommmonFunction::shared().mainWindow()) {
            main->show();
            main->raise();
        }
    };
    hooks.endAttachedSheet = [] {
        if (QDialog *sheet = CommmonFunction::shared().openMainWindow)
            sheet->close();
    };
    hooks.showLaunchScreen = showLaunchScreen;
    ApiManager::shared().setWindowHooks(hooks);

    registerAccountWindows(common, web);
    if (web)
        registerWebWindows(common, web);
    // Signing out goes through the PIN: signed in again without a PIN, every gate would be open.
    common.setLogoutFlow([gate = QPointer<PinGate>(gate)] {
        if (gate)
            gate->ask(PinAction::Logout, [](PinGate::Finish finish) {
                finish(true);
                logOut(showLaunchScreen);
            });
    });
    return common;
}

int runApplication(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("nimbrel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Nimbrel"));
    // Closing the window leaves the app in the tray, where protection keeps being watched.
    app.setQuitOnLastWindowClosed(false);

    QStringList urls = QApplication::arguments().mid(1);
    urls.removeIf([](const QString &arg) { return arg.startsWith(QLatin1Char('-')); });
    SingleInstance instance;
    if (!urls.isEmpty() && instance.sendUrls(urls))
        return 0;
    if (handOverToLoginUnit(QApplication::arguments().contains(QLatin1String(loginArgument))))
        return 0;

    WindowAlertPresenter alerts;
    AlertPresenter::setShared(&alerts);

    WebContentLoader web; // loads the web plugin when a web window is first shown
    MainWindowController main;
    // Watches the active application from now on, whether or not anyone signs in.
    ApplicationBlocker blocker(makeWorkspace(QString::fromUtf8(BuildConfig::bundleId)));
    CommmonFunction &common = attachPresenters(main.window(), &web, &blocker);
    AppDelegate delegate(makeLaunchAgent(), &common);
    delegate.mainWindow = main.window();
    delegate.singleInstance = &instance;
    delegate.pinGate = main.window()->findChild<PinGate *>(QStringLiteral("pinGate"));
    delegate.focusState = main.window()->findChild<FocusState *>(QStringLiteral("focusState"));
    delegate.networkWatcher = makeNetworkChangeWatcher();
    delegate.loginUnit = makeLoginUnit();
    delegate.blocker = &blocker;

    auto *launch = new ViewController(&common);
    QObject::connect(launch, &ViewController::firstWindowChosen, launch, [] { traceStartup("content"); });
    main.window()->setContent(launch);
    main.window()->setFixedContentSize(795, 594);

    delegate.applicationDidFinishLaunching();
    traceStartup("tray");
    for (const QString &url : std::as_const(urls))
        delegate.handleGetURLEvent(QUrl(url));
    main.showWindow();
    // Expose events go to the native window, not to the widget.
    FirstShowTracer tracer;
    if (QWindow *native = main.window()->windowHandle())
        native->installEventFilter(&tracer);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    onTerminationSignal(&app, [] { QCoreApplication::quit(); });

    const int status = QApplication::exec();
    // Network and window objects go while the application object still exists.
    ApiManager::resetShared();
    CommmonFunction::resetShared();
    AlertPresenter::setShared(nullptr);
    return status;
}
