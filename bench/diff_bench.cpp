// Comparing two large documents: the 1,000,000-entry document against a copy with 100 scattered edits, and an
// array of 200,000 items against itself with one insertion. Prints wall-clock times and memory.
//   python3 bench/make-1m-plist.py /tmp/1m.plist
//   build/bench/diff_bench edit /tmp/1m.plist /tmp/1m-edited.plist   (writes the edited copy)
//   build/bench/diff_bench /tmp/1m.plist /tmp/1m-edited.plist
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "model/PlistDocument.h"
#include "model/TreeDiff.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// VmRSS or VmHWM (the peak) of this process in MiB.
double memoryMiB(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field) + 1)) / 1024;
    return 0;
}

bool load(model::PlistDocument& doc, const char* path) {
    auto outcome = doc.openPlistFile();
    if (!outcome.ok) std::fprintf(stderr, "%s: %s\n", path, outcome.reason.c_str());
    return outcome.ok;
}

// 40 changed values, 30 insertions and 29 removals at random places, and a block of 20 records of "items"
// moved to another place in it: 100 edits.
int edit(const char* in, const char* out) {
    model::PlistDocument doc(in);
    if (!load(doc, in)) return 1;
    model::EntryRef root = doc.root();
    std::mt19937_64 rng(25);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    auto anyBelowTop = [&] {
        while (true) {
            model::EntryRef e = root->child()[pick(root->childCount())];
            while (e->isContainer() && e->childCount() && pick(4) != 0)
                e = e->child()[pick(e->childCount())];
            if (e->parent() != root.get()) return e;
        }
    };
    for (int i = 0; i < 40; ++i) {
        model::EntryRef e = anyBelowTop();
        if (e->isContainer()) e = e->parent()->child()[0];
        if (e->isContainer()) continue;
        e->setType(model::EntryType::String);
        e->setValue(std::string("edited ") + std::to_string(i));
    }
    for (int i = 0; i < 30; ++i) {
        model::EntryRef e = anyBelowTop();
        model::Entry* parent = e->parent();
        parent->insertChild(e->indexInParent(),
                            model::Entry::make("inserted " + std::to_string(i), model::EntryType::Number,
                                               model::Number::fromInteger(plist::Integer::fromSigned(i))));
    }
    for (int i = 0; i < 29; ++i) {
        model::EntryRef e = anyBelowTop();
        e->parent()->removeChild(e->indexInParent());
    }
    model::Entry* items = root->child()[1].get();
    for (int i = 0; i < 20; ++i)
        items->moveChild(30000, 10000 + size_t(i));
    auto bytes = doc.binaryData();
    if (!bytes) return 1;
    std::ofstream(out, std::ios::binary) << *bytes;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "edit") == 0) return edit(argv[2], argv[3]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s A B | %s edit IN OUT\n", argv[0], argv[0]);
        return 2;
    }
    const double base = memoryMiB("VmRSS:");
    model::PlistDocument a(argv[1]), b(argv[2]);
    auto t = Clock::now();
    if (!load(a, argv[1])) return 1;
    const double loadA = msSince(t), oneDocument = memoryMiB("VmRSS:") - base;
    t = Clock::now();
    if (!load(b, argv[2])) return 1;
    const double loadB = msSince(t);
    t = Clock::now();
    const std::vector<model::Difference> differences = model::diffTrees(*a.root(), *b.root());
    const double compare = msSince(t);
    const double peak = memoryMiB("VmHWM:") - base;
    size_t counts[5] = {};
    for (const auto& d : differences)
        ++counts[size_t(d.kind)];
    std::printf("load A %.0f ms, load B %.0f ms, compare %.0f ms (load and compare %.0f ms)\n", loadA, loadB,
                compare, loadA + loadB + compare);
    std::printf("%zu differences: %zu added, %zu removed, %zu changed, %zu type changed, %zu moved\n",
                differences.size(), counts[0], counts[1], counts[2], counts[3], counts[4]);
    std::printf("one document %.0f MiB, peak %.0f MiB (%.2f times one document)\n", oneDocument, peak,
                peak / oneDocument);

    model::EntryRef x = model::Entry::makeContainer("", model::EntryType::Array);
    for (int i = 0; i < 200000; ++i)
        x->appendChild(model::Entry::make("", model::EntryType::String, "item " + std::to_string(i % 1000)));
    model::EntryRef y = model::copyTree(*x);
    y->insertChild(100000, model::Entry::make("", model::EntryType::String, std::string("inserted")));
    t = Clock::now();
    const size_t found = model::diffTrees(*x, *y).size();
    std::printf("200,000 items against themselves with one insertion: %zu difference in %.1f ms\n", found,
                msSince(t));
    y->removeChild(100000);
    y->insertChild(150000, model::copyTree(*y->child()[0]));
    y->removeChild(0);
    for (size_t i = 0; i < 200000; i += 2000)
        y->child()[i]->setValue(std::string("changed"));
    t = Clock::now();
    const size_t many = model::diffTrees(*x, *y).size();
    std::printf("the same with a move and 100 changes: %zu differences in %.1f ms\n", many, msSince(t));
    return 0;
}
