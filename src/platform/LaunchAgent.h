#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// The per-user entry that starts the application at login. Installed once and never
// replaced, so an entry the user edited stays as they left it; only an entry whose program
// no longer exists (a moved build tree, say) is written anew, since it can start nothing.
class LaunchAgent
{
public:
    explicit LaunchAgent(QString destinationPath);
    virtual ~LaunchAgent() = default;

    QString destinationPath() const { return m_destination; }
    // Creates the folder when needed and copies the entry there unless a file is present.
    // Every step is logged; a failure is logged and the sequence goes on.
    void install();
    // Asks the system to take the entry into account; returns what the tool printed.
    virtual QString load() = 0;

protected:
    // The entry's file contents; empty when the application carries none.
    virtual QByteArray contents() const = 0;
    // The program an existing entry starts, when it names one by absolute path.
    virtual QString programOf(const QByteArray &) const { return {}; }
    // What the log calls the entry ("autostart entry", "user unit"); empty for launchd, whose
    // log keeps its own words (launch agent folder, property list).
    virtual QString logName() const { return {}; }

private:
    QString m_destination;
};

std::unique_ptr<LaunchAgent> makeLaunchAgent();

// Where the desktop session has a service manager (a systemd user session), the unit that
// runs the app and starts it again whenever it ends other than on purpose; null elsewhere.
std::unique_ptr<LaunchAgent> makeLoginUnit();
// Called first thing: when the login unit runs this same program and this copy was started
// outside it (by the login entry when atLogin, else by the user), the unit is asked to run
// the app instead. True when this copy should end now.
bool handOverToLoginUnit(bool atLogin);
// Before ending on purpose (Quit, uninstall), so the session does not start the app again.
void stopLoginUnit();
// The argument the login entry starts the app with.
inline constexpr char loginArgument[] = "--login";
