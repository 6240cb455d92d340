#include "TestEnvironment.h"

#include "api/ApiManager.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "platform/AlertPresenter.h"
#include "platform/Components.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesStore.h"
#include "protection/DNSConfiguration.h"
#include "protection/FilterProbe.h"
#include "texts/LocalizedText.h"
#include "ui/CommmonFunction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace {
void resetProcessState()
{
    PreferencesStore::resetShared();
    NotificationCenter::defaultCenter().reset();
    DNSConfiguration::resetShared();
    Clock::setShared(nullptr);
    AlertPresenter::setShared(nullptr);
    ApiManager::resetShared();
    Log::setSink({});
    CommmonFunction::resetShared();
    // Tests read the same texts whatever the machine's locale.
    LocalizedTextTesting::setSystemLanguage([] { return QStringLiteral("en"); });
}
} // namespace

TestEnvironment::TestEnvironment()
    : m_oldPath(qgetenv("PATH"))
{
    QVERIFY2(m_dir.isValid(), "no temporary folder");
    const QString root = m_dir.path();
    for (const char *sub : {"config", "data", "cache", "runtime", "state", "fake-state"})
        QDir(root).mkpath(QLatin1String(sub));
    QFile::setPermissions(root + QLatin1String("/runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QLatin1String("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QLatin1String("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QLatin1String("/cache")).toUtf8());
    qputenv("XDG_STATE_HOME", (root + QLatin1String("/state")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (root + QLatin1String("/runtime")).toUtf8());
    qputenv("FAKE_TOOL_STATE", fakeState().toUtf8());
    // No model name unless a test writes one, whatever the machine's firmware says.
    qputenv("NIMBREL_DMI_PRODUCT_NAME", (root + QLatin1String("/dmi/product_name")).toUtf8());
    qputenv("PATH", QByteArray(NIMBREL_FAKES_DIR) + ':' + m_oldPath);
    // Test executables live in their own folders, not next to the app's modules.
    Components::folders() = {QStringLiteral(NIMBREL_COMPONENT_DIR)};
    resetProcessState();
}

TestEnvironment::~TestEnvironment()
{
    resetProcessState();
    qputenv("PATH", m_oldPath);
}

QString TestEnvironment::fakeState() const
{
    return m_dir.filePath(QStringLiteral("fake-state"));
}

void TestEnvironment::writeFile(const QString &relative, const QByteArray &contents) const
{
    const QString file = m_dir.filePath(relative);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(contents);
}

QString TestEnvironment::readFile(const QString &relative) const
{
    QFile f(m_dir.filePath(relative));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}
