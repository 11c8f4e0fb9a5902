// The structural comparison of two entry trees: which entries were added, removed, changed, changed type or
// moved between an old tree and a new one, whatever files they were read from.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Entry.h"

namespace model {

struct DiffOptions {
    // Whether the order of a dictionary's keys counts: a key that stands elsewhere is then a move.
    bool order = false;
};

enum class DiffKind { Added, Removed, Changed, TypeChanged, Moved };

// "added", "removed", "changed", "type changed", "moved".
std::string_view diffKindName(DiffKind kind);

// One difference. Each side names its entry (none on the side that lacks it: the old side of an addition,
// the new side of a removal), the container holding it there (none for a root) and its position in that
// container; on the side that lacks the entry, the position it would take there.
struct Difference {
    DiffKind kind = DiffKind::Changed;
    EntryRef oldEntry, newEntry;
    EntryRef oldParent, newParent;
    size_t oldIndex = 0, newIndex = 0;

    // The key path on each side as Copy Key Path writes it ("Root › Servers › Item 1 › Port"); on the side
    // that lacks the entry, the path it would have there.
    std::string oldPath() const;
    std::string newPath() const;
};

// One line for a person: "~ Root › Servers › Item 1 › Port: 80 → 8080" (a value changed; with the types
// when the type changed), "+ Root › Servers › Item 2: Dictionary (3 items)" (at its new path), "- Root ›
// Notes", "↷ Root › items › Item 4 → Item 0" (its old path, then its new place).
std::string differenceText(const Difference& d);

// The differences that turn oldRoot into newRoot, in the order of the old tree (an addition stands where it
// would go). Unchanged branches are passed over by a hash of each whole branch, computed once; dictionaries
// match their entries by key (equal keys in their order among themselves) and arrays their items by the
// longest common subsequence of those hashes, so an inserted item is one addition. An item of an array
// found elsewhere in it, unchanged, is a move.
std::vector<Difference> diffTrees(const Entry& oldRoot, const Entry& newRoot,
                                  const DiffOptions& options = {});

// One row of two trees shown side by side: an entry on either side, or on one side only (an addition, a
// removal, or one end of a move, each with a gap on the other side).
struct ComparedRow {
    // The entries and where they stand; kind tells the row's difference, or for a tinted row the
    // one-sided branch it belongs to.
    Difference difference;
    bool oldShown = true, newShown = true;
    // A difference of its own, and the containers of one type whose contents differ.
    bool differs = false, differsBelow = false;
    bool tinted = false;
    uint32_t oldNode = 0, newNode = 0; // the entries' places in the comparison's hashes
    // For a move: where the entry would be inserted among the old children, counted before it leaves its
    // place, to stand where the new side has it; and the same among the new children.
    size_t oldPlace = 0, newPlace = 0;
};

class Differ;

// The comparison of two trees kept for showing them side by side: every difference, found once, and the
// aligned rows below any row, made only when asked for. The trees must not change while it is used.
class TreeComparison {
public:
    TreeComparison(EntryRef oldRoot, EntryRef newRoot, const DiffOptions& options = {});
    ~TreeComparison();

    const std::vector<Difference>& differences() const { return differences_; }
    const ComparedRow& root() const { return root_; }
    // The rows of a row's children: both containers' children aligned, or one side's children alone.
    std::vector<ComparedRow> children(const ComparedRow& row) const;

private:
    void classify(ComparedRow& row) const;

    std::vector<Difference> differences_;
    std::unique_ptr<Differ> differ_;
    ComparedRow root_;
};

// Makes oldRoot's tree what the new tree is, by the differences diffTrees gave for the two (dictionary key
// order as the new tree has it only where the options made it count). Entries taken from the new tree are
// copied.
void applyDifferences(Entry& oldRoot, const std::vector<Difference>& differences);

// A deep copy of an entry and everything below it, with the same keys and no serial numbers.
EntryRef copyTree(const Entry& e);

} // namespace model
