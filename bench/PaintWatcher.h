// What the window benchmarks share: a count of the paint events a widget receives, elapsed milliseconds,
// running the event loop until a condition holds, and the median of the repeats.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <vector>

namespace bench {

// Counts the paint events of the widgets it is installed on as an event filter.
class PaintWatcher : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

inline double msSince(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// Runs the event loop until done() holds; the time taken.
template <typename Done> double until(const QElapsedTimer& t, Done done) {
    while (!done())
        QApplication::processEvents(QEventLoop::AllEvents);
    return msSince(t);
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace bench
