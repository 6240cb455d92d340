#include "PreferencesStore.h"

#include "BuildConfig.h"
#include "core/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <memory>

namespace {
std::unique_ptr<PreferencesStore> &sharedSlot()
{
    static std::unique_ptr<PreferencesStore> store;
    return store;
}

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
} // namespace

PreferencesStore::PreferencesStore(QString filePath)
    : m_filePath(std::move(filePath))
{
    load();
}

PreferencesStore &PreferencesStore::shared()
{
    auto &slot = sharedSlot();
    if (!slot)
        slot = std::make_unique<PreferencesStore>(defaultFilePath());
    return *slot;
}

void PreferencesStore::resetShared()
{
    sharedSlot().reset();
}

QString PreferencesStore::defaultFilePath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QLatin1String("/nimbrel/") + QLatin1String(BuildConfig::bundleId) + QLatin1String(".json");
}

void PreferencesStore::load()
{
    QFile file(m_filePath);
    if (!file.exists())
        return;
    QJsonParseError error{};
    QJsonDocument doc;
    if (file.open(QIODevice::ReadOnly))
        doc = QJsonDocument::fromJson(file.readAll(), &error);
    file.close();
    if (doc.isObject() && error.error == QJsonParseError::NoError) {
        m_values = doc.object();
        return;
    }
    // Keep the damaged file for inspection rather than overwriting it with the next write.
    const QString aside = m_filePath + QLatin1String(".damaged-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (QFile::rename(m_filePath, aside))
        Log::line(QStringLiteral("Preferences file unreadable, kept as ") + aside);
    else
        Log::line(QStringLiteral("Preferences file unreadable and could not be moved aside: ") + m_filePath);
}

bool PreferencesStore::boolForKey(QStringView key) const
{
    const QJsonValue v = m_values.value(key);
    return v.isBool() && v.toBool();
}

qint64 PreferencesStore::integerForKey(QStringView key) const
{
    const QJsonValue v = m_values.value(key);
    return v.isDouble() ? v.toInteger() : 0;
}

std::optional<QString> PreferencesStore::stringForKey(QStringView key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<QString> PreferencesStore::textForKey(QStringView key) const
{
    const QJsonValue v = m_values.value(key);
    if (v.isDouble())
        return QString::number(v.toInteger());
    return stringForKey(key);
}

QStringList PreferencesStore::stringArrayForKey(QStringView key) const
{
    const QJsonValue v = m_values.value(key);
    if (!v.isArray())
        return {};
    QStringList out;
    for (const QJsonValue &item : v.toArray()) {
        if (!item.isString())
            return {};
        out.append(item.toString());
    }
    return out;
}

bool PreferencesStore::contains(QStringView key) const
{
    return m_values.contains(key);
}

void PreferencesStore::setBool(QStringView key, bool value)
{
    set(key, value);
}

void PreferencesStore::setInteger(QStringView key, qint64 value)
{
    set(key, value);
}

void PreferencesStore::setString(QStringView key, const QString &value)
{
    set(key, value);
}

void PreferencesStore::setStringArray(QStringView key, const QStringList &value)
{
    set(key, QJsonArray::fromStringList(value));
}

void PreferencesStore::set(QStringView key, const QJsonValue &value)
{
    m_values.insert(key, value);
    m_dirty = true;
    // Written at once: the app may be killed at any moment and must not lose the change.
    write();
}

bool PreferencesStore::synchronize()
{
    return !m_dirty || write();
}

void PreferencesStore::removeAll()
{
    m_values = QJsonObject();
    m_dirty = true;
    write();
}

void PreferencesStore::remove(const QList<QStringView> &keys)
{
    for (QStringView key : keys)
        m_values.remove(key.toString());
    m_dirty = true;
    write();
}

bool PreferencesStore::write()
{
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath())) {
        Log::line(QStringLiteral("Preferences folder could not be created: ") + info.absolutePath());
        return false;
    }
    QFile::setPermissions(info.absolutePath(), ownerOnly | QFileDevice::ExeOwner);
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        Log::line(QStringLiteral("Preferences could not be written: ") + file.errorString());
        return false;
    }
    file.setPermissions(ownerOnly);
    file.write(QJsonDocument(m_values).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        Log::line(QStringLiteral("Preferences could not be written: ") + file.errorString());
        return false;
    }
    m_dirty = false;
    return true;
}
