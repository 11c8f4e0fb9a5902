// Work queued on the main thread after a delay, bound to an object's lifetime.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <utility>

namespace platform {

// One queued piece of work: a child of its context, so it goes when the context goes, and findable there,
// so that it can be run before its time.
class DeferredCall final : public QObject {
public:
    DeferredCall(QObject* context, int milliseconds, std::function<void()> work)
        : QObject(context), work_(std::move(work)) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { fire(); });
        timer_.start(milliseconds);
    }

    // Runs the work now, once; the call then deletes itself.
    void fire() {
        if (fired_) return;
        fired_ = true;
        timer_.stop();
        auto work = std::move(work_);
        deleteLater();
        work();
    }
    bool pending() const { return !fired_; }

private:
    QTimer timer_;
    std::function<void()> work_;
    bool fired_ = false;
};

// Runs work after the delay on the main thread, unless context has been destroyed by then.
template <typename F> void dispatchAfter(QObject* context, int milliseconds, F&& work) {
    new DeferredCall(context, milliseconds, std::function<void()>(std::forward<F>(work)));
}

// Runs at once every call queued on context that has not run yet, and those they queue in turn, in the order
// they were queued (for tests, which need not wait out the delays). Returns how many ran; work that keeps
// queueing more stops after a thousand calls.
inline int runPendingDeferredWork(QObject* context) {
    int ran = 0;
    for (bool more = true; more && ran < 1000;) {
        more = false;
        for (QObject* child : context->children()) {
            auto* call = dynamic_cast<DeferredCall*>(child);
            if (call && call->pending()) {
                call->fire();
                ++ran;
                more = true;
                break; // the work may have changed the children
            }
        }
    }
    return ran;
}

} // namespace platform
