// What the window benchmarks share: a count of the paint events a widget receives, and elapsed milliseconds.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

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

} // namespace bench
