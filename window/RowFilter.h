// "Show matching rows only" of the find bar: hides, in the outline itself, every row that neither matches
// nor holds a match, and gives back the expansion the user had when it is turned off. The rows stay those of
// the document's own tree, so editing, undo and redo go on as ever.
#pragma once

#include <unordered_set>
#include <vector>

#include "editing/EntrySearch.h"

namespace views {
class MyOutlineView;
}

namespace window {

class RowFilter {
public:
    explicit RowFilter(views::MyOutlineView* view) : view_(view) {}

    bool isOn() const { return on_; }
    // Shows the matches and the containers that hold them, expanded; every other row is hidden.
    void apply(const std::vector<editing::SearchMatch>& matches);
    // Shows every row again, with the containers expanded that were before the filter.
    void clear();
    // A container shown only because matches lie inside it.
    bool isDimmed(const model::Entry* e) const { return on_ && holders_.count(e) && !matched_.count(e); }

private:
    bool inDocument(const model::Entry* e) const;

    views::MyOutlineView* view_;
    bool on_ = false;
    std::vector<model::EntryRef> expandedBefore_;
    std::vector<model::EntryRef> hidden_;
    // The entries looked up below, held so that none is freed and its address taken by another.
    std::vector<model::EntryRef> held_;
    std::unordered_set<const model::Entry*> matched_, holders_;
};

} // namespace window
