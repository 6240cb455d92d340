#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

// Process-wide named notifications. Observers belong to an owner object: removing the
// owner (or destroying it) removes all of its observers. Delivery is synchronous, on the
// posting thread, in the order the observers were added.
class NotificationCenter
{
public:
    using Handler = std::function<void(const QVariant &object)>;

    static NotificationCenter &defaultCenter();

    void addObserver(QObject *owner, const QString &name, Handler handler);
    void removeObserver(QObject *owner);
    void post(const QString &name, const QVariant &object = {});
    int observerCount(const QString &name) const;
    // Drops every observer (tests start each case with an empty centre).
    void reset();

private:
    struct Observer {
        QPointer<QObject> owner;
        QString name;
        Handler handler;
        quint64 serial;
    };
    std::vector<Observer> m_observers;
    quint64 m_nextSerial = 1;
};
