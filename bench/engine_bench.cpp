// Edits in a window showing a dictionary of 100,000 children: each operation, and its undo and redo, through
// the command engine, including the outline's update and a repaint; and the in-place field on a megabyte of
// text. Measures; asserts nothing about time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <time.h>

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

// The in-place field on a megabyte: opened on a String's value (0), a key (1) or 1 MB of Data shown as
// 2.25 MB of hex (2) and painted; one keystroke at its end, painted; and the unchanged text committed.
void BM_LongTextField(benchmark::State& state) {
    Fixture& f = fixture();
    const int kind = int(state.range(0));
    const std::string mega(1 << 20, 'x');
    model::EntryRef e =
        kind == 2
            ? model::Entry::make("long", model::EntryType::Data, model::Data(mega.size(), 7))
            : model::Entry::make(kind == 1 ? mega : "long", model::EntryType::String, kind == 1 ? "v" : mega);
    f.w->doCommands({editing::CommandRecord::insertItem(e, f.root(), 0)});
    f.settle();
    f.w->outlineViewSelectItem(e.get());
    views::OutlineViewDelegate* outline = f.w;
    QWidget* field = f.w->editorField();
    auto key = [&](Qt::Key k, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(field, &press);
    };
    // Wall-clock and this thread's processor time of each phase: opening, the keystroke, the commit.
    double wall[3] = {}, cpu[3] = {};
    auto timed = [&](int phase, const std::function<void()>& work) {
        auto cpuMs = [] {
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
        };
        const auto w0 = std::chrono::steady_clock::now();
        const double c0 = cpuMs();
        work();
        cpu[phase] += cpuMs() - c0;
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
        wall[phase] += ms;
        return ms;
    };
    for (auto _ : state) {
        double ms = timed(0, [&] {
            outline->outlineViewDoubleClickedItem(e.get(), kind == 1 ? 0 : 2);
            field->repaint();
        });
        key(Qt::Key_End, {});
        ms += timed(1, [&] {
            key(Qt::Key_Y, QStringLiteral("y"));
            field->repaint();
        });
        key(Qt::Key_Backspace, {});
        ms += timed(2, [&] { f.w->updateFocusedTextField(); });
        state.SetIterationTime(ms / 1e3);
    }
    const char* names[] = {"open", "keystroke", "commit"};
    for (int i = 0; i < 3; ++i) {
        state.counters[std::string(names[i]) + "_ms"] = wall[i] / double(state.iterations());
        state.counters[std::string(names[i]) + "_cpu_ms"] = cpu[i] / double(state.iterations());
    }
    f.w->windowWillReturnUndoManager()->undo();
    f.settle();
}

} // namespace

BENCHMARK(BM_Insert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Delete)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Move)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Rename)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ChangeType)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ChangeRootType)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LongTextField)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
