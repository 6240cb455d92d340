#pragma once

#include <QDateTime>
#include <QString>

// Outgoing e-mail as files: one RFC 5322 message per file in the outbox folder, for a mail
// transfer agent (or a person running the server locally) to pick up. The files hold reset
// links and PINs, so only the server's user can read them.
class Outbox
{
public:
    Outbox(const QString &folder, const QString &from);

    QString folder() const { return m_folder; }
    // The file written, or an empty string when it could not be written (the reason is logged).
    QString send(const QString &to, const QString &subject, const QString &body, const QDateTime &at);

private:
    QString m_folder;
    QString m_from;
};
