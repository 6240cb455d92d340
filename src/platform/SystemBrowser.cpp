#include "SystemBrowser.h"

#include "core/Log.h"

#include <QDesktopServices>
#include <QProcess>

bool openInSystemBrowser(const QUrl &url)
{
    if (!url.isValid() || url.isEmpty())
        return false;
    if (QDesktopServices::openUrl(url))
        return true;
#ifdef Q_OS_MACOS
    const QString opener = QStringLiteral("open");
#else
    const QString opener = QStringLiteral("xdg-open");
#endif
    // The address is one argument of its own: no shell ever sees it.
    if (QProcess::startDetached(opener, {url.toString(QUrl::FullyEncoded)}))
        return true;
    Log::line(QStringLiteral("No web browser could be opened (") + opener + QStringLiteral(" did not start)"));
    return false;
}
