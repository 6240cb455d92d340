#include "Outbox.h"

#include "Crypto.h"
#include "core/Log.h"

#include <QDir>
#include <QLocale>
#include <QSaveFile>

namespace {
// Keeps a header on one line whatever the text holds.
QByteArray headerText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    bool plain = true;
    for (const char c : utf8) {
        if (uchar(c) < 0x20 || uchar(c) > 0x7e)
            plain = false;
    }
    return plain ? utf8 : "=?UTF-8?B?" + utf8.toBase64() + "?=";
}

bool oneLine(const QString &text)
{
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'));
}
} // namespace

Outbox::Outbox(const QString &folder, const QString &from)
    : m_folder(folder)
    , m_from(from)
{
}

QString Outbox::send(const QString &to, const QString &subject, const QString &body, const QDateTime &at)
{
    if (!oneLine(to) || !oneLine(m_from)) {
        Log::line(QStringLiteral("mail: refused an address that spans several lines"));
        return {};
    }
    if (!QDir().mkpath(m_folder)) {
        Log::line(QStringLiteral("mail: cannot create the outbox %1").arg(m_folder));
        return {};
    }
    const QByteArray id = Crypto::randomToken().left(12);
    const QString name = at.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + QLatin1Char('-') +
                         QString::fromLatin1(id).replace(QLatin1Char('_'), QLatin1Char('x')) + QStringLiteral(".eml");
    const QString path = QDir(m_folder).filePath(name);

    QByteArray message;
    message += "From: " + m_from.toUtf8() + "\r\n";
    message += "To: " + to.toUtf8() + "\r\n";
    message += "Subject: " + headerText(subject) + "\r\n";
    message += "Date: " + QLocale::c().toString(at.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")).toLatin1() +
               " +0000\r\n";
    message += "Message-ID: <" + id + "@nimbrel-server>\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\n";
    message += "Content-Transfer-Encoding: 8bit\r\n\r\n";
    message += body.toUtf8().replace("\r\n", "\n").replace("\n", "\r\n");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Log::line(QStringLiteral("mail: cannot write %1: %2").arg(path, file.errorString()));
        return {};
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(message);
    if (!file.commit()) {
        Log::line(QStringLiteral("mail: cannot write %1: %2").arg(path, file.errorString()));
        return {};
    }
    Log::line(QStringLiteral("mail: \"%1\" for %2 written to %3").arg(subject, to, path));
    return path;
}
