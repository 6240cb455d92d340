#pragma once

#include <QString>

// Every text the server shows a person, in English and French. The app shows "msg" as it
// comes, so the request's language ("X-localization") picks the text.
enum class Msg {
    unauthenticated,
    notFound,
    methodNotAllowed,
    serverError,
    requestTooLarge,
    malformedRequest,
    requestTimedOut,
    invalidEmail,
    passwordTooShort,
    passwordTooLong,
    invalidName,
    invalidDeviceName,
    emailTaken,
    signupThroughSocial,
    registered,
    signedIn,
    badCredentials,
    tooManyLogins,   // %1: minutes
    tooManyRequests, // %1: minutes
    busy,
    unknownSignInMethod,
    socialUnavailable, // %1: provider
    socialRejected,    // %1: provider
    socialEmailTaken,
    passwordNotSet,
    resetLinkSent,
    profileUpdated,
    pinFormat,
    pinWaitingTime,
    pinAlreadySet,
    pinSet,
    noPin,
    wrongPin,
    pinBlocked,
    pinMatched,
    pinUpdated,
    pinRemoved,
    pinRequired,
    retrievalScheduled, // %1: date and time
    retrievalPending,   // %1: date and time
    retrievalForever,
    userMismatch,
    blacklist,
    websiteBlocked,
    websiteInvalid,
    websiteDuplicate,
    websiteNotFound,
    websiteUnblocked,
    categories,
    categoryNotFound,
    categoryBlocked,
    categoryNotBlocked,
    categoryUnblocked,
    synced,
    nothingToSync,
    loggedOut,
    appInvalid,
    appBlocked,
    appNotBlocked,
    appUnblocked,
    focusLocked,  // %1: the end ("14:30"), %2: the time left ("25 min")
    focusMinutes,
    focusRunning, // %1: the end
    focusStarted,
    focusStatus,
    scheduleLocked, // %1: the window's name, %2: the end, %3: the time left
    scheduleSaved,
    scheduleDeleted,
    scheduleNotFound,
    scheduleName,
    scheduleDays,
    scheduleTimes,
    scheduleTimeZone,
    scheduleLimit,
    // The password reset page
    resetTitle,
    resetNewPassword,
    resetConfirmPassword,
    resetSave,
    resetLinkInvalid,
    resetMismatch,
    resetDone,
    // E-mails
    resetMailSubject,
    resetMailBody, // %1: link, %2: minutes the link stays valid
    pinMailSubject,
    pinMailBody, // %1: the PIN
};

enum class Language { english, french };

// "fr" (any case, with or without a region) is French; anything else English.
Language languageFrom(const QString &header);
QString text(Msg message, Language language);
