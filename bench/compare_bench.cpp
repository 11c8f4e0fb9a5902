// The compare window on two large documents: from the start until both outlines are painted, then expanding
// the largest branch, and the next difference.
//   build/bench/compare_bench /tmp/1m.plist /tmp/1m-edited.plist   (see diff_bench for the edited copy)
#include <QApplication>
#include <QTreeView>
#include <cstdio>

#include "PaintWatcher.h"
#include "window/MyCompareWindow.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s A B\n", argv[0]);
        return 2;
    }
    bench::PaintWatcher painted;
    QElapsedTimer t;
    t.start();
    window::MyCompareWindow w(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), {});
    for (bool right : {false, true})
        w.outline(right)->viewport()->installEventFilter(&painted);
    w.show();
    while (painted.paints < 2)
        QApplication::processEvents();
    std::printf("open until painted: %.0f ms, %zu differences\n", bench::msSince(t), w.differenceCount());
    auto step = [&](const char* what, auto action) {
        const int before = painted.paints;
        t.restart();
        action();
        while (painted.paints < before + 2 && t.elapsed() < 5000)
            QApplication::processEvents();
        std::printf("%s: %.0f ms\n", what, bench::msSince(t));
    };
    QTreeView* left = w.outline(false);
    step("expand the largest branch",
         [&] { left->expand(left->model()->index(0, 0, left->model()->index(0, 0))); });
    step("next difference", [&] { w.nextDifference(); });
    step("scroll to the end", [&] { left->scrollToBottom(); });
    return 0;
}
