// Named notifications posted and observed synchronously on the main thread, with an object and user
// information.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <vector>

namespace platform {

struct Notification {
    QString name;
    QObject* object = nullptr;
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // Observes name from any sender (sender null) or from one sender. The observation ends when the observer
    // is destroyed or removeObserver is called, so a handler never runs on an object that is gone.
    void addObserver(QObject* observer, const QString& name, Handler handler, QObject* sender = nullptr);
    void removeObserver(QObject* observer);
    void removeObserver(QObject* observer, const QString& name);

    // Delivers to every current observer of name, in the order they registered, before it returns. Observers
    // added or removed by a handler take effect for later posts; a removed one is not called again.
    void post(const QString& name, QObject* object = nullptr, const QVariantMap& userInfo = {});

private:
    struct Observation {
        QPointer<QObject> observer;
        QString name;
        QPointer<QObject> sender;
        bool anySender;
        Handler handler;
        quint64 id;
    };
    std::vector<Observation> observations_;
    quint64 nextId_ = 1;
};

} // namespace platform
