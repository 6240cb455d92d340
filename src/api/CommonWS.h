#pragma once

#include "ApiManager.h"
#include "records/Records.h"

#include <QPointer>
#include <functional>

class FocusState;

// One operation per server endpoint: builds the parameters, sends them through ApiManager and
// decodes the answer. completion(record, ok) runs on the main thread once the answer is in;
// when ok is false the body did not decode and record is empty. After a transport failure
// only a log line is written and completion never runs; the operations a screen waits on
// take a noAnswer callback that runs instead, so the screen can give its button back.
class CommonWS
{
public:
    template <class T> using Completion = std::function<void(const T &record, bool ok)>;
    // The request got no answer: kept back by the reachability gate, a transport error or
    // the transfer time-out.
    using NoAnswer = std::function<void()>;
    // The request went out and got no answer (refused, unreachable host, time-out). Unlike
    // NoAnswer it does not run for a request the reachability gate kept back: the gate has
    // told the user already.
    using Unanswered = std::function<void(const ApiError &error)>;

    enum class SocialMedia { facebook = 1, google = 2 };
    // "time" of a PIN that can never be retrieved: twenty years in hours.
    static constexpr qint64 foreverHours = 175200;

    static CommonWS &shared();
    // A user is signed in: requests carry the user's token, not the built-in one.
    static bool signedIn();

    void signup(const QString &deviceName, const QString &email, const QString &password,
                Completion<BaseModel<AuthModel>> completion, NoAnswer noAnswer = {});
    // E-mail sign-in; email is the address stored by the e-mail step.
    void login(const QString &email, const QString &password, Completion<BaseModel<AuthModel>> completion,
               NoAnswer noAnswer = {});
    void socialLogin(SocialMedia media, const QString &email, const QString &token, const QString &profileID,
                     Completion<BaseModel<AuthModel>> completion, NoAnswer noAnswer = {});
    void forgotPassword(const QString &email, Completion<BaseModel<AuthModel>> completion);
    void updateProfile(const QString &name, const QString &deviceName, const QString &password,
                       Completion<BaseModel<UpdateProfile>> completion, NoAnswer noAnswer = {});
    // Sends the new PIN with the waiting time in hours (12, 24, 48 or foreverHours). The PIN is
    // handed over in memory only: it never goes through the preferences.
    void setupPin(qint64 hours, const QString &pin, Completion<BaseModel<SetupPinModel>> completion,
                  NoAnswer noAnswer = {});
    void checkPin(qint64 attempt, const QString &pin, Completion<BaseModel<CheckPinModel>> completion,
                  NoAnswer noAnswer = {});
    void retrievePin(Completion<BaseModel<RetrievePinModel>> completion, NoAnswer noAnswer = {});
    void updatePin(const QString &oldPin, const QString &pin, Completion<BaseModel<UpdatePinModel>> completion,
                   NoAnswer noAnswer = {});
    void removePin(Completion<DisablePinModel> completion, NoAnswer noAnswer = {});
    // One page of the blacklist (pages start at 1), asked for on the configured API base.
    void getBlockWebsiteByUser(qint64 page, Completion<BaseModel<BlockWebsiteModel>> completion,
                               NoAnswer noAnswer = {});
    void blockWebsite(const QString &domain, Completion<BaseModel<BlockData>> completion, NoAnswer noAnswer = {});
    void unblockWebsite(qint64 domainID, Completion<UnblockWebsiteModel> completion, NoAnswer noAnswer = {});
    // The account status: tells the server this device exists and whether it is protected
    // (protection, else "dnsLastStatus"), and updates "isPinSeted".
    void syncURL(Completion<BaseModel<SyncURLModel>> completion, NoAnswer noAnswer = {},
                 std::optional<bool> protection = std::nullopt);
    // Sees every decoded account status answer, whoever asked for it, before its completion.
    void setSyncObserver(std::function<void(const BaseModel<SyncURLModel> &)> observer)
    {
        m_syncObserver = std::move(observer);
    }
    // The account's blocked applications, by the desktop's id; the answer is the whole list.
    void blockApp(const QString &appID, const QString &name, Completion<BaseModel<BlockedAppList>> completion,
                  NoAnswer noAnswer = {});
    void unblockApp(const QString &appID, Completion<BaseModel<BlockedAppList>> completion, NoAnswer noAnswer = {});
    void getCategories(Completion<BaseModel<CategoryList>> completion, NoAnswer noAnswer = {});
    void blockCategory(qint64 categoryID, Completion<BaseModel<BlockCategoryModel>> completion, NoAnswer noAnswer = {});
    void unblockCategory(qint64 categoryID, Completion<BaseModel<UnblockCategoryModel>> completion,
                         NoAnswer noAnswer = {});
    // A focus session of minutes (15 to 1440) from now, adding sites and category ids to what
    // is blocked. Every focus answer is the account's whole focus status.
    void focusStart(qint64 minutes, const QStringList &websites, const QList<qint64> &categories,
                    Completion<BaseModel<FocusStatusModel>> completion, NoAnswer noAnswer = {});
    void focusStatus(Completion<BaseModel<FocusStatusModel>> completion, NoAnswer noAnswer = {});
    // A weekly window: id 0 adds one. Its times are read in its time zone.
    void saveSchedule(const ScheduleModel &window, Completion<BaseModel<FocusStatusModel>> completion,
                      NoAnswer noAnswer = {});
    void deleteSchedule(qint64 id, Completion<BaseModel<FocusStatusModel>> completion, NoAnswer noAnswer = {});
    // What learns the lock from every focus and account-status answer, and from every
    // refusal as locked (code 423). Null: nobody.
    void setFocusState(FocusState *state);
    FocusState *focusState() const;
    void logout(Completion<LogoutModel> completion, Unanswered unanswered = {});
    // The sign-out of an uninstall or a verified sign-out: afterSignedOut runs only once the
    // server accepted it.
    void signOut(std::function<void()> afterSignedOut);

private:
    std::function<void(const BaseModel<SyncURLModel> &)> m_syncObserver;
    QPointer<FocusState> m_focusState;

    // What call() reports when no answer came: the transport error, or null when the
    // reachability gate kept the request back.
    using Failure = std::function<void(const ApiError *error)>;
    static Failure anyFailure(NoAnswer noAnswer);
    // Hands every focus answer to the focus state.
    std::function<void(const BaseModel<FocusStatusModel> &)> focusFeed();
    // Keeps what an account status says of this device's encrypted DNS.
    static void takeEncryptedDns(const SyncURLModel &status);

    // Sends and decodes; afterDecode runs on a decoded record before the completion does.
    template <class T>
    void call(WebService service, const ApiManager::Parameters &parameters, Completion<T> completion,
              std::function<void(const T &)> afterDecode = {}, Failure failure = {}, qint64 page = 1);
};
