#pragma once

#include "records/Records.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Workspace.h"

// One row of the application catalogue.
struct ApplicationDetail
{
    QIcon icon;
    QString name;
    bool state = false; // the row's switch is on; false when the catalogue is built
    QString id;         // the desktop's id of the application: the key of the blocked list
};

// What blocking a running application did: which one, and what its quit request reached.
struct BlockOutcome
{
    QString appID;
    QString name; // for display
    QuitOutcome quit;
};

// Stops blocked applications: the catalogue, the blocked list and the quit request; what the
// user sees of it is the screens' business. Made once by the application and handed to the delegate and the Block Apps screen.
//
// The blocked list is kept by the account where the server keeps it: the preferences hold a
// copy, taken back from every account status answer, so an edited file changes nothing for
// long. Blocking works at once on this computer and reaches the account now or at the next
// account status; unblocking weakens, so on such an account only the server's yes counts.
class ApplicationBlocker : public QObject
{
    Q_OBJECT
public:
    explicit ApplicationBlocker(std::unique_ptr<Workspace> workspace, QObject *parent = nullptr);
    ~ApplicationBlocker() override;

    Workspace *shared() const { return m_workspace.get(); }

    QList<ApplicationDetail> buildApplicationCatalogue();
    QuitOutcome quitApplication(const QString &appID);
    // Asks the running application to quit (its windows now, its processes after the grace).
    BlockOutcome block(const QString &appID, const QString &name);

    // The blocked applications' ids, as this computer holds them.
    QStringList blockedIDs() const;
    // Lists stored before ids were the key held display names: each name that is the name of
    // an installed application becomes its id, once.
    void migrateStoredNames();
    static QStringList withIDs(const QStringList &stored, const QList<InstalledApp> &apps);

    void blockApp(const QString &appID, const QString &name);
    // refusal is the server's text, or empty when no answer came.
    using Unblocked = std::function<void(bool unblocked, const QString &refusal)>;
    void unblockApp(const QString &appID, Unblocked finished);
    // The list of an account status answer: none from a server that does not keep one.
    // signedIn: the answer is the signed-in user's (not the one given to the built-in token).
    void takeAccountList(const std::optional<BlockedAppList> &apps, bool signedIn);
    bool accountKeepsList() const { return m_accountKeepsList; }

signals:
    // The stored list changed (an answer of the account, or this computer's own change).
    void blockedAppsChanged();
    // Applications were installed or removed: the catalogue has news.
    void catalogueChanged();

private:
    // The account's list plus what is still to be sent, stored; tells when it changed.
    void storeWithPending(const BlockedAppList &account);
    void uploadPending();
    QString displayName(const QString &appID);

    std::unique_ptr<Workspace> m_workspace;
    bool m_accountKeepsList = false;
    QSet<QString> m_uploading;
};
