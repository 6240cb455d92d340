#include "NotificationCenter.h"

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter()
{
    // Never destroyed: other process-wide objects remove their observers in their own
    // destructors, whatever order the exit handlers run them in.
    static auto *center = new NotificationCenter;
    return *center;
}

void NotificationCenter::addObserver(QObject *owner, const QString &name, Handler handler)
{
    const bool known = std::any_of(m_observers.begin(), m_observers.end(),
                                   [owner](const Observer &o) { return o.owner == owner; });
    if (!known) {
        QObject::connect(owner, &QObject::destroyed, owner, [this, owner] { removeObserver(owner); });
    }
    m_observers.push_back({owner, name, std::move(handler), m_nextSerial++});
}

void NotificationCenter::removeObserver(QObject *owner)
{
    std::erase_if(m_observers, [owner](const Observer &o) { return o.owner.isNull() || o.owner == owner; });
}

void NotificationCenter::post(const QString &name, const QVariant &object)
{
    // Handlers may add or remove observers; deliver to a snapshot and skip those removed meanwhile.
    std::vector<std::pair<quint64, Handler>> targets;
    for (const Observer &o : m_observers) {
        if (o.name == name && !o.owner.isNull())
            targets.emplace_back(o.serial, o.handler);
    }
    for (const auto &[serial, handler] : targets) {
        const bool stillThere = std::any_of(m_observers.begin(), m_observers.end(), [serial](const Observer &o) {
            return o.serial == serial && !o.owner.isNull();
        });
        if (stillThere)
            handler(object);
    }
}

int NotificationCenter::observerCount(const QString &name) const
{
    return int(std::count_if(m_observers.begin(), m_observers.end(),
                             [&name](const Observer &o) { return o.name == name && !o.owner.isNull(); }));
}

void NotificationCenter::reset()
{
    m_observers.clear();
}
