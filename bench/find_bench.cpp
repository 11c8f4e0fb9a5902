// The find bar on a document of about a million entries, through a real window: from a key press in the
// search field to the first match selected and painted, and to the full count; Replace All of 100,000 keys
// and its undo, each until painted; Expand All and Collapse All of the 200,000-child dictionary and of the
// 50,000 records, and "Show matching rows only" turned on and off. Wall-clock figures, printed as a table;
// asserts nothing about time.
//
//   python3 bench/make-1m-plist.py /tmp/1m.plist
//   build/bench/find_bench /tmp/1m.plist [repeats]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "views/MyOutlineView.h"
#include "window/MyFindBar.h"
#include "window/MyNavigator.h"
#include "window/MyWindowController.h"

#include "PaintWatcher.h"

namespace {

using window::MyFindBar;
using window::MyWindowController;

using bench::median;
using bench::msSince;
using bench::PaintWatcher;
using bench::until;

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.plist [repeats]\n", argv[0]);
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    MyWindowController w(QString::fromLocal8Bit(argv[1]));
    if (!w.windowDidLoad()) return 1;
    PaintWatcher watcher;
    w.outlineView()->viewport()->installEventFilter(&watcher);
    w.show();
    w.activateWindow();
    MyFindBar* bar = w.findBar();
    bar->showFind(false);
    QApplication::processEvents();
    std::printf("find_bench: %s, median of %d\n", argv[1], repeats);

    // The last key of the pattern is the key press measured; the selection stays at the top.
    for (const char* pattern : {"item 4", "item 49999", "zzz"}) {
        std::vector<double> first, painted, count;
        for (int i = 0; i < repeats; ++i) {
            bar->findField()->setText(QString::fromLatin1(pattern).chopped(1));
            until(QElapsedTimer(), [&] { return bar->isSearchDone(); });
            w.outlineViewSelectItem(w.rootEntry().get());
            QApplication::processEvents();
            QElapsedTimer t;
            t.start();
            const int before = watcher.paints;
            bar->findField()->insert(QString::fromLatin1(pattern).right(1));
            first.push_back(until(t, [&] { return bar->currentMatch() || bar->isSearchDone(); }));
            painted.push_back(until(t, [&] { return !bar->currentMatch() || watcher.paints > before; }));
            count.push_back(until(t, [&] { return bar->isSearchDone(); }));
        }
        std::printf("  \"%s\" (%s): first match %.1f ms, painted %.1f ms, full count %.1f ms\n", pattern,
                    qPrintable(bar->countText()), median(first), median(painted), median(count));
    }

    // Expand All and Collapse All of a branch, each until painted (the expansion the confirmation leads to).
    for (const char* key : {"flat", "items"}) {
        const model::EntryRef branch = w.rootEntry()->child()[std::string_view(key) == "flat" ? 0 : 1];
        std::vector<double> expanded, collapsed;
        int shown = 0;
        for (int i = 0; i < repeats; ++i) {
            w.outlineViewSelectItem(branch.get());
            QApplication::processEvents();
            QElapsedTimer t;
            t.start();
            int before = watcher.paints;
            w.outlineView()->expandBranch(w.navigator()->selectedBranch());
            expanded.push_back(until(t, [&] { return watcher.paints > before; }));
            shown = w.outlineView()->totalRows();
            t.restart();
            before = watcher.paints;
            w.navigator()->collapseAll();
            collapsed.push_back(until(t, [&] { return watcher.paints > before; }));
        }
        std::printf("  Expand All of \"%s\" (%d rows shown): %.1f ms to paint; Collapse All %.1f ms\n", key,
                    shown, median(expanded), median(collapsed));
    }

    // "Show matching rows only" on and off, each until painted, the search already counted.
    w.outlineView()->collapseAll();
    w.outlineView()->expand(w.entryModel()->indexForEntry(w.rootEntry().get()));
    for (const char* pattern : {"item 4", "key1"}) {
        bar->findField()->setText(QString::fromLatin1(pattern));
        until(QElapsedTimer(), [&] { return bar->isSearchDone(); });
        std::vector<double> on, off;
        int shown = 0;
        for (int i = 0; i < repeats; ++i) {
            QApplication::processEvents();
            QElapsedTimer t;
            t.start();
            int before = watcher.paints;
            bar->matchingRowsOnlyBox()->setChecked(true);
            on.push_back(until(t, [&] { return watcher.paints > before; }));
            shown = w.outlineView()->totalRows();
            t.restart();
            before = watcher.paints;
            bar->matchingRowsOnlyBox()->setChecked(false);
            off.push_back(until(t, [&] { return watcher.paints > before; }));
        }
        std::printf("  matching rows only, \"%s\" (%s, %d rows shown): on %.1f ms to paint, off %.1f ms\n",
                    pattern, qPrintable(bar->countText()), shown, median(on), median(off));
    }

    // Replace All of the 100,000 keys "key1xxxxx" of the flat dictionary, then its undo.
    bar->scopeBox()->setCurrentIndex(0);
    bar->findField()->setText(QStringLiteral("key1"));
    until(QElapsedTimer(), [&] { return bar->isSearchDone(); });
    bar->showFind(true);
    bar->replaceField()->setText(QStringLiteral("kex1"));
    QElapsedTimer t;
    t.start();
    int before = watcher.paints;
    bar->replaceAll();
    const double replaced = until(t, [&] { return watcher.paints > before; });
    std::printf("  Replace All: %s in %.1f ms to paint\n", qPrintable(bar->messageText()), replaced);
    t.restart();
    before = watcher.paints;
    w.undo();
    const double undone = until(t, [&] { return watcher.paints > before; });
    std::printf("  its undo: %.1f ms to paint\n", undone);
    return 0;
}
