// How quickly the value editors open and scroll on large values: a 10 MB String (lines of 80 characters with
// LF, CRLF and CR line ends) and a 100 MB Data value, from making the editor to its first paint, then paging
// down and jumping to the end, each until painted, and giving the exact value back. A long String shows its
// first lines at once and takes in the rest between events: "all in" is when the whole text is there, and the
// paging starts after it. Wall-clock figures,
// printed as a table; measures and asserts nothing about time.
//
//   build/bench/editor_bench [repeats]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (it also runs under Xvfb with QT_QPA_PLATFORM=xcb).
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "views/ValueEditors/DataEditor.h"
#include "views/ValueEditors/ExactTextEdit.h"
#include "views/ValueEditors/HexView.h"
#include "views/ValueEditors/StringEditor.h"

#include "PaintWatcher.h"

namespace {

using bench::median;
using bench::PaintWatcher;
void waitForPaint(const PaintWatcher& watcher, int before) {
    QElapsedTimer t;
    t.start();
    while (watcher.paints == before && t.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents);
}

// Opens the editor, then times its steps; one row per step, the median over the repeats.
template <class Editor, class Value>
void measure(const char* name, const Value& value, QAbstractScrollArea* (*view)(Editor&), int repeats) {
    std::vector<double> open, loaded, page, end, out;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer t;
        t.start();
        Editor editor(value, nullptr);
        PaintWatcher watcher;
        QAbstractScrollArea* area = view(editor);
        area->viewport()->installEventFilter(&watcher);
        editor.show();
        waitForPaint(watcher, 0);
        open.push_back(double(t.nsecsElapsed()) / 1e6);
        if constexpr (std::is_same_v<Editor, views::StringEditor>)
            while (editor.textEdit()->isLoading())
                QApplication::processEvents(QEventLoop::AllEvents);
        loaded.push_back(double(t.nsecsElapsed()) / 1e6);
        QApplication::processEvents(QEventLoop::AllEvents);
        area->setFocus();
        for (int i = 0; i < 20; ++i) {
            const int before = watcher.paints;
            t.restart();
            QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
            QApplication::sendEvent(area, &key);
            waitForPaint(watcher, before);
            page.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        const int before = watcher.paints;
        t.restart();
        QKeyEvent key(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(area, &key);
        waitForPaint(watcher, before);
        end.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        const bool ok = bool(editor.value());
        out.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!ok) std::printf("%s: no value\n", name);
    }
    std::printf("| %-24s | %9.1f | %9.1f | %9.2f | %9.1f | %9.1f |\n", name, median(open), median(loaded),
                median(page), median(end), median(out));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    std::string text;
    static const char* const ends[] = {"\n", "\r\n", "\r"};
    for (int line = 0; text.size() < 10'000'000; ++line)
        text += std::string(78, char('a' + line % 26)) + ends[line % 3];
    std::vector<uint8_t> bytes(100'000'000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 2654435761u >> 24);

    std::printf(
        "| value                    | open (ms) | all in (ms) | page (ms) |  end (ms) |  out (ms) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    measure<views::StringEditor>(
        "String, 10 MB in lines", text,
        +[](views::StringEditor& e) -> QAbstractScrollArea* { return e.textEdit(); }, repeats);
    measure<views::DataEditor>(
        "Data, 100 MB", bytes, +[](views::DataEditor& e) -> QAbstractScrollArea* { return e.hexView(); },
        repeats);
    return 0;
}
