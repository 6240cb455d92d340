#include "PrivacyWC.h"

#include "BuildConfig.h"

#include <QGuiApplication>
#include <QScreen>

PrivacyWC::PrivacyWC(WebContentLoader *loader, QWidget *parent) : WebWindow(loader, parent)
{
    setWindowTitle(QStringLiteral("BRENVIK"));
    privacyUrl = inInterfaceLanguage(configuredUrl(BuildConfig::privacyUrl));
    resize(900, 700);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
