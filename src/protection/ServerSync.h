#pragma once

#include <functional>

// The two server requests the protection engine makes: the device synchronisation
// ("/api/v3/sync-url") and the sign-out ("/api/v3/logout").
class ServerSync
{
public:
    virtual ~ServerSync() = default;
    // completion runs once the request has ended, whatever its answer.
    virtual void syncDevice(std::function<void()> completion) = 0;
    void syncDevice() { syncDevice(nullptr); }
    // completion runs only once the server has answered the sign-out.
    virtual void logout(std::function<void()> completion) = 0;

    static ServerSync &shared();
    static void setShared(ServerSync *sync);
};
