#include "Components.h"

#include "BuildConfig.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

QStringList &Components::folders()
{
    static QStringList folders{QCoreApplication::applicationDirPath(), QString::fromUtf8(BuildConfig::pluginInstallDir)};
    return folders;
}

bool Components::load(const char *baseName, std::initializer_list<std::pair<const char *, QFunctionPointer *>> symbols)
{
    for (const QString &folder : std::as_const(folders())) {
        QLibrary library(QDir(folder).absoluteFilePath(QLatin1String(baseName)));
        if (!library.load())
            continue;
        bool complete = true;
        for (const auto &[name, target] : symbols)
            complete = (*target = library.resolve(name)) && complete;
        if (complete)
            return true;
        Log::line(QStringLiteral("Component not usable: ") + library.fileName());
        for (const auto &symbol : symbols)
            *symbol.second = nullptr;
        library.unload();
    }
    Log::line(QStringLiteral("Component not found: ") + QLatin1String(baseName));
    return false;
}
