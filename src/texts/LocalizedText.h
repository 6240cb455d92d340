#pragma once

#include <QString>
#include <functional>

// The text shown for an English key in the interface language ("CurrentLanguage", else the
// system's). A language without a table reads in English; a key missing from the table gives
// the key itself; without any readable table every text is empty.
QString localizedText(const QString &key);

// Alert titles and messages: translated at first use into the system language and kept for
// the rest of the run, whatever the interface language becomes.
QString messageText(const QString &key);

// The language the interface shows: "fr" when it reads in French, else "en" (the language of
// every page and text that has no French version).
QString interfaceLanguage();

// A text the server sent ("msg"), as shown in the interface language. The server words most
// texts in the language the app asks for; a few keep one fixed wording on the wire, because
// the app compares them, and are translated (and spelled right) only here.
QString serverText(const QString &wire);

// Stores the new interface language and tells every open screen ("UpdateChooseLanguage").
void changeLanguage(const QString &logText, const QString &code);

// The system's language code ("en", "fr", ...); empty when the system gives none.
QString systemLanguageCode();

namespace LocalizedTextTesting {
// Replaces the system language (nullptr: the real one) and forgets the cached messages.
void setSystemLanguage(std::function<QString()> language);
} // namespace LocalizedTextTesting
