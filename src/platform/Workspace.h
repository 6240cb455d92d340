#pragma once

#include <QList>
#include <QObject>
#include <QString>
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
    // The entry starts another program (env, a shell, an interpreter, flatpak): its processes
    // are not the application's own, so they are never signalled.
    bool launcher = false;
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
    // Asks every running copy of the application with this id to quit.
    virtual void quitApplication(const QString &appID) = 0;

signals:
    // An application came to the front (or, without a window manager, started). appID is the
    // stable key (the desktop entry's id, a bundle id); the name is for display.
    void applicationActivated(const QString &appID, const QString &localizedName, qint64 pid);
};

// The workspace of the system the application was built for; ownId is our own desktop
// entry's id, left out of the catalogue.
std::unique_ptr<Workspace> makeWorkspace(const QString &ownId);
