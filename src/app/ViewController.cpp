#include "ViewController.h"

#include "api/ApiManager.h"
#include "api/CommonWS.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"
#include "ui/StartupPresenter.h"

#include <QIcon>
#include <QLabel>
#include <QShowEvent>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

ViewController::ViewController(StartupPresenter *presenter, QWidget *parent)
    : QWidget(parent)
    , m_presenter(presenter)
{
    setObjectName(QStringLiteral("ViewController"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    appLogoImageView = new QLabel(this);
    appLogoImageView->setObjectName(QStringLiteral("appLogoImageView"));
    appLogoImageView->setAlignment(Qt::AlignCenter);
    appLogoImageView->setPixmap(QIcon(QStringLiteral(":/icons/nimbrel-logo.svg")).pixmap(220, 220));
    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(appLogoImageView);
    layout->addStretch();

    viewDidLoad();
}

void ViewController::viewDidLoad()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    Log::line(QUrl::fromLocalFile(documents + QLatin1Char('/')).toString());
    // Started once per process; a launch screen shown again after a sign-out keeps the monitor.
    if (!ApiManager::shared().reachability())
        ApiManager::shared().setupReachability();
    CommonWS::shared().syncURL({});
}

void ViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        viewDidAppear();
}

void ViewController::viewDidAppear()
{
    window()->raise();
    Clock::shared().schedule(startupDelayMs, false, this, [this] { decideFirstWindow(); });
}

void ViewController::decideFirstWindow()
{
    PreferencesStore &prefs = PreferencesStore::shared();
    CommonWS::shared().syncURL({});
    switch (chooseFirstWindow(prefs)) {
    case FirstWindow::VerifyPinOnStart:
        m_presenter->showVerifyPinOnStart();
        break;
    case FirstWindow::LogIn:
        // The tray may have opened it already.
        if (!m_presenter->signInShown())
            m_presenter->showLogIn();
        break;
    case FirstWindow::MainContent:
        m_presenter->openMainContent(QSize(795, 575));
        break;
    }
    emit firstWindowChosen();
}
