#pragma once

#include "ServiceContext.h"

class DeviceService;

// Sign-up, sign-in (e-mail and social), password reset (the request and the page behind the
// e-mailed link), profile, logout.
class AccountService : private ServiceLimits
{
public:
    AccountService(ServiceContext &context, DeviceService &devices);

    void signup(ApiCall &ctx, const Done &done);
    void login(ApiCall &ctx, const Done &done);
    ApiReply forgotPassword(ApiCall &ctx);
    void updateProfile(ApiCall &ctx, const Done &done);
    ApiReply logout(ApiCall &ctx);
    void resetPage(const ApiRequest &request, const Done &done);

    // Drops records that no rule reads any more.
    void forgetOldRecords();

private:
    void emailLogin(ApiCall &ctx, const Done &done);
    void socialLogin(ApiCall &ctx, const Done &done);
    ApiReply signedIn(ApiCall &ctx, const UserRow &user, Msg message, qint64 code);
    // How long every sign-in to an account waits once its failures from all addresses pass the
    // account's limit; grows with them.
    static qint64 accountDelayMs(qint64 accountFailures);
    bool knownDevice(const ApiCall &ctx, qint64 userID);

    ServiceContext &m_ctx;
    DeviceService &m_devices;
    QString m_dummyHash; // verified against when the e-mail is unknown, so both take as long
};
