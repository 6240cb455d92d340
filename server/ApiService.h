#pragma once

#include "ServiceContext.h"
#include "records/WebService.h"

#include <QObject>
#include <memory>

class AccountService;
class DnsServer;
class DeviceService;
class FocusService;
class ListService;
class PinService;

// The API of one HTTP thread: finds the service a request names in the contract table, tells
// who is calling, and hands the request to the accounts, PIN, lists or devices service. Every
// answer is built with the app's own record encoders, so the two sides cannot disagree on a
// key or a type.
class ApiService : public QObject, public ServiceLimits
{
    Q_OBJECT
public:
    ApiService(Storage &storage, Outbox &outbox, SocialVerifier &social, PasswordWorkers &passwords,
               const QByteArray &pinKey, const ServiceSettings &settings, Clock &clock, SessionCache &cache,
               QObject *parent = nullptr);
    ~ApiService() override;

    // The JSON of a refusal made before a request reaches the services (the listening socket's
    // checks), by its HTTP status.
    static QByteArray refusalBody(int httpStatus, const QByteArray &language);

    // Known only once the server listens when the port was picked by the system.
    void setPublicBase(const QUrl &base) { m_context.settings.publicBase = base; }
    // The filtering DNS that answers DNS over HTTPS; it must stop before this service goes.
    void setDns(DnsServer *dns) { m_dns = dns; }

    // Answers one request; done runs once, now or (social sign-in) when the provider answered.
    void handle(const ApiRequest &request, const Done &done);

    // E-mails the PINs whose waiting time is over; gives how many were sent. Safe to run on
    // several servers at once: each PIN is sent by one of them.
    int sendDuePins();
    // Drops records that no rule reads any more.
    void forgetOldRecords();

signals:
    // What the filtering DNS applies changed for this user: the blacklist, the blocked
    // categories or the address of a device.
    void listsChanged(qint64 userID);

private:
    void dispatch(const ApiRequest &request, const Done &done);
    void serve(WebService service, ApiCall &call, const Done &done);

    ServiceContext m_context;
    DnsServer *m_dns = nullptr;
    std::unique_ptr<PinService> m_pins;
    std::unique_ptr<ListService> m_lists;
    std::unique_ptr<DeviceService> m_devices;
    std::unique_ptr<AccountService> m_accounts;
    std::unique_ptr<FocusService> m_focus;
};
