#pragma once

#include "DnsPolicy.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>

class Clock;
class Storage;

// The one maker of policy snapshots in the process. Change events (from the HTTP side, from
// other servers through the database) name a user, or everybody; they are gathered for a
// moment and one new snapshot is published for all of them. A running focus session and an
// open weekly window add to their user's lists: the time of each user's next such change (a
// session's end, a window's start or end) is kept, and a user whose time has come is rebuilt.
class DnsPolicyBuilder : public QObject
{
    Q_OBJECT
public:
    struct Settings {
        QString categoryListsFolder; // <category id>.txt files adding to the stored category domains
        QString probeZone;
        QList<QPair<QHostAddress, int>> allowedClients;
    };
    // An address is shared while status calls of more than one user came from it this recently.
    static constexpr qint64 sharedAddressSeconds = 3600;

    static constexpr int gatherMs = 50;
    static constexpr int retryMs = 1000;
    // How often the clock is asked whether a user's lists changed with time. A timer set for
    // the exact time would miss a clock that jumps (a corrected system clock, tests).
    static constexpr int edgeCheckMs = 250;

    DnsPolicyBuilder(Storage &storage, Clock &clock, const Settings &settings, QObject *parent = nullptr);

    // Reads everything and makes the first snapshot; false (and *error) when a category list
    // cannot be read. Storage errors throw StorageError as everywhere else.
    bool load(QString *error);
    std::shared_ptr<const DnsPolicy> current() const { return m_current; }

    // The names every client is refused, and the public encrypted-DNS servers that a browser
    // could use to go round the filter.
    static const QStringList &alwaysBlockedNames();
    static const QStringList &encryptedDnsHosts();

    // Reads a category list file: one name a line, '#' comments, hosts-file lines accepted.
    static bool readListFile(const QString &path, std::vector<quint64> *hashes, qsizetype *refused,
                             QString *error);

public slots:
    void userChanged(qint64 userID);
    void everythingChanged();

signals:
    void published(std::shared_ptr<const DnsPolicy> policy);

private:
    void rebuild();
    void build();
    std::shared_ptr<const DnsUserLists> listsFor(qint64 userID, const QDateTime &now);
    void checkEdges();

    Storage &m_storage;
    Clock &m_clock;
    Settings m_settings;
    QHash<qint64, std::shared_ptr<const NameSet>> m_categories;
    QHash<qint64, std::shared_ptr<const DnsUserLists>> m_users;
    std::shared_ptr<const NameSet> m_alwaysBlocked;
    std::shared_ptr<const NameSet> m_encryptedDns;
    std::shared_ptr<const DnsPolicy> m_current;
    QSet<qint64> m_changedUsers;
    QHash<qint64, QDateTime> m_edges; // when a user's lists change next by time alone
    QDateTime m_lastCheck;
    bool m_everything = false;
    QTimer m_gather;
    QTimer m_shareEnds; // the moment the next shared address stops being shared
};
