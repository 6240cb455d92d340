#pragma once

#include "platform/LaunchAgent.h"

// Linux: an XDG autostart desktop entry named after the application identifier, read by the
// desktop session at login.
class XdgAutostartAgent : public LaunchAgent
{
public:
    XdgAutostartAgent(QString destinationPath, QString executablePath);

    static QString defaultDestination();
    // Nothing to load by hand: the session reads the entry at the next login. Reports
    // whether the entry is in place.
    QString load() override;

protected:
    QByteArray contents() const override;
    QString logName() const override { return QStringLiteral("autostart entry"); }
    QString programOf(const QByteArray &entry) const override;

private:
    QString m_executable;
};
