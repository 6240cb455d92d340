#pragma once

#include "platform/LaunchAgent.h"

// macOS: the property list in ~/Library/LaunchAgents, loaded with launchctl.
class LaunchdAgent : public LaunchAgent
{
public:
    using LaunchAgent::LaunchAgent;
    static QString defaultDestination();
    QString load() override;

protected:
    QByteArray contents() const override;
};
