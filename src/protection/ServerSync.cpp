#include "ServerSync.h"

#include "Log.h"

namespace {
// Used until a server client is installed: says so in the log, and never pretends that a
// sign-out reached the server.
class UnconnectedServerSync : public ServerSync
{
public:
    void syncDevice(std::function<void()> completion) override
    {
        Log::line(QStringLiteral("sync-url not sent: no server client"));
        if (completion)
            completion();
    }
    void logout(std::function<void()>) override { Log::line(QStringLiteral("logout not sent: no server client")); }
};

ServerSync *installed = nullptr;
} // namespace

ServerSync &ServerSync::shared()
{
    static UnconnectedServerSync fallback;
    return installed ? *installed : fallback;
}

void ServerSync::setShared(ServerSync *sync)
{
    installed = sync;
}
