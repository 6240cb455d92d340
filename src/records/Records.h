#pragma once

#include "RecordCodec.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The server's answers. Every answer is an envelope {status, code, msg, version, data}; the
// payload type is fixed per endpoint. Field lists are in wire order and spelled as on the
// wire; std::optional marks a key that may be missing or null. Dates stay the server's strings.
//
// These types depend on Qt Core only: the reference server encodes its answers with them.

// Nested in the sign-in answer and in the account status.
struct PinProtectionModel {
    qint64 id = 0;
    qint64 userID = 0;
    qint64 pin = 0;
    qint64 time = 0; // waiting time in hours chosen when the PIN was set
    std::optional<qint64> isBlock;
    std::optional<QString> currentTime;
    std::optional<QString> createdAt;
    std::optional<QString> updatedAt;
    std::optional<QString> deletedAt;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("user_id", self.userID);
        v("pin", self.pin);
        v("time", self.time);
        v("is_block", self.isBlock);
        v("current_time", self.currentTime);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
    }
    friend bool operator==(const PinProtectionModel &, const PinProtectionModel &) = default;
};

// Payload of sign-up, sign-in and password reset. socialMedia: 0 e-mail, 1 Facebook, 2 Google.
struct AuthModel {
    qint64 id = 0;
    std::optional<QString> name;
    QString email;
    QString emailVerifiedAt;
    QString deviceName;
    std::optional<QString> macAddress;
    qint64 socialMedia = 0;
    QString profileID;
    std::optional<qint64> otp;
    qint64 roleID = 0;
    qint64 status = 0;
    QString createdAt;
    QString updatedAt;
    std::optional<QString> deletedAt;
    QString token;
    std::optional<PinProtectionModel> pinProtection;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("name", self.name);
        v("email", self.email);
        v("email_verified_at", self.emailVerifiedAt);
        v("device_name", self.deviceName);
        v("mac_address", self.macAddress);
        v("social_media", self.socialMedia);
        v("profile_id", self.profileID);
        v("otp", self.otp);
        v("role_id", self.roleID);
        v("status", self.status);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
        v("token", self.token);
        v("pin_protection", self.pinProtection);
    }
    friend bool operator==(const AuthModel &, const AuthModel &) = default;
};

// The user without token or PIN record; here otp is a string.
struct UserModel {
    qint64 id = 0;
    std::optional<QString> name;
    QString email;
    QString emailVerifiedAt;
    QString deviceName;
    std::optional<QString> macAddress;
    qint64 socialMedia = 0;
    QString profileID;
    std::optional<QString> otp;
    qint64 roleID = 0;
    qint64 status = 0;
    QString createdAt;
    QString updatedAt;
    std::optional<QString> deletedAt;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("name", self.name);
        v("email", self.email);
        v("email_verified_at", self.emailVerifiedAt);
        v("device_name", self.deviceName);
        v("mac_address", self.macAddress);
        v("social_media", self.socialMedia);
        v("profile_id", self.profileID);
        v("otp", self.otp);
        v("role_id", self.roleID);
        v("status", self.status);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
    }
    friend bool operator==(const UserModel &, const UserModel &) = default;
};

// Payload of update-profile: the same record as the nested user.
using UpdateProfile = UserModel;

// The PIN answers share their keys but not their types; the differences are the server's.
struct SetupPinModel {
    qint64 id = 0;
    qint64 userID = 0;
    QString time;
    QString pin;
    std::optional<qint64> isBlock;
    std::optional<QString> currentTime;
    std::optional<QString> createdAt;
    std::optional<QString> updatedAt;
    std::optional<QString> deletedAt;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("user_id", self.userID);
        v("time", self.time);
        v("pin", self.pin);
        v("is_block", self.isBlock);
        v("current_time", self.currentTime);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
    }
    friend bool operator==(const SetupPinModel &, const SetupPinModel &) = default;
};

struct CheckPinModel {
    qint64 id = 0;
    qint64 userID = 0;
    qint64 time = 0;
    qint64 pin = 0;
    qint64 isBlock = 0;
    std::optional<QString> currentTime;
    QString createdAt;
    QString updatedAt;
    std::optional<QString> deletedAt;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("user_id", self.userID);
        v("time", self.time);
        v("pin", self.pin);
        v("is_block", self.isBlock);
        v("current_time", self.currentTime);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
    }
    friend bool operator==(const CheckPinModel &, const CheckPinModel &) = default;
};

struct UpdatePinModel {
    qint64 id = 0;
    qint64 userID = 0;
    qint64 time = 0;
    QString pin;
    qint64 isBlock = 0;
    std::optional<QString> currentTime;
    std::optional<QString> createdAt;
    std::optional<QString> updatedAt;
    std::optional<QString> deletedAt;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("user_id", self.userID);
        v("time", self.time);
        v("pin", self.pin);
        v("is_block", self.isBlock);
        v("current_time", self.currentTime);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
    }
    friend bool operator==(const UpdatePinModel &, const UpdatePinModel &) = default;
};

struct RetrievePinModel {
    qint64 id = 0;
    qint64 userID = 0;
    qint64 time = 0;
    qint64 pin = 0;
    std::optional<qint64> isBlock;
    std::optional<QString> currentTime;
    std::optional<QString> createdAt;
    std::optional<QString> updatedAt;
    std::optional<QString> deletedAt;
    std::optional<UserModel> user;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("user_id", self.userID);
        v("time", self.time);
        v("pin", self.pin);
        v("is_block", self.isBlock);
        v("current_time", self.currentTime);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
        v("user", self.user);
    }
    friend bool operator==(const RetrievePinModel &, const RetrievePinModel &) = default;
};

// One application the account blocks: the desktop's id of the application (the key) and
// the name it was shown with when it was blocked.
struct BlockedAppModel {
    QString appID;
    QString name;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("app_id", self.appID);
        v("name", self.name);
    }
    friend bool operator==(const BlockedAppModel &, const BlockedAppModel &) = default;
};
using BlockedAppList = QList<BlockedAppModel>; // payload of blockapp and unblockapp

// A focus session: blocks the account cannot weaken until ends_at, by the server's clock.
// remaining_seconds is counted by the server when it answers, so a client with a wrong clock
// still counts down right. websites and categories are what the session adds (category ids).
struct FocusSessionModel {
    QString startedAt; // "yyyy-MM-dd HH:mm:ss" UTC
    QString endsAt;    // "yyyy-MM-dd HH:mm:ss" UTC
    qint64 remainingSeconds = 0;
    QList<QString> websites;
    QList<qint64> categories;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("started_at", self.startedAt);
        v("ends_at", self.endsAt);
        v("remaining_seconds", self.remainingSeconds);
        v("websites", self.websites);
        v("categories", self.categories);
    }
    friend bool operator==(const FocusSessionModel &, const FocusSessionModel &) = default;
};

// A weekly window. days are ISO weekdays (1 Monday .. 7 Sunday); start and end are "HH:mm"
// in time_zone (an IANA id as the app reported it); an end at or before the start runs past
// midnight into the next day. While open it adds its sites and categories, and with locks it
// refuses weakening changes like a focus session. id 0 asks the server for a new window;
// open is the server's: whether the window is open now.
struct ScheduleModel {
    qint64 id = 0;
    QString name;
    QList<qint64> days;
    QString start;
    QString end;
    QString timeZone;
    QList<QString> websites;
    QList<qint64> categories;
    bool locks = false;
    bool open = false;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("name", self.name);
        v("days", self.days);
        v("start", self.start);
        v("end", self.end);
        v("time_zone", self.timeZone);
        v("websites", self.websites);
        v("categories", self.categories);
        v("locks", self.locks);
        v("open", self.open);
    }
    friend bool operator==(const ScheduleModel &, const ScheduleModel &) = default;
};

// Payload of focus-start, focus-status, save-schedule and delete-schedule. lock_seconds is
// how long weakening changes stay refused from now (a running session or an open locking
// window, whichever ends last), 0 when they are not; next_edge_seconds is the time to the
// next start or end of a window, absent without windows.
struct FocusStatusModel {
    std::optional<FocusSessionModel> focus;
    QList<ScheduleModel> schedules;
    qint64 lockSeconds = 0;
    std::optional<qint64> nextEdgeSeconds;
    QString serverTime; // "yyyy-MM-dd HH:mm:ss" UTC

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("focus", self.focus);
        v("schedules", self.schedules);
        v("lock_seconds", self.lockSeconds);
        v("next_edge_seconds", self.nextEdgeSeconds);
        v("server_time", self.serverTime);
    }
    friend bool operator==(const FocusStatusModel &, const FocusStatusModel &) = default;
};

// Payload of the account status. A PIN record means a PIN is set for the account. The other
// optional fields come from servers that keep more of the protection on the account, and a
// server without them leaves them out:
// - whether this device is to be protected, and the account's blocked applications;
// - the running focus session, how long weakening stays refused (lock_seconds), and the time
//   to the next window edge;
// - this device's encrypted DNS: its DNS-over-TLS host name (the device key is its first
//   label) and DNS-over-HTTPS URL, and whether its address is shared with other accounts'
//   devices (plain DNS then filters with the union of their lists).
// The other account fields of the answer are not read.
struct SyncURLModel {
    std::optional<PinProtectionModel> pinProtection;
    std::optional<bool> deviceProtected;
    std::optional<BlockedAppList> blockedApps;
    std::optional<FocusSessionModel> focus;
    std::optional<qint64> lockSeconds;
    std::optional<qint64> nextEdgeSeconds;
    std::optional<QString> dotHost;
    std::optional<QString> dohURL;
    std::optional<bool> sharedAddress;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("pin_protection", self.pinProtection);
        v("device_protected", self.deviceProtected);
        v("blocked_apps", self.blockedApps);
        v("focus", self.focus);
        v("lock_seconds", self.lockSeconds);
        v("next_edge_seconds", self.nextEdgeSeconds);
        v("dot_host", self.dotHost);
        v("doh_url", self.dohURL);
        v("shared_address", self.sharedAddress);
    }
    friend bool operator==(const SyncURLModel &, const SyncURLModel &) = default;
};

// One blacklisted site; id goes back to the server as "domain_id" to unblock it.
struct BlockData {
    qint64 id = 0;
    qint64 userID = 0;
    QString domain;
    QString createdAt;
    QString updatedAt;
    std::optional<QString> deletedAt;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("user_id", self.userID);
        v("domain", self.domain);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
        v("deleted_at", self.deletedAt);
    }
    friend bool operator==(const BlockData &, const BlockData &) = default;
};

// A paging link of the blacklist page.
struct Link {
    std::optional<QString> url;
    QString label;
    bool active = false;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("url", self.url);
        v("label", self.label);
        v("active", self.active);
    }
    friend bool operator==(const Link &, const Link &) = default;
};

// One page of the blacklist. Only data is used; the list is always asked for page 1.
struct BlockWebsiteModel {
    std::optional<qint64> currentPage;
    QList<BlockData> data;
    QString firstPageURL;
    std::optional<qint64> from;
    qint64 lastPage = 0;
    QString lastPageURL;
    QList<Link> links;
    std::optional<QString> nextPageURL;
    QString path;
    qint64 perPage = 0;
    std::optional<QString> prevPageURL;
    std::optional<qint64> to;
    std::optional<qint64> total;
    std::optional<QString> userID;
    std::optional<QString> domain;
    std::optional<QString> updatedAt;
    std::optional<QString> createdAt;
    std::optional<QString> deletedAt;
    std::optional<qint64> id;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("current_page", self.currentPage);
        v("data", self.data);
        v("first_page_url", self.firstPageURL);
        v("from", self.from);
        v("last_page", self.lastPage);
        v("last_page_url", self.lastPageURL);
        v("links", self.links);
        v("next_page_url", self.nextPageURL);
        v("path", self.path);
        v("per_page", self.perPage);
        v("prev_page_url", self.prevPageURL);
        v("to", self.to);
        v("total", self.total);
        v("user_id", self.userID);
        v("domain", self.domain);
        v("updated_at", self.updatedAt);
        v("created_at", self.createdAt);
        v("deleted_at", self.deletedAt);
        v("id", self.id);
    }
    friend bool operator==(const BlockWebsiteModel &, const BlockWebsiteModel &) = default;
};

// One row of the category list; isBlockCategory is not 0 when the user blocks it.
struct CategoryBlockingModel {
    qint64 id = 0;
    QString name;
    QString alias;
    qint64 isBlockCategory = 0;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("name", self.name);
        v("alias", self.alias);
        v("is_block_category", self.isBlockCategory);
    }
    friend bool operator==(const CategoryBlockingModel &, const CategoryBlockingModel &) = default;
};

// category_id is a string here and an integer in the unblock answer, as the server sends them.
struct BlockCategoryModel {
    qint64 userID = 0;
    QString categoryID;
    QString updatedAt;
    QString createdAt;
    qint64 id = 0;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("user_id", self.userID);
        v("category_id", self.categoryID);
        v("updated_at", self.updatedAt);
        v("created_at", self.createdAt);
        v("id", self.id);
    }
    friend bool operator==(const BlockCategoryModel &, const BlockCategoryModel &) = default;
};

struct UnblockCategoryModel {
    qint64 id = 0;
    qint64 userID = 0;
    qint64 categoryID = 0;
    QString createdAt;
    QString updatedAt;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("id", self.id);
        v("user_id", self.userID);
        v("category_id", self.categoryID);
        v("created_at", self.createdAt);
        v("updated_at", self.updatedAt);
    }
    friend bool operator==(const UnblockCategoryModel &, const UnblockCategoryModel &) = default;
};

// The envelope of most answers. status false is an answer, not an error: callers show msg.
template <class T> struct BaseModel {
    bool status = false;
    qint64 code = 0;
    QString msg;
    QString version;
    std::optional<T> data;

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("status", self.status);
        v("code", self.code);
        v("msg", self.msg);
        v("version", self.version);
        v("data", self.data);
    }
    friend bool operator==(const BaseModel &, const BaseModel &) = default;
};

// The envelope of the three answers whose payload is always there.
template <class T> struct RequiredDataModel {
    bool status = false;
    qint64 code = 0;
    QString msg;
    QString version;
    T data{};

    template <class Self, class V> static void fields(Self &self, V &v)
    {
        v("status", self.status);
        v("code", self.code);
        v("msg", self.msg);
        v("version", self.version);
        v("data", self.data);
    }
    friend bool operator==(const RequiredDataModel &, const RequiredDataModel &) = default;
};

using DisablePinModel = RequiredDataModel<QStringList>; // removepin
using LogoutModel = RequiredDataModel<QStringList>;     // logout
using UnblockWebsiteModel = RequiredDataModel<qint64>;  // unblockwesitebyuser
using CategoryList = QList<CategoryBlockingModel>;      // payload of category
