// The storage on SQLite, and on a throwaway PostgreSQL cluster when PostgreSQL is installed:
// the same statements must behave the same on both.
#include "Crypto.h"
#include "ServerPostgres.h"
#include "storage/CategorySeed.h"
#include "storage/SqlStorage.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QDateTime t0(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);

UserRow user(const QString &email, qint64 socialMedia = 0, const QString &profileID = QStringLiteral("0"))
{
    UserRow row;
    row.email = email;
    row.deviceName = QStringLiteral("Desk");
    row.socialMedia = socialMedia;
    row.profileID = profileID;
    row.passwordHash = QStringLiteral("hash");
    row.createdAt = row.updatedAt = t0;
    return row;
}
} // namespace

class tst_ServerStorage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerPostgres> m_postgres;
    QString m_postgresMissing;
    bool m_postgresInstalled = false;
    int m_databases = 0;

    // Settings of a new, empty database of the row's backend.
    std::optional<DatabaseSettings> freshDatabase()
    {
        QFETCH(QString, backend);
        const QString name = QStringLiteral("db%1").arg(++m_databases);
        QString error;
        if (backend == QLatin1String("sqlite"))
            return DatabaseSettings::parse(m_dir.filePath(name + QStringLiteral(".db")), &error);
        if (!m_postgres)
            return std::nullopt;
        if (!m_postgres->createDatabase(name))
            return std::nullopt;
        std::optional<DatabaseSettings> settings = DatabaseSettings::parse(m_postgres->url(name), &error);
        settings->password = m_postgres->password();
        return settings;
    }

    std::unique_ptr<SqlStorage> openFresh()
    {
        QFETCH(QString, backend);
        if (backend == QLatin1String("postgresql") && !m_postgres)
            return nullptr;
        const std::optional<DatabaseSettings> settings = freshDatabase();
        if (!settings)
            return nullptr;
        QString error;
        std::unique_ptr<SqlStorage> storage = SqlStorage::open(*settings, &error);
        if (!storage)
            qWarning().noquote() << error;
        return storage;
    }

    void backends()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("SQLite") << "sqlite";
        QTest::newRow("PostgreSQL") << "postgresql";
    }

// PostgreSQL rows are skipped only when PostgreSQL is not installed; a cluster that does not
// start is a failure.
#define SKIP_WITHOUT_POSTGRES()                                                                                        \
    QFETCH(QString, backend);                                                                                          \
    if (backend == QLatin1String("postgresql") && !m_postgres) {                                                       \
        if (m_postgresInstalled)                                                                                       \
            QFAIL(qPrintable(m_postgresMissing));                                                                      \
        QSKIP(qPrintable(m_postgresMissing));                                                                          \
    }

#define OPEN_OR_SKIP(storage)                                                                                          \
    SKIP_WITHOUT_POSTGRES()                                                                                            \
    std::unique_ptr<SqlStorage> storage = openFresh();                                                                 \
    QVERIFY(storage)

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(Crypto::initialize());
        m_postgresInstalled = !ServerPostgres::binaries().isEmpty();
        auto postgres = std::make_unique<ServerPostgres>();
        if (postgres->start(&m_postgresMissing))
            m_postgres = std::move(postgres);
        else
            qInfo().noquote() << "PostgreSQL runs skipped:" << m_postgresMissing;
    }

    void migrations_data()
    {
        backends();
    }
    void migrations()
    {
        SKIP_WITHOUT_POSTGRES()
        const std::optional<DatabaseSettings> settings = freshDatabase();
        QVERIFY(settings);
        QString error;
        {
            // An older server made version 1 only: the next start adds the rest.
            std::unique_ptr<SqlStorage> old = SqlStorage::open(*settings, 1, &error);
            QVERIFY2(old, qPrintable(error));
            QCOMPARE(old->schemaVersion(), 1);
            QVERIFY(old->categories(0).isEmpty());
        }
        for (int start = 0; start < 2; ++start) {
            std::unique_ptr<SqlStorage> storage = SqlStorage::open(*settings, &error);
            QVERIFY2(storage, qPrintable(error));
            QCOMPARE(storage->schemaVersion(), SqlStorage::currentSchemaVersion);
            const QList<CategoryRow> categories = storage->categories(0);
            QCOMPARE(categories.size(), seedCategories().size()); // seeded once, whatever the starts
            QVERIFY(categories.size() >= 10);
            for (const CategoryRow &c : categories) {
                QVERIFY(!c.nameEn.isEmpty() && !c.nameFr.isEmpty() && !c.alias.isEmpty());
                QVERIFY(!storage->categoryDomains(c.id).isEmpty());
            }
        }
        {
            // A database from a newer server is left alone.
            const QString connection = QStringLiteral("raise-version");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(
                    backend == QLatin1String("sqlite") ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"),
                    connection);
                if (backend == QLatin1String("sqlite")) {
                    db.setDatabaseName(settings->path);
                } else {
                    db.setHostName(settings->host);
                    db.setPort(settings->port);
                    db.setUserName(settings->user);
                    db.setPassword(settings->password);
                    db.setDatabaseName(settings->name);
                }
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE schema_version SET version = 99")));
                db.close();
            }
            QSqlDatabase::removeDatabase(connection);
        }
        QVERIFY(!SqlStorage::open(*settings, &error));
        QVERIFY2(error.contains(QLatin1String("newer")), qPrintable(error));
    }

    void accounts_data()
    {
        backends();
    }
    void accounts()
    {
        OPEN_OR_SKIP(storage);
        const std::optional<UserRow> ada = storage->createUser(user(QStringLiteral("Ada@Example.org")));
        QVERIFY(ada);
        QVERIFY(!storage->createUser(user(QStringLiteral("ada@example.ORG")))); // one account per address
        QCOMPARE(storage->userByEmail(QStringLiteral(" ADA@example.org "))->id, ada->id);
        QCOMPARE(storage->userByEmail(QStringLiteral("ADA@example.org"))->email, QStringLiteral("Ada@Example.org"));

        QVERIFY(storage->createUser(user(QStringLiteral("g@example.org"), 2, QStringLiteral("109"))));
        QVERIFY(!storage->createUser(user(QStringLiteral("h@example.org"), 2, QStringLiteral("109"))));
        QVERIFY(storage->createUser(user(QStringLiteral("f@example.org"), 1, QStringLiteral("109"))));
        QCOMPARE(storage->userBySocialProfile(2, QStringLiteral("109"))->email, QStringLiteral("g@example.org"));

        // Texts go in as bound values: whatever they hold comes back unchanged.
        const QString hostile = QStringLiteral("x'); DROP TABLE users; -- \"%_\\ ") + QString::fromUtf8("Zoë 🙂");
        QVERIFY(storage->updateProfile(ada->id, hostile, QString(), t0.addSecs(5)));
        const UserRow back = *storage->userByID(ada->id);
        QCOMPARE(back.name, hostile);
        QCOMPARE(back.deviceName, QString());
        QCOMPARE(back.updatedAt, t0.addSecs(5));
        QCOMPARE(storage->userByEmail(QStringLiteral("g@example.org"))->socialMedia, 2);
    }

    void tokensAndResets_data()
    {
        backends();
    }
    void tokensAndResets()
    {
        OPEN_OR_SKIP(storage);
        const qint64 id = storage->createUser(user(QStringLiteral("ada@example.org")))->id;
        const std::optional<TokenRow> a = storage->addToken(id, "hash-a", t0, t0.addDays(180));
        const std::optional<TokenRow> b = storage->addToken(id, "hash-b", t0, t0.addDays(180));
        QVERIFY(a && b);
        QCOMPARE(storage->tokenByHash("hash-a")->expiresAt, t0.addDays(180));
        QVERIFY(!storage->tokenByHash("hash-c"));
        QVERIFY(storage->setPinVerifiedUntil(a->id, t0.addSecs(300)));
        QCOMPARE(*storage->tokenByHash("hash-a")->pinVerifiedUntil, t0.addSecs(300));
        QVERIFY(!storage->tokenByHash("hash-b")->pinVerifiedUntil);
        storage->revokeUserTokens(id, a->id, t0);
        QVERIFY(!storage->tokenByHash("hash-a")->revokedAt);
        QVERIFY(storage->tokenByHash("hash-b")->revokedAt);
        QVERIFY(storage->revokeToken(a->id, t0));
        QVERIFY(!storage->revokeToken(a->id, t0)); // already revoked

        const std::optional<PasswordResetRow> reset = storage->addPasswordReset(id, "secret", t0, t0.addSecs(3600));
        QVERIFY(reset);
        QCOMPARE(*storage->latestPasswordReset(id), t0);
        QVERIFY(storage->consumePasswordReset(reset->id, t0));
        QVERIFY(!storage->consumePasswordReset(reset->id, t0)); // a link works once
        QVERIFY(storage->passwordResetByHash("secret")->usedAt);

        for (int i = 0; i < 3; ++i)
            storage->addLoginFailure(QStringLiteral("Ada@example.org"), QStringLiteral("127.0.0.1"), t0.addSecs(i));
        QCOMPARE(storage->loginFailuresForEmail(QStringLiteral("ada@EXAMPLE.org"), t0.addSecs(1)), 2);
        storage->addLoginFailure(QStringLiteral("ada@example.org"), QStringLiteral("192.0.2.1"), t0);
        QCOMPARE(storage->loginFailuresFromAddress(QStringLiteral("127.0.0.1"), t0), 3);
        QCOMPARE(storage->loginFailuresForEmailFrom(QStringLiteral("ADA@example.org"), "192.0.2.1", t0), 1);
        storage->clearLoginFailures(QStringLiteral("ada@example.org"), QStringLiteral("127.0.0.1"));
        QCOMPARE(storage->loginFailuresForEmail(QStringLiteral("ada@example.org"), t0), 1);
        storage->clearLoginFailures(QStringLiteral("ada@example.org"), QString()); // everywhere
        QCOMPARE(storage->loginFailuresForEmail(QStringLiteral("ada@example.org"), t0), 0);

        // An attempt is a failure until cleared; past either limit it is refused and not kept.
        for (int i = 0; i < 2; ++i)
            QVERIFY(storage->claimLoginAttempt(QStringLiteral("ada@example.org"), "192.0.2.2", t0, t0, 2, 3));
        QVERIFY(!storage->claimLoginAttempt(QStringLiteral("Ada@example.org"), "192.0.2.2", t0, t0, 2, 3));
        const std::optional<qint64> other =
            storage->claimLoginAttempt(QStringLiteral("bob@example.org"), "192.0.2.2", t0, t0, 2, 3);
        QVERIFY(other);
        QVERIFY(!storage->claimLoginAttempt(QStringLiteral("eve@example.org"), "192.0.2.2", t0, t0, 2, 3));
        QCOMPARE(storage->loginFailuresFromAddress("192.0.2.2", t0), 3);
        storage->dropLoginAttempt(*other);
        QCOMPARE(storage->loginFailuresFromAddress("192.0.2.2", t0), 2);
        QVERIFY(storage->claimLoginAttempt(QStringLiteral("eve@example.org"), "192.0.2.2", t0, t0, 2, 3));
    }

    void pruning_data()
    {
        backends();
    }
    // What has expired goes, and nothing else.
    void pruning()
    {
        OPEN_OR_SKIP(storage);
        const qint64 id = storage->createUser(user(QStringLiteral("ada@example.org")))->id;
        const QDateTime now = t0.addDays(400);
        storage->addToken(id, "live", t0, now.addDays(1));
        storage->addToken(id, "expired-long-ago", t0, t0.addDays(180));
        storage->addToken(id, "expired-lately", t0, now.addDays(-1));
        const qint64 revoked = storage->addToken(id, "revoked-long-ago", t0, now.addDays(1))->id;
        storage->revokeToken(revoked, t0.addDays(1));
        const qint64 used = storage->addPasswordReset(id, "used", now.addSecs(-60), now.addSecs(3000))->id;
        storage->consumePasswordReset(used, now.addSecs(-30));
        storage->addPasswordReset(id, "expired", now.addSecs(-7200), now.addSecs(-3600));
        storage->addPasswordReset(id, "waiting", now.addSecs(-60), now.addSecs(3000));
        storage->addLoginFailure(QStringLiteral("ada@example.org"), QStringLiteral("192.0.2.1"), now.addDays(-2));
        storage->addLoginFailure(QStringLiteral("ada@example.org"), QStringLiteral("192.0.2.1"), now.addSecs(-60));
        storage->countRequest(QStringLiteral("signup"), QStringLiteral("192.0.2.1"), now.addDays(-2), t0);

        storage->forgetOldRecords(now, now.addDays(-180), now.addDays(-1));
        QVERIFY(storage->tokenByHash("live"));
        QVERIFY(storage->tokenByHash("expired-lately")); // still told apart from a made-up token
        QVERIFY(!storage->tokenByHash("expired-long-ago"));
        QVERIFY(!storage->tokenByHash("revoked-long-ago"));
        QVERIFY(storage->passwordResetByHash("waiting"));
        QVERIFY(!storage->passwordResetByHash("used"));
        QVERIFY(!storage->passwordResetByHash("expired"));
        QCOMPARE(storage->loginFailuresForEmail(QStringLiteral("ada@example.org"), t0), 1);
        QCOMPARE(storage->countRequest(QStringLiteral("signup"), QStringLiteral("192.0.2.1"), now, t0), 1);
    }

    void pins_data()
    {
        backends();
    }
    void pins()
    {
        OPEN_OR_SKIP(storage);
        const qint64 id = storage->createUser(user(QStringLiteral("ada@example.org")))->id;
        const std::optional<PinRow> pin = storage->createPin(id, "sealed", 24, t0);
        QVERIFY(pin);
        QVERIFY(!storage->createPin(id, "other", 12, t0)); // one PIN per account
        const QDateTime until = t0.addSecs(900);
        for (int i = 1; i <= 4; ++i) {
            const PinRow after = *storage->recordWrongPin(pin->id, 5, until, t0);
            QCOMPARE(after.failedAttempts, i);
            QVERIFY(!after.blockedUntil);
        }
        const PinRow blocked = *storage->recordWrongPin(pin->id, 5, until, t0);
        QCOMPARE(blocked.failedAttempts, 0);
        QCOMPARE(*blocked.blockedUntil, until);
        QVERIFY(storage->clearWrongPins(pin->id, t0));
        QVERIFY(!storage->pinForUser(id)->blockedUntil);

        QVERIFY(storage->scheduleRetrieval(pin->id, t0.addSecs(3600), t0));
        QVERIFY(storage->retrievalsDue(t0.addSecs(3599)).isEmpty());
        QCOMPARE(storage->retrievalsDue(t0.addSecs(3600)).size(), 1);
        const QDateTime due = t0.addSecs(3600);
        QVERIFY(storage->claimRetrieval(pin->id, due, due.addSecs(300)));
        QVERIFY(!storage->claimRetrieval(pin->id, due, due.addSecs(300))); // one server sends it
        QVERIFY(storage->retrievalsDue(due.addSecs(299)).isEmpty());
        // A sender that stopped before writing leaves it to the next look after its claim.
        QCOMPARE(storage->retrievalsDue(due.addSecs(300)).size(), 1);
        QVERIFY(storage->claimRetrieval(pin->id, due.addSecs(300), due.addSecs(600)));
        storage->releaseRetrieval(pin->id); // the write failed
        QVERIFY(storage->claimRetrieval(pin->id, due.addSecs(301), due.addSecs(601)));
        QVERIFY(storage->markRetrievalSent(pin->id, due.addSecs(301)));
        QVERIFY(storage->retrievalsDue(t0.addDays(9)).isEmpty());
        QVERIFY(!storage->claimRetrieval(pin->id, t0.addDays(9), t0.addDays(10)));

        QVERIFY(storage->scheduleRetrieval(pin->id, t0.addSecs(7200), t0));
        QVERIFY(storage->replacePin(pin->id, "new", t0)); // the new PIN is known: nothing to send
        QVERIFY(storage->retrievalsDue(t0.addDays(9)).isEmpty());
        QCOMPARE(storage->pinForUser(id)->sealedPin, QByteArray("new"));
        QVERIFY(storage->deletePin(id));
        QVERIFY(!storage->pinForUser(id));
    }

    void lists_data()
    {
        backends();
    }
    void lists()
    {
        OPEN_OR_SKIP(storage);
        const qint64 ada = storage->createUser(user(QStringLiteral("ada@example.org")))->id;
        const qint64 bob = storage->createUser(user(QStringLiteral("bob@example.org")))->id;
        const std::optional<DomainRow> first = storage->addDomain(ada, QStringLiteral("b.example"), t0);
        QVERIFY(first);
        QVERIFY(storage->addDomain(ada, QStringLiteral("a.example"), t0));
        const qint64 version = storage->blacklistVersion(ada);
        QVERIFY(!storage->addDomain(ada, QStringLiteral("b.example"), t0));
        QVERIFY(storage->addDomain(bob, QStringLiteral("b.example"), t0));
        QCOMPARE(storage->blacklistVersion(ada), version); // nothing changed for ada
        QCOMPARE(storage->domainCount(ada), 2);
        const QList<DomainRow> page = storage->domains(ada, 1, 1);
        QCOMPARE(page.size(), 1);
        QCOMPARE(page.first().domain, QStringLiteral("a.example")); // in the order they were added
        QVERIFY(!storage->removeDomain(bob, first->id));
        QVERIFY(storage->removeDomain(ada, first->id));
        QVERIFY(storage->blacklistVersion(ada) > version); // answers kept for the old list go
        QCOMPARE(storage->domainCount(ada), 1);

        const std::optional<UserCategoryRow> blocked = storage->blockCategory(ada, 3, t0);
        QVERIFY(blocked);
        QCOMPARE(storage->blockCategory(ada, 3, t0.addSecs(60))->id, blocked->id);
        QVERIFY(storage->categories(ada).at(2).blocked);
        QVERIFY(!storage->categories(bob).at(2).blocked);
        QCOMPARE(storage->unblockCategory(ada, 3)->id, blocked->id);
        QVERIFY(!storage->unblockCategory(ada, 3));
        QVERIFY(!storage->categoryExists(999));

        QVERIFY(storage->recordDevice(ada, QStringLiteral("uuid-1"), QStringLiteral("127.0.0.1"), t0));
        QVERIFY(storage->recordDevice(ada, QStringLiteral("uuid-1"), QStringLiteral("::1"), t0.addSecs(60)));
        const QList<DeviceRow> devices = storage->devices(ada);
        QCOMPARE(devices.size(), 1);
        QCOMPARE(devices.first().address, QStringLiteral("::1"));
        QCOMPARE(devices.first().lastSeenAt, t0.addSecs(60));

        // A device's DNS key lives with the session it was made for; a new one replaces it.
        const std::optional<TokenRow> session = storage->addToken(ada, "session", t0, t0.addDays(180));
        QVERIFY(session);
        QVERIFY(storage->setDeviceKey(ada, QStringLiteral("uuid-1"), "key-1", session->id));
        QVERIFY(storage->setDeviceKey(ada, QStringLiteral("uuid-1"), "key-2", session->id));
        QCOMPARE(storage->device(ada, QStringLiteral("uuid-1"))->dnsKeyHash, QByteArray("key-2"));
        QVERIFY(!storage->setDeviceKey(bob, QStringLiteral("uuid-1"), "key-3", session->id)); // not bob's device
        auto liveKeys = [&](const QDateTime &now) {
            QStringList keys;
            for (const DeviceKeyRow &row : storage->liveDeviceKeys(now))
                keys.append(QStringLiteral("%1:%2").arg(QString::fromLatin1(row.keyHash)).arg(row.userID));
            return keys;
        };
        QCOMPARE(liveKeys(t0), QStringList{QStringLiteral("key-2:%1").arg(ada)});
        QVERIFY(liveKeys(t0.addDays(181)).isEmpty()); // the session expired
        QVERIFY(storage->revokeToken(session->id, t0));
        QVERIFY(liveKeys(t0).isEmpty());

        // Who called from an address lately.
        QVERIFY(storage->recordDevice(bob, QStringLiteral("uuid-2"), QStringLiteral("::1"), t0.addSecs(120)));
        QVERIFY(storage->recordDevice(bob, QStringLiteral("uuid-3"), QStringLiteral("::1"), t0.addSecs(130)));
        QCOMPARE(storage->usersSeenAt(QStringLiteral("::1"), t0), (QList<qint64>{ada, bob}));
        QCOMPARE(storage->usersSeenAt(QStringLiteral("::1"), t0.addSecs(90)), QList<qint64>{bob});
    }

    void focus_data()
    {
        backends();
    }
    void focus()
    {
        OPEN_OR_SKIP(storage);
        const qint64 ada = storage->createUser(user(QStringLiteral("ada@example.org")))->id;
        const qint64 bob = storage->createUser(user(QStringLiteral("bob@example.org")))->id;
        FocusSessionRow session{0, ada, t0, t0.addSecs(1800), {QStringLiteral("a.example")}, {2, 5}};
        const std::optional<FocusSessionRow> first = storage->startFocusSession(session);
        QVERIFY(first && first->id);
        // One at a time: a second one is refused until the first ends.
        session.startedAt = t0.addSecs(1799);
        session.endsAt = t0.addSecs(3600);
        QVERIFY(!storage->startFocusSession(session));
        session.startedAt = t0.addSecs(1800);
        const std::optional<FocusSessionRow> second = storage->startFocusSession(session);
        QVERIFY(second);
        const std::optional<FocusSessionRow> latest = storage->latestFocusSession(ada);
        QCOMPARE(latest->id, second->id);
        QCOMPARE(latest->endsAt, t0.addSecs(3600));
        QCOMPARE(latest->websites, QStringList{QStringLiteral("a.example")});
        QCOMPARE(latest->categories, (QList<qint64>{2, 5}));
        QVERIFY(!storage->latestFocusSession(bob));

        ScheduleRow window{0, ada, QStringLiteral("Work, \"late\""), {1, 5}, QStringLiteral("09:00"),
                           QStringLiteral("17:00"), QStringLiteral("Europe/Paris"), {}, {3}, true, t0};
        for (int i = 0; i < 3; ++i)
            QVERIFY(storage->saveSchedule(window, 3));
        QVERIFY(!storage->saveSchedule(window, 3));
        QList<ScheduleRow> rows = storage->schedules(ada);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.first().name, window.name);
        QCOMPARE(rows.first().days, window.days);
        QCOMPARE(rows.first().websites, QStringList());
        QVERIFY(rows.first().locks);
        // Only the account's own windows change.
        ScheduleRow changed = rows.first();
        changed.end = QStringLiteral("18:00");
        changed.userID = bob;
        QVERIFY(!storage->saveSchedule(changed, 3));
        QVERIFY(!storage->deleteSchedule(bob, changed.id));
        changed.userID = ada;
        QCOMPARE(storage->saveSchedule(changed, 3)->end, QStringLiteral("18:00"));
        QCOMPARE(storage->schedules(ada).first().end, QStringLiteral("18:00"));
        QVERIFY(storage->deleteSchedule(ada, changed.id));
        QCOMPARE(storage->schedules(ada).size(), 2);
        QVERIFY(storage->saveSchedule(window, 3));
    }

    void sealedPinsBelongToOneAccount()
    {
        QString error;
        const std::optional<QByteArray> key = Crypto::loadOrCreateKey(m_dir.filePath(QStringLiteral("key")), &error);
        QVERIFY2(key, qPrintable(error));
        QCOMPARE(*Crypto::loadOrCreateKey(m_dir.filePath(QStringLiteral("key")), &error), *key);
        QCOMPARE(QFile::permissions(m_dir.filePath(QStringLiteral("key"))),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        const QByteArray sealed = Crypto::sealPin(*key, 7, QStringLiteral("482913"));
        QVERIFY(!sealed.contains("482913"));
        QCOMPARE(*Crypto::openPin(*key, 7, sealed), QStringLiteral("482913"));
        QVERIFY(!Crypto::openPin(*key, 8, sealed));
        QByteArray tampered = QByteArray::fromBase64(sealed);
        tampered[tampered.size() - 1] = char(tampered.back() ^ 1);
        QVERIFY(!Crypto::openPin(*key, 7, tampered.toBase64()));
        QVERIFY(Crypto::sealPin(*key, 7, QStringLiteral("482913")) != sealed); // a fresh nonce each time
    }
};

QTEST_GUILESS_MAIN(tst_ServerStorage)
#include "tst_serverstorage.moc"
