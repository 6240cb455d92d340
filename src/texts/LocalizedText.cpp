#include "LocalizedText.h"

#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <algorithm>
#include <optional>

namespace {
std::function<QString()> &systemLanguageSource()
{
    static std::function<QString()> source;
    return source;
}

QHash<QString, QString> &messageCache()
{
    static QHash<QString, QString> cache;
    return cache;
}

// A parsed string table; nullopt when the language has none or it is not a flat
// string-to-string object. Tables are resources, so each is read once.
const std::optional<QHash<QString, QString>> &table(const QString &code)
{
    static QHash<QString, std::optional<QHash<QString, QString>>> tables;
    auto it = tables.find(code);
    if (it != tables.end())
        return *it;
    std::optional<QHash<QString, QString>> parsed;
    // Two or three lower-case letters, so a stored value never names another resource. Checked
    // by hand: the first regular expression of the process would load the pattern compiler
    // (a few hundred kilobytes) for this one check at start.
    const bool validCode = (code.size() == 2 || code.size() == 3)
        && std::all_of(code.begin(), code.end(), [](QChar c) { return c >= QLatin1Char('a') && c <= QLatin1Char('z'); });
    QFile file(QStringLiteral(":/strings/%1.json").arg(code));
    if (validCode && file.open(QIODevice::ReadOnly)) {
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
        if (doc.isObject()) {
            QHash<QString, QString> entries;
            bool allStrings = true;
            const QJsonObject object = doc.object();
            for (auto e = object.begin(); e != object.end() && allStrings; ++e) {
                allStrings = e.value().isString();
                entries.insert(e.key(), e.value().toString());
            }
            if (allStrings)
                parsed = std::move(entries);
        }
    }
    return *tables.insert(code, parsed);
}

QString lookUp(const QString &code, const QString &key)
{
    // A language we have no table for reads in English rather than showing no text at all.
    const std::optional<QHash<QString, QString>> &entries = table(code) ? table(code) : table(QStringLiteral("en"));
    if (!entries)
        return {};
    return entries->value(key, key);
}
} // namespace

QString systemLanguageCode()
{
    if (systemLanguageSource())
        return systemLanguageSource()();
    const QString name = QLocale::system().name();
    if (name == QLatin1String("C") || name.isEmpty())
        return {};
    return name.section(QLatin1Char('_'), 0, 0);
}

QString localizedText(const QString &key)
{
    const std::optional<QString> stored = PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage);
    return lookUp(stored ? *stored : systemLanguageCode(), key);
}

QString interfaceLanguage()
{
    const std::optional<QString> stored = PreferencesStore::shared().stringForKey(PrefKey::CurrentLanguage);
    return (stored ? *stored : systemLanguageCode()) == QLatin1String("fr") ? QStringLiteral("fr")
                                                                            : QStringLiteral("en");
}

QString serverText(const QString &wire)
{
    // The wire texts the PIN dialogs compare; each string table holds their shown form.
    static const QStringList fixedOnTheWire{QStringLiteral("Please enter a valid otp."),
                                            QStringLiteral("Your pin has been bloked.")};
    return fixedOnTheWire.contains(wire) ? localizedText(wire) : wire;
}

QString messageText(const QString &key)
{
    QHash<QString, QString> &cache = messageCache();
    auto it = cache.find(key);
    if (it == cache.end()) {
        it = cache.insert(key, lookUp(systemLanguageCode(), key));
    }
    return *it;
}

void changeLanguage(const QString &logText, const QString &code)
{
    Log::line(logText);
    PreferencesStore &prefs = PreferencesStore::shared();
    prefs.setString(PrefKey::CurrentLanguage, code);
    prefs.synchronize();
    NotificationCenter::defaultCenter().post(QStringLiteral("UpdateChooseLanguage"), code);
}

void LocalizedTextTesting::setSystemLanguage(std::function<QString()> language)
{
    systemLanguageSource() = std::move(language);
    messageCache().clear();
}
