#pragma once

#include "platform/LaunchAgent.h"

#include <QDBusConnection>

// The systemd user unit that runs the app in the desktop session and starts it again whenever
// it ends other than on purpose. Written with the login entry's rules (never replaced unless
// its program is gone) and enabled through the user manager on the session bus.
class SystemdUserUnit : public LaunchAgent
{
public:
    SystemdUserUnit(QString destinationPath, QString executablePath, const QDBusConnection &bus);

    static QString unitName();
    static QString defaultDestination();

    // Reloads the user manager's unit files and enables the unit; reports what happened.
    QString load() override;
    // Started outside the unit (by the autostart entry when atLogin, else by the user) while
    // the unit runs this same program: asks the manager to run the app there instead, so one
    // copy runs and it is the one that is restarted. True when this copy should end now.
    bool handOver(bool atLogin);
    // Ending on purpose (Quit, uninstall): stops the unit when it runs this copy, so the
    // manager does not start the app again.
    void stopBeforeDeliberateEnd();

protected:
    QByteArray contents() const override;
    QString logName() const override { return QStringLiteral("user unit"); }
    QString programOf(const QByteArray &unit) const override;

private:
    QString m_executable;
    QDBusConnection m_bus;
};
