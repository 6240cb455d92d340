#include "CommonWS.h"

#include "FocusState.h"
#include "LogRedaction.h"
#include "core/Log.h"
#include "platform/DeviceIdentity.h"
#include "platform/PreferencesKeys.h"
#include "platform/PreferencesStore.h"

#include <QTimeZone>

namespace {
QString storedUserID()
{
    return PreferencesStore::shared().textForKey(PrefKey::user_id).value_or(QString());
}

// The user-record answers (sign-up, sign-in, profile update) keep the account in the
// preferences. Only an answer that carries the user does so: a refused sign-in (wrong
// password, no payload) must not wipe the address the password step reads back.
// The envelope code of a weakening change refused while the account's blocks are held.
constexpr qint64 lockedCode = 423;
constexpr int notFoundCode = 404;

// The calls whose refusal as locked names the time the lock ends: sent with this computer's
// time zone, so that time reads as the user's own.
bool namesLockEnd(WebService service)
{
    switch (service) {
    case WebService::setupPin:
    case WebService::updatePin:
    case WebService::removepin:
    case WebService::unblockWebsite:
    case WebService::unblockCategory:
    case WebService::unblockApp:
    case WebService::focusStart:
    case WebService::saveSchedule:
    case WebService::deleteSchedule:
        return true;
    default:
        return false;
    }
}

QString joined(const QList<qint64> &ids)
{
    QStringList texts;
    for (qint64 id : ids)
        texts << QString::number(id);
    return texts.join(QLatin1Char(','));
}

template <class User> void storeUser(const BaseModel<User> &record)
{
    if (!record.data)
        return;
    const User &user = *record.data;
    PreferencesStore &prefs = PreferencesStore::shared();
    prefs.setString(PrefKey::user_email, user.email);
    // The store cannot forget a single key; an empty name reads as no name everywhere.
    prefs.setString(PrefKey::user_name, user.name.value_or(QString()));
    prefs.setString(PrefKey::user_device, user.deviceName);
    prefs.setInteger(PrefKey::user_id, user.id);
}
} // namespace

CommonWS &CommonWS::shared()
{
    static CommonWS instance;
    return instance;
}

bool CommonWS::signedIn()
{
    const PreferencesStore &prefs = PreferencesStore::shared();
    return prefs.boolForKey(PrefKey::isLogin) && !prefs.stringForKey(PrefKey::loginToken).value_or(QString()).isEmpty();
}

CommonWS::Failure CommonWS::anyFailure(NoAnswer noAnswer)
{
    if (!noAnswer)
        return {};
    return [noAnswer = std::move(noAnswer)](const ApiError *) { noAnswer(); };
}

template <class T>
void CommonWS::call(WebService service, const ApiManager::Parameters &parameters, Completion<T> completion,
                    std::function<void(const T &)> afterDecode, Failure failure, qint64 page)
{
    ApiManager::Parameters sentParameters = parameters;
    if (namesLockEnd(service) && !sentParameters.contains(QStringLiteral("time_zone")))
        sentParameters.insert(QStringLiteral("time_zone"), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    // The method is the contract table's, the one the server's routes are built from.
    const bool sent = ApiManager::shared().sendRequest(
        service, endpoint(service).method == HttpMethod::post, sentParameters,
        [failure](const ApiError &error) {
            Log::line(QStringLiteral("error found in api calling : ") + error.description);
            if (failure)
                failure(&error);
        },
        [this, service, completion = std::move(completion),
         afterDecode = std::move(afterDecode)](const std::optional<QByteArray> &body, int httpStatus) {
            DecodingError error{QString(), QStringLiteral("the answer has no body")};
            std::optional<T> record = body ? decodeRecord<T>(*body, &error) : std::nullopt;
            if constexpr (requires(T t) { t.code = notFoundCode; }) {
                // A server without a newer service: whatever its 404 page holds, the answer
                // is a refusal as not found, which tells the caller the service is missing.
                if (httpStatus == notFoundCode && endpoint(service).beyondClassic) {
                    if (!record)
                        record = T{};
                    record->code = notFoundCode;
                }
            }
            if (!record) {
                Log::line(QStringLiteral("Error while decoding - ") + error.description());
                if (service == WebService::forgot)
                    Log::line(
                        QStringLiteral("============== Error while decoding the model response ==================="));
                if (completion)
                    completion(T{}, false);
                return;
            }
            if (afterDecode)
                afterDecode(*record);
            if constexpr (requires { record->code; }) {
                // The lock may have begun since this computer last heard: learn it again.
                if (record->code == lockedCode && m_focusState && service != WebService::focusStatus)
                    m_focusState->takeLockedRefusal();
            }
            if (completion)
                completion(*record, true);
        },
        page);
    if (!sent && failure)
        failure(nullptr);
}

void CommonWS::signup(const QString &deviceName, const QString &email, const QString &password,
                      Completion<BaseModel<AuthModel>> completion, NoAnswer noAnswer)
{
    call<BaseModel<AuthModel>>(WebService::signup,
                               {{QStringLiteral("social_media"), QStringLiteral("0")},
                                {QStringLiteral("device_name"), deviceName},
                                {QStringLiteral("email"), email},
                                {QStringLiteral("password"), password},
                                {QStringLiteral("profile_id"), QStringLiteral("0")}},
                               std::move(completion), storeUser<AuthModel>, anyFailure(std::move(noAnswer)));
}

void CommonWS::login(const QString &email, const QString &password, Completion<BaseModel<AuthModel>> completion,
                     NoAnswer noAnswer)
{
    call<BaseModel<AuthModel>>(WebService::login,
                               {{QStringLiteral("email"), email},
                                {QStringLiteral("password"), password},
                                {QStringLiteral("social_media"), QStringLiteral("0")},
                                {QStringLiteral("platform_unique_id"), platformUUID()}},
                               std::move(completion), storeUser<AuthModel>, anyFailure(std::move(noAnswer)));
}

void CommonWS::socialLogin(SocialMedia media, const QString &email, const QString &token, const QString &profileID,
                           Completion<BaseModel<AuthModel>> completion, NoAnswer noAnswer)
{
    call<BaseModel<AuthModel>>(WebService::login,
                               {{QStringLiteral("email"), email},
                                {QStringLiteral("social_media"), QString::number(int(media))},
                                {QStringLiteral("token"), token},
                                {QStringLiteral("device_name"), defaultDeviceName()},
                                {QStringLiteral("profile_id"), profileID},
                                {QStringLiteral("platform_unique_id"), platformUUID()}},
                               std::move(completion), storeUser<AuthModel>, anyFailure(std::move(noAnswer)));
}

void CommonWS::forgotPassword(const QString &email, Completion<BaseModel<AuthModel>> completion)
{
    call<BaseModel<AuthModel>>(WebService::forgot, {{QStringLiteral("email"), email}}, std::move(completion));
}

void CommonWS::updateProfile(const QString &name, const QString &deviceName, const QString &password,
                             Completion<BaseModel<UpdateProfile>> completion, NoAnswer noAnswer)
{
    call<BaseModel<UpdateProfile>>(WebService::updateProfile,
                                   {{QStringLiteral("name"), name},
                                    {QStringLiteral("device_name"), deviceName},
                                    {QStringLiteral("password"), password}},
                                   std::move(completion), storeUser<UpdateProfile>, anyFailure(std::move(noAnswer)));
}

void CommonWS::setupPin(qint64 hours, const QString &pin, Completion<BaseModel<SetupPinModel>> completion,
                        NoAnswer noAnswer)
{
    call<BaseModel<SetupPinModel>>(WebService::setupPin,
                                   {{QStringLiteral("time"), QString::number(hours)}, {QStringLiteral("pin"), pin}},
                                   std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::checkPin(qint64 attempt, const QString &pin, Completion<BaseModel<CheckPinModel>> completion,
                        NoAnswer noAnswer)
{
    call<BaseModel<CheckPinModel>>(WebService::checkPin,
                                   {{QStringLiteral("user_id"), storedUserID()},
                                    {QStringLiteral("attempt"), QString::number(attempt)},
                                    {QStringLiteral("pin"), pin}},
                                   std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::retrievePin(Completion<BaseModel<RetrievePinModel>> completion, NoAnswer noAnswer)
{
    call<BaseModel<RetrievePinModel>>(WebService::retrievePin, {{QStringLiteral("user_id"), storedUserID()}},
                                      std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::updatePin(const QString &oldPin, const QString &pin, Completion<BaseModel<UpdatePinModel>> completion,
                         NoAnswer noAnswer)
{
    call<BaseModel<UpdatePinModel>>(WebService::updatePin,
                                    {{QStringLiteral("old_pin"), oldPin}, {QStringLiteral("pin"), pin}},
                                    std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::removePin(Completion<DisablePinModel> completion, NoAnswer noAnswer)
{
    call<DisablePinModel>(WebService::removepin, {}, std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::getBlockWebsiteByUser(qint64 page, Completion<BaseModel<BlockWebsiteModel>> completion,
                                     NoAnswer noAnswer)
{
    call<BaseModel<BlockWebsiteModel>>(WebService::getBlockWebsiteByUser,
                                       {{QStringLiteral("user_id"), storedUserID()}}, std::move(completion), {},
                                       anyFailure(std::move(noAnswer)), page);
}

void CommonWS::blockWebsite(const QString &domain, Completion<BaseModel<BlockData>> completion, NoAnswer noAnswer)
{
    call<BaseModel<BlockData>>(WebService::blockWebsite,
                               {{QStringLiteral("user_id"), storedUserID()}, {QStringLiteral("domain"), domain}},
                               std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::unblockWebsite(qint64 domainID, Completion<UnblockWebsiteModel> completion, NoAnswer noAnswer)
{
    call<UnblockWebsiteModel>(WebService::unblockWebsite,
                              {{QStringLiteral("domain_id"), QString::number(domainID)}}, std::move(completion), {},
                              anyFailure(std::move(noAnswer)));
}

void CommonWS::syncURL(Completion<BaseModel<SyncURLModel>> completion, NoAnswer noAnswer,
                       std::optional<bool> protection)
{
    PreferencesStore &prefs = PreferencesStore::shared();
    const bool on = protection.value_or(prefs.boolForKey(PrefKey::dnsLastStatus));
    ApiManager::Parameters parameters{{QStringLiteral("platform_unique_id"), platformUUID()},
                                      {QStringLiteral("protection"), on ? QStringLiteral("1") : QStringLiteral("0")}};
    // The device's key to the filtering DNS goes back to be confirmed; none asks for one.
    if (signedIn())
        parameters.insert(QStringLiteral("dns_key"), prefs.stringForKey(PrefKey::dnsKey).value_or(QString()));
    call<BaseModel<SyncURLModel>>(
        WebService::syncURL, parameters, std::move(completion),
        [this, request = m_focusState ? m_focusState->requestSent() : 0](const BaseModel<SyncURLModel> &record) {
            if (!record.status) {
                Log::line(QStringLiteral("error in syncing stauts false"));
            } else {
                const bool pinSet = record.data && record.data->pinProtection;
                PreferencesStore::shared().setBool(PrefKey::isPinSeted, pinSet);
            }
            if (m_focusState)
                m_focusState->takeSync(record, request);
            if (record.data)
                takeEncryptedDns(*record.data);
            if (m_syncObserver)
                m_syncObserver(record);
        },
        anyFailure(std::move(noAnswer)));
}

void CommonWS::takeEncryptedDns(const SyncURLModel &status)
{
    // Without a name in the answer (signed out, a server without encrypted DNS) the device's
    // look-ups go plain again: a name the server no longer knows would get no answers at all.
    PreferencesStore &prefs = PreferencesStore::shared();
    QString key;
    if (status.dohURL)
        key = QUrl(*status.dohURL).path().section(QLatin1Char('/'), -1);
    if (status.dotHost) {
        key = status.dotHost->section(QLatin1Char('.'), 0, 0);
        prefs.setString(PrefKey::dotHost, *status.dotHost);
    } else {
        prefs.remove({PrefKey::dotHost});
    }
    if (!key.isEmpty())
        prefs.setString(PrefKey::dnsKey, key);
    else
        prefs.remove({PrefKey::dnsKey});
    prefs.setBool(PrefKey::sharedAddress, status.sharedAddress.value_or(false));
}

void CommonWS::blockApp(const QString &appID, const QString &name, Completion<BaseModel<BlockedAppList>> completion,
                        NoAnswer noAnswer)
{
    call<BaseModel<BlockedAppList>>(WebService::blockApp,
                                    {{QStringLiteral("app_id"), appID}, {QStringLiteral("name"), name}},
                                    std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::unblockApp(const QString &appID, Completion<BaseModel<BlockedAppList>> completion, NoAnswer noAnswer)
{
    call<BaseModel<BlockedAppList>>(WebService::unblockApp, {{QStringLiteral("app_id"), appID}},
                                    std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::getCategories(Completion<BaseModel<CategoryList>> completion, NoAnswer noAnswer)
{
    call<BaseModel<CategoryList>>(WebService::getCategories, {}, std::move(completion), {},
                                  anyFailure(std::move(noAnswer)));
}

void CommonWS::blockCategory(qint64 categoryID, Completion<BaseModel<BlockCategoryModel>> completion, NoAnswer noAnswer)
{
    call<BaseModel<BlockCategoryModel>>(
        WebService::blockCategory, {{QStringLiteral("category_id"), QString::number(categoryID)}},
        std::move(completion),
        [](const BaseModel<BlockCategoryModel> &record) {
            Log::line(QStringLiteral("Block Category Response - ") + LogRedaction::describeRecord(record));
        },
        anyFailure(std::move(noAnswer)));
}

void CommonWS::unblockCategory(qint64 categoryID, Completion<BaseModel<UnblockCategoryModel>> completion,
                               NoAnswer noAnswer)
{
    call<BaseModel<UnblockCategoryModel>>(WebService::unblockCategory,
                                          {{QStringLiteral("category_id"), QString::number(categoryID)}},
                                          std::move(completion), {}, anyFailure(std::move(noAnswer)));
}

void CommonWS::focusStart(qint64 minutes, const QStringList &websites, const QList<qint64> &categories,
                          Completion<BaseModel<FocusStatusModel>> completion, NoAnswer noAnswer)
{
    call<BaseModel<FocusStatusModel>>(WebService::focusStart,
                                      {{QStringLiteral("minutes"), QString::number(minutes)},
                                       {QStringLiteral("websites"), websites.join(QLatin1Char(','))},
                                       {QStringLiteral("categories"), joined(categories)},
                                       {QStringLiteral("platform_unique_id"), platformUUID()}},
                                      std::move(completion), focusFeed(), anyFailure(std::move(noAnswer)));
}

void CommonWS::focusStatus(Completion<BaseModel<FocusStatusModel>> completion, NoAnswer noAnswer)
{
    call<BaseModel<FocusStatusModel>>(WebService::focusStatus, {}, std::move(completion), focusFeed(),
                                      anyFailure(std::move(noAnswer)));
}

void CommonWS::saveSchedule(const ScheduleModel &window, Completion<BaseModel<FocusStatusModel>> completion,
                            NoAnswer noAnswer)
{
    call<BaseModel<FocusStatusModel>>(WebService::saveSchedule,
                                      {{QStringLiteral("id"), QString::number(window.id)},
                                       {QStringLiteral("name"), window.name},
                                       {QStringLiteral("days"), joined(window.days)},
                                       {QStringLiteral("start"), window.start},
                                       {QStringLiteral("end"), window.end},
                                       {QStringLiteral("time_zone"), window.timeZone},
                                       {QStringLiteral("websites"), window.websites.join(QLatin1Char(','))},
                                       {QStringLiteral("categories"), joined(window.categories)},
                                       {QStringLiteral("locks"), window.locks ? QStringLiteral("1") : QStringLiteral("0")}},
                                      std::move(completion), focusFeed(), anyFailure(std::move(noAnswer)));
}

void CommonWS::deleteSchedule(qint64 id, Completion<BaseModel<FocusStatusModel>> completion, NoAnswer noAnswer)
{
    call<BaseModel<FocusStatusModel>>(WebService::deleteSchedule, {{QStringLiteral("id"), QString::number(id)}},
                                      std::move(completion), focusFeed(), anyFailure(std::move(noAnswer)));
}

void CommonWS::setFocusState(FocusState *state)
{
    m_focusState = state;
}

FocusState *CommonWS::focusState() const
{
    return m_focusState;
}

std::function<void(const BaseModel<FocusStatusModel> &)> CommonWS::focusFeed()
{
    // Numbered now: the request goes out right after.
    return [this, request = m_focusState ? m_focusState->requestSent() : 0](const BaseModel<FocusStatusModel> &record) {
        if (m_focusState)
            m_focusState->takeStatus(record, request);
    };
}

void CommonWS::signOut(std::function<void()> afterSignedOut)
{
    logout([afterSignedOut = std::move(afterSignedOut)](const LogoutModel &answer, bool ok) {
        if (ok && answer.status && afterSignedOut)
            afterSignedOut();
    });
}

void CommonWS::logout(Completion<LogoutModel> completion, Unanswered unanswered)
{
    call<LogoutModel>(
        WebService::logout, {}, std::move(completion),
        [](const LogoutModel &record) {
            Log::line(QStringLiteral("Logout Response - ") + LogRedaction::describeRecord(record));
            // The device's DNS key ended with the session: look-ups go plain until the next one.
            if (record.status)
                PreferencesStore::shared().remove({PrefKey::dnsKey, PrefKey::dotHost});
        },
        [unanswered = std::move(unanswered)](const ApiError *error) {
            if (error && unanswered)
                unanswered(*error);
        });
}
