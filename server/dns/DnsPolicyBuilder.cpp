#include "DnsPolicyBuilder.h"

#include "DomainName.h"
#include "core/Clock.h"
#include "storage/ScheduleTimes.h"
#include "storage/Storage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cstdio>

DnsPolicyBuilder::DnsPolicyBuilder(Storage &storage, Clock &clock, const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_storage(storage)
    , m_clock(clock)
    , m_settings(settings)
    , m_alwaysBlocked(std::make_shared<NameSet>(NameSet::fromNames(alwaysBlockedNames())))
    , m_encryptedDns(std::make_shared<NameSet>(NameSet::fromNames(encryptedDnsHosts())))
{
    m_gather.setSingleShot(true);
    connect(&m_gather, &QTimer::timeout, this, &DnsPolicyBuilder::rebuild);
    m_clock.schedule(edgeCheckMs, true, this, [this] { checkEdges(); });
    m_shareEnds.setSingleShot(true);
    // Who shares an address is read afresh at every rebuild; nobody's lists changed.
    connect(&m_shareEnds, &QTimer::timeout, this, [this] {
        if (!m_gather.isActive())
            m_gather.start(gatherMs);
    });
}

const QStringList &DnsPolicyBuilder::alwaysBlockedNames()
{
    static const QStringList names{
        QStringLiteral("use-application-dns.net"), // browsers keep their own encrypted DNS off
        QStringLiteral("mask.icloud.com"),         // relays that bypass DNS
        QStringLiteral("mask-h2.icloud.com"),
        QStringLiteral("_dns.resolver.arpa"), // discovery of encrypted resolvers
    };
    return names;
}

const QStringList &DnsPolicyBuilder::encryptedDnsHosts()
{
    static const QStringList names{
        QStringLiteral("dns.google"),           QStringLiteral("dns.google.com"),
        QStringLiteral("dns64.dns.google"),     QStringLiteral("cloudflare-dns.com"),
        QStringLiteral("one.one.one.one"),      QStringLiteral("1dot1dot1dot1.cloudflare-dns.com"),
        QStringLiteral("dns.quad9.net"),        QStringLiteral("dns9.quad9.net"),
        QStringLiteral("dns10.quad9.net"),      QStringLiteral("dns11.quad9.net"),
        QStringLiteral("doh.opendns.com"),      QStringLiteral("dns.opendns.com"),
        QStringLiteral("doh.familyshield.opendns.com"), QStringLiteral("dns.adguard.com"),
        QStringLiteral("dns.adguard-dns.com"),  QStringLiteral("dns-unfiltered.adguard.com"),
        QStringLiteral("dns.nextdns.io"),       QStringLiteral("doh.cleanbrowsing.org"),
        QStringLiteral("doh.dns.sb"),           QStringLiteral("doh.mullvad.net"),
        QStringLiteral("dns.mullvad.net"),      QStringLiteral("dns.controld.com"),
        QStringLiteral("freedns.controld.com"), QStringLiteral("dns0.eu"),
        QStringLiteral("doh.xfinity.com"),      QStringLiteral("ordns.he.net"),
        QStringLiteral("doh.libredns.gr"),      QStringLiteral("dns.switch.ch"),
    };
    return names;
}

bool DnsPolicyBuilder::readListFile(const QString &path, std::vector<quint64> *hashes, qsizetype *refused,
                                    QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray line;
    while (!file.atEnd()) {
        line = file.readLine();
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        // Hosts-file lines: "0.0.0.0 example.com"; the name is the last word.
        const qsizetype space = line.lastIndexOf(' ') >= 0 ? line.lastIndexOf(' ') : line.lastIndexOf('\t');
        if (space >= 0)
            line = line.mid(space + 1);
        const std::optional<QString> name = normalizedDomain(QString::fromUtf8(line));
        if (!name) {
            ++*refused;
            continue;
        }
        const QByteArray text = name->toLatin1();
        hashes->push_back(nameHash(std::string_view(text.constData(), size_t(text.size()))));
    }
    return true;
}

bool DnsPolicyBuilder::load(QString *error)
{
    m_categories.clear();
    QHash<qint64, std::vector<quint64>> hashes;
    for (const CategoryRow &category : m_storage.categories(0)) {
        std::vector<quint64> &list = hashes[category.id];
        for (const QString &domain : m_storage.categoryDomains(category.id)) {
            if (const std::optional<QString> name = normalizedDomain(domain)) {
                const QByteArray text = name->toLatin1();
                list.push_back(nameHash(std::string_view(text.constData(), size_t(text.size()))));
            }
        }
    }
    if (!m_settings.categoryListsFolder.isEmpty()) {
        const QDir folder(m_settings.categoryListsFolder);
        if (!folder.exists()) {
            *error = QStringLiteral("--category-lists: no folder %1").arg(folder.absolutePath());
            return false;
        }
        static const QRegularExpression listName(QStringLiteral("^([0-9]+)\\.txt$"));
        for (const QString &file : folder.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
            const QRegularExpressionMatch match = listName.match(file);
            const qint64 id = match.hasMatch() ? match.captured(1).toLongLong() : 0;
            if (!hashes.contains(id)) {
                std::fprintf(stdout, "dns: %s is not named after a category id; ignored\n", qPrintable(file));
                continue;
            }
            qsizetype refused = 0;
            const qsizetype before = qsizetype(hashes[id].size());
            if (!readListFile(folder.filePath(file), &hashes[id], &refused, error))
                return false;
            std::fprintf(stdout, "dns: category %lld: %lld names from %s (%lld lines not a host name)\n",
                         qlonglong(id), qlonglong(qsizetype(hashes[id].size()) - before), qPrintable(file),
                         qlonglong(refused));
        }
        std::fflush(stdout);
    }
    for (auto it = hashes.begin(); it != hashes.end(); ++it)
        m_categories.insert(it.key(), std::make_shared<NameSet>(std::move(it.value())));
    m_users.clear();
    m_everything = true;
    build();
    return true;
}

std::shared_ptr<const DnsUserLists> DnsPolicyBuilder::listsFor(qint64 userID, const QDateTime &now)
{
    auto lists = std::make_shared<DnsUserLists>();
    const QList<DomainRow> rows = m_storage.domains(userID, m_storage.domainCount(userID), 0);
    QStringList sites;
    for (const DomainRow &row : rows) {
        // Stored names went through the same normalisation; older rows (some with "www.") are
        // normalised again.
        if (const std::optional<QString> name = blacklistDomain(row.domain))
            sites.append(*name);
    }
    QSet<qint64> categories;
    for (const CategoryRow &category : m_storage.categories(userID)) {
        if (category.blocked)
            categories.insert(category.id);
    }

    // What a focus session and the open weekly windows add; the next change by time is kept.
    std::optional<QDateTime> edge;
    if (const std::optional<FocusSessionRow> session = m_storage.latestFocusSession(userID);
        session && session->endsAt > now) {
        if (session->startedAt <= now) {
            sites += session->websites;
            for (const qint64 id : session->categories)
                categories.insert(id);
            edge = session->endsAt;
        } else {
            edge = session->startedAt;
        }
    }
    for (const ScheduleRow &schedule : m_storage.schedules(userID)) {
        if (ScheduleTimes::openAt(schedule, now)) {
            sites += schedule.websites;
            for (const qint64 id : schedule.categories)
                categories.insert(id);
        }
        const std::optional<QDateTime> next = ScheduleTimes::nextEdge(schedule, now);
        if (next && (!edge || *next < *edge))
            edge = next;
    }
    if (edge)
        m_edges.insert(userID, *edge);
    else
        m_edges.remove(userID);

    lists->sites = NameSet::fromNames(sites);
    QList<qint64> ordered(categories.cbegin(), categories.cend());
    std::sort(ordered.begin(), ordered.end());
    for (const qint64 id : std::as_const(ordered)) {
        if (m_categories.contains(id))
            lists->categories.append(m_categories.value(id));
    }
    return lists;
}

void DnsPolicyBuilder::checkEdges()
{
    const QDateTime now = m_clock.now().toUTC();
    // A clock put back may undo edges already passed: everything is read again.
    if (m_lastCheck.isValid() && now < m_lastCheck)
        everythingChanged();
    m_lastCheck = now;
    for (auto it = m_edges.cbegin(); it != m_edges.cend(); ++it) {
        if (it.value() <= now)
            userChanged(it.key());
    }
}

void DnsPolicyBuilder::userChanged(qint64 userID)
{
    m_changedUsers.insert(userID);
    if (!m_gather.isActive())
        m_gather.start(gatherMs);
}

void DnsPolicyBuilder::everythingChanged()
{
    m_everything = true;
    if (!m_gather.isActive())
        m_gather.start(gatherMs);
}

void DnsPolicyBuilder::rebuild()
{
    // The database may be away for a moment: keep the changes and the current snapshot, and
    // try again, rather than let the error end the process from the event loop.
    try {
        build();
    } catch (const std::exception &e) {
        std::fprintf(stdout, "dns: the policy could not be rebuilt (%s); trying again in %d ms\n", e.what(),
                     retryMs);
        std::fflush(stdout);
        m_gather.start(retryMs);
    }
}

void DnsPolicyBuilder::build()
{
    QElapsedTimer timer;
    timer.start();
    DnsPolicy::Data data;
    // Each user counts at the address of their latest status call; an address several users
    // called from lately gets all their lists (below).
    QHash<qint64, DeviceRow> latest;
    const QList<DeviceRow> devices = m_storage.allDevices();
    for (const DeviceRow &device : devices) {
        auto it = latest.find(device.userID);
        if (it == latest.end() || device.lastSeenAt > it->lastSeenAt ||
            (device.lastSeenAt == it->lastSeenAt && device.id > it->id))
            latest.insert(device.userID, device);
    }
    QHash<QHostAddress, DeviceRow> byAddress;
    // Who called from each address lately, and when the earliest of those calls ages out.
    const QDateTime now = m_clock.now().toUTC();
    const QDateTime recent = now.addSecs(-sharedAddressSeconds);
    QHash<QHostAddress, QSet<qint64>> recentUsers;
    QDateTime firstToAge;
    for (const DeviceRow &device : devices) {
        if (device.lastSeenAt < recent)
            continue;
        const QHostAddress address = DnsPolicy::plainAddress(QHostAddress(device.address));
        if (!address.isNull())
            recentUsers[address].insert(device.userID);
    }
    for (const DeviceRow &device : std::as_const(latest)) {
        const QHostAddress address = DnsPolicy::plainAddress(QHostAddress(device.address));
        if (address.isNull())
            continue;
        auto it = byAddress.find(address);
        if (it == byAddress.end() || device.lastSeenAt > it->lastSeenAt ||
            (device.lastSeenAt == it->lastSeenAt && device.id > it->id))
            byAddress.insert(address, device);
    }

    if (m_everything) {
        m_users.clear();
        m_edges.clear();
    }
    QHash<qint64, std::shared_ptr<const DnsUserLists>> users;
    auto listsOf = [&](qint64 userID) {
        std::shared_ptr<const DnsUserLists> lists = users.value(userID);
        if (!lists) {
            lists = m_users.value(userID);
            if (!lists || m_changedUsers.contains(userID))
                lists = listsFor(userID, now);
            users.insert(userID, lists);
        }
        return lists;
    };
    for (auto it = byAddress.cbegin(); it != byAddress.cend(); ++it) {
        data.deviceUsers.insert(it.key(), it->userID);
        listsOf(it->userID);
    }
    // Addresses shared lately: their users' lists united, one set of lists for each group of users.
    QHash<QList<qint64>, qint64> groups;
    for (auto it = recentUsers.cbegin(); it != recentUsers.cend(); ++it) {
        QSet<qint64> sharing = *it;
        if (const auto winner = byAddress.constFind(it.key()); winner != byAddress.constEnd())
            sharing.insert(winner->userID);
        if (sharing.size() < 2)
            continue;
        QList<qint64> group = sharing.values();
        std::sort(group.begin(), group.end());
        qint64 &id = groups[group];
        if (id == 0) {
            id = -qint64(groups.size());
            auto united = std::make_shared<DnsUserLists>();
            QList<const NameSet *> sites;
            QList<std::shared_ptr<const DnsUserLists>> members;
            for (const qint64 userID : std::as_const(group))
                members.append(listsOf(userID));
            for (const auto &member : std::as_const(members)) {
                sites.append(&member->sites);
                for (const auto &category : member->categories) {
                    if (!united->categories.contains(category))
                        united->categories.append(category);
                }
            }
            united->sites = NameSet::united(sites);
            users.insert(id, united);
        }
        data.deviceUsers.insert(it.key(), id);
    }
    // When the oldest of the calls that make an address shared ages out, the address may stop
    // being shared: look again then.
    for (const DeviceRow &device : devices) {
        const qint64 id = data.deviceUsers.value(DnsPolicy::plainAddress(QHostAddress(device.address)));
        if (id < 0 && device.lastSeenAt >= recent && (firstToAge.isNull() || device.lastSeenAt < firstToAge))
            firstToAge = device.lastSeenAt;
    }
    if (firstToAge.isNull())
        m_shareEnds.stop();
    else
        m_shareEnds.start(int(qBound<qint64>(1000, now.msecsTo(firstToAge.addSecs(sharedAddressSeconds)) + 1000,
                                             sharedAddressSeconds * 1000)));
    // Devices named by their key, wherever they are.
    for (const DeviceKeyRow &key : m_storage.liveDeviceKeys(now)) {
        data.deviceKeys.insert(key.keyHash, key.userID);
        listsOf(key.userID);
    }
    // Users without a device address are not filtered: nothing of theirs to watch.
    for (auto it = m_edges.begin(); it != m_edges.end();) {
        if (users.contains(it.key()))
            ++it;
        else
            it = m_edges.erase(it);
    }
    m_users = users;
    data.users = users;
    data.alwaysBlocked = m_alwaysBlocked;
    data.encryptedDns = m_encryptedDns;
    data.probeZone = m_settings.probeZone;
    data.allowedClients = m_settings.allowedClients;
    m_changedUsers.clear();
    m_everything = false;
    m_current = std::make_shared<const DnsPolicy>(std::move(data));
    emit published(m_current);
    std::fprintf(stdout, "dns: policy for %lld devices made in %lld ms\n", qlonglong(m_current->data().deviceUsers.size()),
                 qlonglong(timer.elapsed()));
    std::fflush(stdout);
}
