#include "FileClock.h"

#include <QFile>

FileClock::FileClock(const QString &path)
    : m_path(path)
{
}

QDateTime FileClock::now() const
{
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly)) {
        const QDateTime time = QDateTime::fromString(QString::fromLatin1(file.readAll().trimmed()), Qt::ISODateWithMs);
        if (time.isValid())
            return time.toUTC();
    }
    return m_system.now();
}

int FileClock::schedule(int ms, bool repeating, QObject *context, std::function<void()> fn)
{
    return m_system.schedule(ms, repeating, context, std::move(fn));
}

void FileClock::cancel(int id)
{
    m_system.cancel(id);
}
