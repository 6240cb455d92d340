#pragma once

#include <QStringView>

// Every persisted key, spelled as stored. Types and absent-value rules are those of
// PreferencesStore's typed readers.
namespace PrefKey {
inline constexpr QStringView dnsLastStatus(u"dnsLastStatus");         // bool
inline constexpr QStringView blockedAppDetails(u"blockedAppDetails"); // array of strings: desktop-file ids
// Blocked here and not yet known to the account: sent at the next account status.
inline constexpr QStringView blockedAppsToUpload(u"blockedAppsToUpload"); // array of strings
// The list found here before the account kept it was handed to the account once.
inline constexpr QStringView blockedAppsOnAccount(u"blockedAppsOnAccount"); // bool
inline constexpr QStringView CurrentLanguage(u"CurrentLanguage");     // string
inline constexpr QStringView isLogin(u"isLogin");                     // bool
inline constexpr QStringView isLoggedOut(u"isLoggedOut");             // bool
inline constexpr QStringView isPinSeted(u"isPinSeted");               // bool
inline constexpr QStringView isPinEnable(u"isPinEnable");             // bool
inline constexpr QStringView loginToken(u"loginToken");               // string
inline constexpr QStringView user_id(u"user_id");                     // integer, read as decimal text
inline constexpr QStringView user_email(u"user_email");               // string
inline constexpr QStringView user_name(u"user_name");                 // string
inline constexpr QStringView user_device(u"user_device");             // string
inline constexpr QStringView pin(u"pin");                             // string
inline constexpr QStringView attemp(u"attemp");                       // integer
inline constexpr QStringView UserName(u"UserName");                   // string
// This device's key to the filtering DNS, as the account status gave it (a secret: sent back only
// to have it confirmed), the TLS server name it makes, and whether this network is shared with
// other accounts; all three as the latest account status said.
inline constexpr QStringView dnsKey(u"dnsKey");               // string
inline constexpr QStringView dotHost(u"dotHost");             // string: "<key>.<zone>"
inline constexpr QStringView sharedAddress(u"sharedAddress"); // bool
// Where the main window was last seen: its centre as "x,y" in desktop coordinates.
inline constexpr QStringView mainWindowCentre(u"mainWindowCentre"); // string
} // namespace PrefKey
