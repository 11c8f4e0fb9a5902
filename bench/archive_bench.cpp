// A keyed archive of 100,000 objects in a real window: opening it in the object view against opening the same
// document in the plain view, and expanding objects in the object view, each until painted. Wall-clock
// figures, printed as a table; asserts nothing about time.
//
//   build/bench/archive_bench [repeats]
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "PaintWatcher.h"
#include "platform/plist/BinaryWriter.h"
#include "views/MyOutlineView.h"
#include "views/ObjectTreeModel.h"
#include "window/MyWindowController.h"

namespace {

using bench::median;
using bench::msSince;
using bench::PaintWatcher;
using bench::until;
using plist::Uid;
using plist::Value;
using window::MyWindowController;

// Out of line: GCC 12 takes a Value made in place from a Uid for a string that may be uninitialized.
[[gnu::noinline]] Value ref(uint64_t n) {
    return Value(Uid{n});
}

constexpr uint64_t kItems = 25000; // four objects each

// $top.root is an NSMutableArray of kItems NSMutableDictionary objects {name: String, when: NSDate, next: an
// NSArray holding the next item}, so every item is reached twice and the last one leads back to the first.
std::string archive(const char* archiver) {
    Value::Array objects{Value("$null"), Value(), Value("name"), Value("when"), Value("next")};
    const auto cls = [&](const char* name) {
        objects.push_back(Value(Value::Dictionary{
            {"$classname", Value(name)}, {"$classes", Value(Value::Array{Value(name), Value("NSObject")})}}));
        return ref(objects.size() - 1);
    };
    const Value array = cls("NSMutableArray"), dictionary = cls("NSMutableDictionary"), date = cls("NSDate"),
                single = cls("NSArray");
    const uint64_t first = objects.size();
    Value::Array items;
    for (uint64_t i = 0; i < kItems; ++i) {
        const uint64_t at = first + i * 4, next = first + (i + 1) % kItems * 4;
        items.push_back(ref(at));
        objects.push_back(Value(
            Value::Dictionary{{"$class", dictionary},
                              {"NS.keys", Value(Value::Array{ref(2), ref(3), ref(4)})},
                              {"NS.objects", Value(Value::Array{ref(at + 1), ref(at + 2), ref(at + 3)})}}));
        objects.push_back(Value("item " + std::to_string(i)));
        objects.push_back(Value(Value::Dictionary{{"$class", date}, {"NS.time", Value(double(i) * 60)}}));
        objects.push_back(
            Value(Value::Dictionary{{"$class", single}, {"NS.objects", Value(Value::Array{ref(next)})}}));
    }
    objects[1] = Value(Value::Dictionary{{"$class", array}, {"NS.objects", Value(std::move(items))}});
    return *plist::writeBinary(Value(Value::Dictionary{{"$archiver", Value(archiver)},
                                                       {"$version", Value::integer(100000)},
                                                       {"$top", Value(Value::Dictionary{{"root", ref(1)}})},
                                                       {"$objects", Value(std::move(objects))}}));
}

// Construct, load, show and first paint of the rows; the window is left open in out.
double open(const QString& path, std::unique_ptr<MyWindowController>& out, PaintWatcher& watcher) {
    QElapsedTimer t;
    t.start();
    out = std::make_unique<MyWindowController>(path);
    if (!out->windowDidLoad()) std::exit(1);
    QWidget* view = out->showsObjects() ? static_cast<QWidget*>(out->objectView()) : out->outlineView();
    static_cast<QAbstractScrollArea*>(view)->viewport()->installEventFilter(&watcher);
    const int before = watcher.paints;
    out->show();
    return until(t, [&] { return watcher.paints > before; });
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString objects = dir.filePath("archive.plist"), plain = dir.filePath("plain.plist");
    // The same bytes but for one letter of "$archiver"'s value... and of its key, so that it is no archive.
    std::ofstream(objects.toStdString(), std::ios::binary) << archive("NSKeyedArchiver");
    std::string other = archive("NSKeyedArchiver");
    other.replace(other.find("$archiver"), 9, "$archivex");
    std::ofstream(plain.toStdString(), std::ios::binary) << other;
    std::printf("archive_bench: %llu objects, median of %d\n", (unsigned long long)(kItems * 4), repeats);

    std::vector<double> inObjects, inPlain;
    std::unique_ptr<MyWindowController> w;
    PaintWatcher watcher;
    for (int i = 0; i < repeats; ++i) {
        inPlain.push_back(open(plain, w, watcher));
        inObjects.push_back(open(objects, w, watcher));
    }
    std::printf("  open until painted: plain view %.1f ms, object view %.1f ms (%+.1f%%)\n", median(inPlain),
                median(inObjects), (median(inObjects) / median(inPlain) - 1) * 100);

    // Expanding: the root array of 25,000 objects, then items, their dates and links spread over it.
    QTreeView* view = w->objectView();
    views::ObjectTreeModel* model = w->objectModel();
    const auto expand = [&](const QModelIndex& index) {
        QElapsedTimer t;
        t.start();
        const int before = watcher.paints;
        view->scrollTo(index, QAbstractItemView::PositionAtTop);
        view->expand(index);
        return until(t, [&] { return watcher.paints > before; });
    };
    const QModelIndex root = model->index(0, 0, model->index(0, 0));
    QElapsedTimer built;
    built.start();
    const int count = model->rowCount(root);
    const double rows = msSince(built);
    std::printf("  expand the array of %d objects: %.1f ms, of which %.1f ms resolve its rows\n", count,
                rows + expand(root), rows);
    std::vector<double> items, nexts;
    for (int i = 0; i < 200; ++i) {
        const QModelIndex item = model->index(int(uint64_t(i) * 7919 % kItems), 0, root);
        items.push_back(expand(item));
        nexts.push_back(expand(model->index(2, 0, item)));
    }
    std::printf("  expand an item: median %.2f ms, longest %.2f ms; its \"next\" array: median %.2f ms, "
                "longest %.2f ms\n",
                median(items), *std::max_element(items.begin(), items.end()), median(nexts),
                *std::max_element(nexts.begin(), nexts.end()));
    return 0;
}
