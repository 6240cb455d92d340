#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

// One installed application as the desktop describes it.
struct InstalledApp
{
    QString id;          // the desktop entry's id without ".desktop"
    QString name;        // display name, translated: for people only
    QString iconName;    // icon theme name, or empty
    QString iconFile;    // icon file path, or empty
    QString executable;  // absolute path of the program the entry starts (links not resolved), or empty
    QString windowClass; // the entry's StartupWMClass, or empty
    QStringList arguments; // what the entry passes its program, field codes left out: tells apart entries sharing one program
    // The entry starts another program (env, a shell, an interpreter, flatpak): its processes
    // are not the application's own, so they are never signalled.
    bool launcher = false;
};

// What a quit request did.
struct QuitOutcome
{
    int windowsAsked = 0; // windows asked to close at once
    int processes = 0;    // the application's processes, ended after the grace when still running
    bool found() const { return windowsAsked > 0 || processes > 0; }
};

// The running desktop: which applications are installed, which one becomes active, and a
// way to ask one to quit.
class Workspace : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Workspace() override = default;

    // Reads the installed applications again; cheap enough to call on the main thread.
    virtual QList<InstalledApp> installedApplications() = 0;
    // Asks every running copy of the application with this id to quit: its windows at once,
    // its processes (only its own: its unit, or the process and its children) after the grace.
    virtual QuitOutcome quitApplication(const QString &appID) = 0;
    // Whether this session shows which applications start (their units, or an X server);
    // without either, only programs started from their usual path can be recognised.
    virtual bool seesApplications() const { return true; }
    // Whether any application is blocked. While none is, what comes to the front is not
    // identified at all: identifying means reading every desktop entry, which a user who
    // blocks nothing should not pay for in memory or wake-ups. Off until told otherwise.
    virtual void setWatching(bool on) { Q_UNUSED(on); }

    // How long a blocked application has to close (save its work) before it is ended.
    static constexpr int graceSeconds = 10;

signals:
    // An application came to the front (or, without a window manager, started). appID is the
    // stable key (the desktop entry's id, a bundle id); the name is for display.
    void applicationActivated(const QString &appID, const QString &localizedName, qint64 pid);
    // Applications were installed or removed: installedApplications() has news.
    void applicationsChanged();
};

// The workspace of the system the application was built for; ownId is our own desktop
// entry's id, left out of the catalogue.
std::unique_ptr<Workspace> makeWorkspace(const QString &ownId);
