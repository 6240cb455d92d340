#pragma once

#include "ServerSync.h"

#include <QList>

// Counts the server requests of the protection engine; installed for as long as it lives.
class RecordingServerSync : public ServerSync
{
public:
    RecordingServerSync() { ServerSync::setShared(this); }
    ~RecordingServerSync() override { ServerSync::setShared(nullptr); }

    void syncDevice(std::function<void()> completion) override
    {
        ++syncCount;
        if (completion)
            completion();
    }
    void logout(std::function<void()> completion) override { logoutCompletions.append(std::move(completion)); }

    int syncCount = 0;
    QList<std::function<void()>> logoutCompletions;
};
