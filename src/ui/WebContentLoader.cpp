#include "WebContentLoader.h"

#include "WebContent.h"
#include "BuildConfig.h"
#include "core/Log.h"

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
    for (const QString &folder : std::as_const(m_folders)) {
        const QString path = QDir(folder).absoluteFilePath(QLatin1String(fileBaseName));
        m_loader.setFileName(path);
        if (!m_loader.load()) {
            if (!m_loader.fileName().isEmpty()) // found but refused: say why
                Log::line(QStringLiteral("Web component failed to load: ") + m_loader.errorString());
            continue;
        }
        m_plugin = qobject_cast<WebContent *>(m_loader.instance());
        if (m_plugin) {
            Log::line(QStringLiteral("Web component loaded from ") + m_loader.fileName());
            return m_plugin;
        }
        Log::line(QStringLiteral("Web component not usable: ") + m_loader.fileName());
        m_loader.unload();
    }
    Log::line(QStringLiteral("Web component not found; web pages open in the system browser"));
    return nullptr;
}
