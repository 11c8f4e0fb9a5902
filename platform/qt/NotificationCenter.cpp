#include "NotificationCenter.h"

#include <algorithm>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(QObject* observer, const QString& name, Handler handler,
                                     QObject* sender) {
    observations_.push_back({observer, name, sender, sender == nullptr, std::move(handler), nextId_++});
}

void NotificationCenter::removeObserver(QObject* observer) {
    std::erase_if(observations_,
                  [&](const Observation& o) { return o.observer == observer || o.observer.isNull(); });
}

void NotificationCenter::removeObserver(QObject* observer, const QString& name) {
    std::erase_if(observations_, [&](const Observation& o) {
        return (o.observer == observer && o.name == name) || o.observer.isNull();
    });
}

void NotificationCenter::post(const QString& name, QObject* object, const QVariantMap& userInfo) {
    const Notification n{name, object, userInfo};
    std::vector<quint64> ids;
    for (const Observation& o : observations_)
        // A sender that is gone matches nothing (its pointer reads as null, like a post without an object).
        if (o.name == name && !o.observer.isNull() &&
            (o.anySender || (!o.sender.isNull() && o.sender == object)))
            ids.push_back(o.id);
    for (quint64 id : ids) {
        // Look the observation up again: an earlier handler may have removed it or destroyed its observer.
        auto it = std::find_if(observations_.begin(), observations_.end(),
                               [&](const Observation& o) { return o.id == id; });
        if (it == observations_.end() || it->observer.isNull()) continue;
        Handler handler = it->handler; // the vector may change while the handler runs
        handler(n);
    }
    std::erase_if(observations_, [](const Observation& o) { return o.observer.isNull(); });
}

} // namespace platform
