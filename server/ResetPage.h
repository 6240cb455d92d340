#pragma once

#include "Messages.h"

#include <QByteArray>
#include <QString>

// The small HTML pages behind a password reset link. Every text that came from outside is
// escaped; the pages load nothing and run no script.
namespace ResetPage {

// The new-password form; error (already a message for the person) is shown above it.
QByteArray form(Language language, const QString &secret, const QString &error = {});
// A page with one message and no form (link no longer valid, password changed).
QByteArray message(Language language, const QString &text);

} // namespace ResetPage
