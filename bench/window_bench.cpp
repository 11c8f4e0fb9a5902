// How fluid a document window stays on a very large document: opening to the first paint, expanding and
// collapsing a dictionary of 200,000 children, selecting it (a family of 200,001 rows), scrolling, moving the
// selection with the Down arrow and reloading after an edit, each through a real MyWindowController with its
// outline painted. Wall-clock figures, printed as a table; measures and asserts nothing about time.
//
//   python3 bench/make-1m-plist.py /tmp/1m.plist
//   build/bench/window_bench /tmp/1m.plist [repeats]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (it also runs under Xvfb with QT_QPA_PLATFORM=xcb).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/RecoveryStore.h"
#include "platform/qt/UndoManager.h"
#include "views/MyOutlineView.h"
#include "window/MyLoadProgress.h"
#include "window/MyWindowController.h"

#include "PaintWatcher.h"

namespace {

using window::MyWindowController;

using bench::msSince;
using bench::PaintWatcher;

// Runs the event loop until the viewport has painted once more than `before` (the paint itself is done when
// this returns); false after the time limit.
bool waitForPaint(const PaintWatcher& watcher, int before, int limitMs = 120000) {
    QElapsedTimer t;
    t.start();
    while (watcher.paints == before) {
        QApplication::processEvents(QEventLoop::AllEvents);
        if (t.elapsed() > limitMs) return false;
    }
    return true;
}

// Lets pending events, zero-time timers and short delayed refreshes run, outside any measurement.
void drain(int ms = 0) {
    QElapsedTimer t;
    t.start();
    do
        QApplication::processEvents(QEventLoop::AllEvents);
    while (t.elapsed() < ms);
    QApplication::processEvents(QEventLoop::AllEvents);
}

struct Stats {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double median() const {
        if (v.empty()) return 0;
        std::vector<double> s = v;
        std::sort(s.begin(), s.end());
        return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
    }
    double mean() const {
        double sum = 0;
        for (double x : v)
            sum += x;
        return v.empty() ? 0 : sum / double(v.size());
    }
    double max() const { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
    double min() const { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
};

void header(const char* title) {
    std::printf("\n%s\n", title);
}
void row(const char* what, const char* stat, double ms, const std::string& note = {}) {
    std::printf("  %-46s %-12s %10.2f ms  %s\n", what, stat, ms, note.c_str());
}
void rowStats(const char* what, const Stats& s, const std::string& note = {}) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "n=%zu min %.2f max %.2f", s.v.size(), s.min(), s.max());
    row(what, "median", s.median(), note.empty() ? buf : note + "; " + buf);
}

long peakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.plist [repeats]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::printf("window_bench: %s, platform %s, %d repeats where cheap\n", argv[1],
                qPrintable(QGuiApplication::platformName()), repeats);

    // 1. Open to first paint; every window but the last is closed again.
    header("1. open to first painted rows (construct, loadDocument, show, load, first paint of the rows)");
    Stats construct, load, show, paint, total, destroy, gaps;
    MyWindowController* w = nullptr;
    PaintWatcher watcher;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer t;
        t.start();
        w = new MyWindowController(path);
        const double t1 = msSince(t);
        // Loaded as the application loads: a large file on a worker while the event loop runs on. The
        // longest gap between two turns of the loop is recorded by a 5 ms timer.
        QElapsedTimer gapClock;
        gapClock.start();
        qint64 lastTick = 0, longestGap = 0;
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, gapClock.elapsed() - lastTick);
            lastTick = gapClock.elapsed();
        });
        bool loaded = false, ok = false;
        int before = 0;
        qint64 gapBeforeHandOver = 0;
        QObject::connect(w, &MyWindowController::documentLoaded, w, [&](bool result) {
            loaded = true;
            ok = result;
            before = watcher.paints; // the rows paint after this
            // The hand-over (the outline taking the root) runs before this call; the load alone before it.
            gapBeforeHandOver = std::max(longestGap, lastTick ? gapClock.elapsed() - lastTick : 0);
        });
        ticks.start(5);
        w->loadDocument();
        w->outlineView()->viewport()->installEventFilter(&watcher);
        w->show();
        w->activateWindow();
        bool barShown = false;
        while (!loaded) {
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
            barShown = barShown || (w->loadProgress() && w->loadProgress()->isVisible());
        }
        if (!ok) {
            std::fprintf(stderr, "could not open %s\n", argv[1]);
            return 1;
        }
        const double t2 = msSince(t);
        const double t3 = msSince(t);
        if (!waitForPaint(watcher, before)) std::fprintf(stderr, "no paint after opening\n");
        ticks.stop();
        gaps.add(double(longestGap));
        std::printf(
            "  load %d: progress bar %s, longest event-loop gap %lld ms (up to and with the hand-over "
            "%lld ms)\n",
            i + 1, barShown ? "shown" : "not shown", longestGap, gapBeforeHandOver);
        const double t4 = msSince(t);
        construct.add(t1);
        load.add(t2 - t1);
        (void)show;
        paint.add(t4 - t3);
        total.add(t4);
        drain(50);
        if (i + 1 < repeats) {
            QElapsedTimer d;
            d.start();
            delete w;
            destroy.add(msSince(d));
            drain();
        }
    }
    rowStats("open to first paint", total);
    rowStats("  construct MyWindowController", construct);
    rowStats("  load on the worker, until handed over", load);
    rowStats("longest event-loop gap during the load", gaps);
    rowStats("  events until first paint", paint);
    if (!destroy.v.empty()) rowStats("close (delete a window)", destroy);
    std::printf("  window active: %s; peak RSS after opening %.1f MiB\n",
                w->outlineView()->isActive() ? "yes" : "no", peakRssKiB() / 1024.0);

    views::MyOutlineView* ov = w->outlineView();
    views::EntryTreeModel* model = w->entryModel();
    QWidget* viewport = ov->viewport();

    // The dictionary of the root with the most children.
    model::EntryRef dict;
    for (const model::EntryRef& c : w->rootEntry()->child())
        if (c->type() == model::EntryType::Dictionary && (!dict || c->childCount() > dict->childCount()))
            dict = c;
    if (!dict) {
        std::fprintf(stderr, "the root holds no dictionary\n");
        return 1;
    }
    const QModelIndex dictIndex = model->indexForEntry(dict.get());
    std::printf("  dictionary \"%s\": %zu children\n", std::string(dict->key).c_str(), dict->childCount());

    // 2 and 7 (nothing selected): expand and collapse, each until the outline has painted.
    header("2. expand the dictionary (until painted)");
    Stats expandCall, expandTotal, collapseCall, collapseTotal;
    // Times one expand or collapse: the call itself and the whole until the next paint.
    auto untilPainted = [&](void (QTreeView::*action)(const QModelIndex&), Stats& call, Stats& all,
                            const char* what) {
        QElapsedTimer t;
        t.start();
        const int before = watcher.paints;
        (ov->*action)(dictIndex);
        call.add(msSince(t));
        if (!waitForPaint(watcher, before)) std::fprintf(stderr, "no paint after %s\n", what);
        all.add(msSince(t));
        drain();
    };
    auto expand = [&] { untilPainted(&QTreeView::expand, expandCall, expandTotal, "expanding"); };
    auto collapse = [&](Stats& call, Stats& all) {
        untilPainted(&QTreeView::collapse, call, all, "collapsing");
    };
    for (int i = 0; i < repeats; ++i) {
        expand();
        collapse(collapseCall, collapseTotal);
    }
    expand();
    row("expand, first", "", expandTotal.v.front());
    rowStats("expand", expandTotal);
    rowStats("  of which QTreeView::expand()", expandCall);
    std::printf("  rows shown: %d\n", ov->totalRows());

    // 3. Select the expanded dictionary: its family spans all of its rows.
    header("3. select the expanded dictionary (family of every child row)");
    {
        QElapsedTimer t;
        t.start();
        w->outlineViewSelectItem(dict.get());
        const double select = msSince(t);
        viewport->repaint();
        row("outlineViewSelectItem + repaint", "once", msSince(t),
            "select alone " + std::to_string(select) + " ms");
        drain();
    }
    Stats familyRange, familyRepaint, familyTotal;
    for (int i = 0; i < std::max(repeats, 5); ++i) {
        QElapsedTimer t;
        t.start();
        w->updateFamilyRange();
        const double t1 = msSince(t);
        viewport->repaint();
        const double t2 = msSince(t);
        familyRange.add(t1);
        familyRepaint.add(t2 - t1);
        familyTotal.add(t2);
        drain();
    }
    rowStats("updateFamilyRange + full repaint", familyTotal);
    rowStats("  updateFamilyRange", familyRange);
    rowStats("  repaint", familyRepaint);
    std::printf("  family range: row %zu, %zu rows\n", w->familyRange().location, w->familyRange().length);

    // 4. Scroll through the whole outline in 200 steps, each painted, with the dictionary selected.
    header("4. scroll: 200 steps over the whole range, each repainted");
    {
        QScrollBar* bar = ov->verticalScrollBar();
        const long long maximum = bar->maximum();
        Stats step, stepPaint;
        const int paintsBefore = watcher.paints;
        for (int i = 0; i < 200; ++i) {
            const int value = int(maximum * (i + 1) / 200);
            QElapsedTimer t;
            t.start();
            bar->setValue(value);
            viewport->repaint();
            stepPaint.add(msSince(t));
            QApplication::processEvents(QEventLoop::AllEvents);
            step.add(msSince(t));
        }
        row("per step (setValue, repaint, pending events)", "average", step.mean());
        row("", "max", step.max());
        row("  setValue + repaint only", "average", stepPaint.mean());
        row("", "max", stepPaint.max());
        std::printf("  scroll range 0..%lld px, %d paints in 200 steps\n", maximum,
                    watcher.paints - paintsBefore);
        bar->setValue(0);
        drain();
    }

    // 5. Move the selection down 200 rows with the Down arrow, starting on the dictionary.
    header("5. Down arrow, 200 presses from the dictionary, each repainted");
    {
        w->outlineViewSelectItem(dict.get());
        drain();
        Stats press;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(ov, &down);
            viewport->repaint();
            QApplication::processEvents(QEventLoop::AllEvents);
            press.add(msSince(t));
        }
        row("per press (key, repaint, pending events)", "average", press.mean());
        row("", "max", press.max());
        model::Entry* current = w->currentItem().get();
        std::printf("  selected after 200 presses: \"%s\" (child %zu of the dictionary)\n",
                    current ? std::string(current->key).c_str() : "(none)",
                    current ? current->indexInParent() : 0);
    }

    // 6. Reload after an edit: a key rename of the selected child, then the reload the window runs.
    header("6. reload after an edit (reloadWithFocusTextField(false) + repaint)");
    {
        Stats edit, reload;
        model::Entry* child = w->currentItem().get();
        const int64_t index = int64_t(child->indexInParent());
        for (int i = 0; i < std::max(repeats, 5); ++i) {
            QElapsedTimer t;
            t.start();
            w->doCommands({editing::CommandRecord::renameKey(dict, index, "renamed " + std::to_string(i))});
            edit.add(msSince(t));
            t.restart();
            w->reloadWithFocusTextField(false);
            viewport->repaint();
            reload.add(msSince(t));
            w->windowWillReturnUndoManager()->undo();
            w->reloadWithFocusTextField(false);
            drain(50);
        }
        rowStats("rename (doCommands, with its own refresh)", edit, "a child selected");
        rowStats("reload + repaint", reload, "a child selected");

        w->outlineViewSelectItem(dict.get());
        drain();
        Stats reloadDict;
        for (int i = 0; i < std::max(repeats, 5); ++i) {
            QElapsedTimer t;
            t.start();
            w->reloadWithFocusTextField(false);
            viewport->repaint();
            reloadDict.add(msSince(t));
            drain();
        }
        rowStats("reload + repaint", reloadDict, "the dictionary selected");
    }

    // 7. Collapse the dictionary while it is selected.
    header("7. collapse the dictionary (until painted)");
    {
        Stats call, all;
        collapse(call, all);
        row("collapse, dictionary selected", "once", all.v.front(),
            "QTreeView::collapse() " + std::to_string(call.v.front()) + " ms");
        rowStats("collapse, nothing selected", collapseTotal);
        rowStats("  of which QTreeView::collapse()", collapseCall);
    }

    // 8. The recovery record of the edited document: the GUI thread notes its header and starts the worker,
    // which writes the tree; a change arriving meanwhile waits only until the worker has stopped reading.
    header("8. recovery record (GUI-thread cost per change; the record itself on the worker)");
    {
        const QString state = QDir::tempPath() + "/window_bench-state";
        qputenv("XDG_STATE_HOME", state.toUtf8());
        app::RecoveryStore store;
        Stats start, gate, worker;
        w->doCommands({editing::CommandRecord::renameKey(dict, 0, "edited")});
        for (int i = 0; i < std::max(repeats, 3); ++i) {
            store.documentChanged(w);
            QElapsedTimer t;
            t.start();
            store.writeRecord(w);
            start.add(msSince(t));
            drain(100);
            t.restart();
            store.documentWillChange(w); // as an edit 0.1 s into the record does
            gate.add(msSince(t));
            t.restart();
            store.writeRecord(w);
            store.waitForWrites();
            worker.add(msSince(t));
        }
        store.forget(w);
        store.waitForWrites();
        QDir(state).removeRecursively();
        rowStats("start a record (GUI thread)", start);
        rowStats("a change during the record: wait for the worker to stop (GUI thread)", gate);
        rowStats("record made and written (worker)", worker);
    }

    std::printf("\npeak RSS (ru_maxrss): %.1f MiB\n", peakRssKiB() / 1024.0);
    delete w;
    return 0;
}
