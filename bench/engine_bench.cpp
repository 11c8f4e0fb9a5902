// Edits in a window showing a dictionary of 100,000 children: each operation, and its undo and redo, through
// the command engine, including the outline's update and a repaint. Measures; asserts nothing about time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <fstream>
#include <functional>

#include "editing/TypeConversion.h"
#include "platform/plist/PropertyList.h"
#include "platform/qt/UndoManager.h"
#include "views/MyOutlineView.h"
#include "window/MyWindowController.h"

namespace {

constexpr int kChildren = 100000;

struct Fixture {
    QTemporaryDir dir;
    window::MyWindowController* w = nullptr;

    Fixture() {
        plist::Value::Dictionary d;
        d.reserve(kChildren);
        for (int i = 0; i < kChildren; ++i)
            d.emplace_back("key" + std::to_string(i), plist::Value("value " + std::to_string(i)));
        std::string path = (dir.path() + "/big.plist").toStdString();
        std::ofstream(path, std::ios::binary)
            << *plist::serialize(plist::Value(std::move(d)), plist::Format::Binary);
        w = new window::MyWindowController(QString::fromStdString(path));
        w->windowDidLoad();
        w->show();
        QApplication::processEvents();
    }
    ~Fixture() { delete w; }

    model::EntryRef root() const { return w->rootEntry(); }
    model::EntryRef middle() const { return root()->child()[kChildren / 2]; }

    // The outline's update after a batch: the refresh the engine asks for, and a paint of the visible rows.
    void settle() {
        w->reloadWithFocusTextField(false);
        w->outlineView()->viewport()->repaint();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Times one operation, then its undo, then its redo, each including the outline's update; undoes again after.
void timeEdit(benchmark::State& state, const std::function<void(Fixture&)>& edit) {
    Fixture& f = fixture();
    platform::UndoManager* undo = f.w->windowWillReturnUndoManager();
    double doing = 0, undoing = 0, redoing = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        edit(f);
        f.settle();
        auto t1 = std::chrono::steady_clock::now();
        undo->undo();
        f.settle();
        auto t2 = std::chrono::steady_clock::now();
        undo->redo();
        f.settle();
        auto t3 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t3 - t0).count());
        doing += std::chrono::duration<double, std::milli>(t1 - t0).count();
        undoing += std::chrono::duration<double, std::milli>(t2 - t1).count();
        redoing += std::chrono::duration<double, std::milli>(t3 - t2).count();
        state.PauseTiming();
        undo->undo();
        f.settle();
        state.ResumeTiming();
    }
    double n = double(state.iterations());
    state.counters["do_ms"] = doing / n;
    state.counters["undo_ms"] = undoing / n;
    state.counters["redo_ms"] = redoing / n;
}

void BM_Insert(benchmark::State& s) {
    timeEdit(s, [](Fixture& f) {
        auto e = f.w->document().makeStringItemWithString("new");
        e->key = "inserted";
        f.w->doCommands({editing::CommandRecord::insertItem(e, f.root(), 0)});
    });
}
void BM_Delete(benchmark::State& s) {
    timeEdit(s, [](Fixture& f) {
        f.w->doCommands({editing::CommandRecord::removeItem(f.root(), kChildren / 2)});
    });
}
void BM_Move(benchmark::State& s) {
    timeEdit(s, [](Fixture& f) {
        f.w->doCommands({editing::CommandRecord::moveItem(f.root(), 10, kChildren - 10)});
    });
}
void BM_Rename(benchmark::State& s) {
    timeEdit(s, [](Fixture& f) {
        f.w->doCommands({editing::CommandRecord::renameKey(f.root(), kChildren / 2, "renamed")});
    });
}
void BM_ChangeType(benchmark::State& s) {
    timeEdit(s, [](Fixture& f) {
        f.w->outlineViewSelectItem(f.middle().get());
        f.w->changeCurrentItemClassTypeWithNewClassType(model::EntryType::Number);
    });
}
void BM_ChangeRootType(benchmark::State& s) {
    // Array to Dictionary and back re-keys all 100,000 children.
    timeEdit(s, [](Fixture& f) {
        f.w->outlineViewSelectItem(f.root().get());
        f.w->changeCurrentItemClassTypeWithNewClassType(model::EntryType::Array);
    });
}

} // namespace

BENCHMARK(BM_Insert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Delete)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Move)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Rename)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ChangeType)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ChangeRootType)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
