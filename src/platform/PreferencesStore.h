#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

// The per-user key-value store that survives restarts: a JSON file that keeps the value
// types, mode 0600, replaced atomically on every write so a crash never leaves a torn file.
class PreferencesStore
{
public:
    explicit PreferencesStore(QString filePath);

    // The store of the signed-in user account, made on first use.
    static PreferencesStore &shared();
    // Forgets the shared store so the next use reads it again from the current user's
    // folder (tests point HOME and XDG_CONFIG_HOME at a temporary folder first).
    static void resetShared();
    static QString defaultFilePath();

    // Absent or mistyped values read as false, 0, no value or an empty list.
    bool boolForKey(QStringView key) const;
    qint64 integerForKey(QStringView key) const;
    std::optional<QString> stringForKey(QStringView key) const;
    // A string, or an integer given back as its decimal text (how "user_id" is read).
    std::optional<QString> textForKey(QStringView key) const;
    QStringList stringArrayForKey(QStringView key) const;
    bool contains(QStringView key) const;

    void setBool(QStringView key, bool value);
    void setInteger(QStringView key, qint64 value);
    void setString(QStringView key, const QString &value);
    void setStringArray(QStringView key, const QStringList &value);

    // Writes any change not yet on disk; false when the file could not be written.
    bool synchronize();
    // Empties the whole store.
    void removeAll();
    // Forgets these keys and writes the file.
    void remove(const QList<QStringView> &keys);

    QString filePath() const { return m_filePath; }

private:
    void load();
    void set(QStringView key, const QJsonValue &value);
    bool write();

    QString m_filePath;
    QJsonObject m_values;
    bool m_dirty = false;
};
