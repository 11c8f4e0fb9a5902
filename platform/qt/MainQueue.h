// Work queued on the main thread after a delay, bound to an object's lifetime.
#pragma once

#include <QObject>
#include <QTimer>

#include <utility>

namespace platform {

// Runs work after the delay on the main thread, unless context has been destroyed by then.
template <typename F> void dispatchAfter(QObject* context, int milliseconds, F&& work) {
    QTimer::singleShot(milliseconds, context, std::forward<F>(work));
}

} // namespace platform
