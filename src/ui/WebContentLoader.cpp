#include "WebContentLoader.h"

#include "WebContent.h"
#include "BuildConfig.h"
#include "core/Log.h"
#include "platform/Privileges.h"

#include <QCoreApplication>
#include <QDir>

WebContentLoader::WebContentLoader(QStringList folders) : m_folders(std::move(folders)) {}

QStringList WebContentLoader::defaultFolders()
{
    return {QCoreApplication::applicationDirPath(), QString::fromUtf8(BuildConfig::pluginInstallDir)};
}

WebContent *WebContentLoader::plugin()
{
    if (m_attempted)
        return m_plugin;
    m_attempted = true;
    prepareWebEngine();
    for (const QString &folder : std::as_const(m_folders)) {
        const QString path = QDir(folder).absoluteFilePath(QLatin1String(fileBaseName));
        m_loader.setFileName(path);
        if (!m_loader.load()) {
            if (!m_loader.fileName().isEmpty()) { // found but refused: say why
                Log::line(QStringLiteral("Web component failed to load: ") + m_loader.errorString());
                m_failed = true;
            }
            continue;
        }
        m_plugin = qobject_cast<WebContent *>(m_loader.instance());
        if (m_plugin) {
            Log::line(QStringLiteral("Web component loaded from ") + m_loader.fileName());
            return m_plugin;
        }
        Log::line(QStringLiteral("Web component not usable: ") + m_loader.fileName());
        m_failed = true;
        m_loader.unload();
    }
    Log::line(QStringLiteral("Web component not found; web pages open in the system browser"));
    return nullptr;
}

bool WebContentLoader::takeFailureNotice()
{
    if (!m_failed || m_failureNoticed)
        return false;
    m_failureNoticed = true;
    return true;
}

void WebContentLoader::prepareWebEngine()
{
    // The web engine's sandbox refuses to run as root and takes the whole process down with
    // it (a root shell is a supported way to run the app). Its documented switch turns the
    // sandbox off; it is read when the engine starts, after the plugin loads.
    if (!runsAsAdministrator() || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    Log::line(QStringLiteral("Running as root: the web component starts without its sandbox"));
}
