#include "TermsWC.h"

#include "BuildConfig.h"

#include <QGuiApplication>
#include <QScreen>

TermsWC::TermsWC(WebContentLoader *loader, QWidget *parent) : WebWindow(loader, parent)
{
    setWindowTitle(QStringLiteral("BRENVIK"));
    termsUrl = inInterfaceLanguage(configuredUrl(BuildConfig::termsUrl));
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
    setGeometry(200, 200, qMax(400, screen.width() - 800), qMax(300, screen.height() - 400));
}
