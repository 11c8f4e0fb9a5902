#include "RowFilter.h"

#include "views/MyOutlineView.h"

namespace window {

using model::Entry;
using model::EntryRef;

bool RowFilter::inDocument(const Entry* e) const {
    const Entry* root = view_->entryModel()->root();
    return root && e->isInTreeOf(root);
}

void RowFilter::apply(const std::vector<editing::SearchMatch>& matches) {
    if (!on_) expandedBefore_ = view_->expandedItems();
    on_ = true;
    std::vector<Entry*> show;
    for (const EntryRef& e : hidden_)
        if (inDocument(e.get())) show.push_back(e.get());
    hidden_.clear();
    held_.clear();
    matched_.clear();
    holders_.clear();
    Entry* root = view_->entryModel()->root();
    if (!root) return;
    std::vector<Entry*> holders{root};
    holders_.insert(root);
    held_.emplace_back(root);
    for (const editing::SearchMatch& m : matches) {
        if (!matched_.insert(m.entry.get()).second) continue;
        held_.push_back(m.entry);
        for (Entry* p = m.entry->parent(); p && holders_.insert(p).second; p = p->parent()) {
            holders.push_back(p);
            held_.emplace_back(p);
        }
    }
    // Inside each container shown, the children that neither match nor hold a match; inside an expanded
    // container that matches but holds none, all of them.
    std::vector<Entry*> hide;
    auto hideChildren = [&](const Entry* c, bool all) {
        for (const EntryRef& x : c->child())
            if (all || (!matched_.count(x.get()) && !holders_.count(x.get()))) {
                hide.push_back(x.get());
                hidden_.push_back(x);
            }
    };
    for (const Entry* c : holders)
        hideChildren(c, false);
    for (const Entry* m : matched_)
        if (m->isContainer() && !holders_.count(m) &&
            view_->isExpanded(view_->entryModel()->indexForEntry(m)))
            hideChildren(m, true);
    view_->expandItems(holders, show, hide);
    view_->viewport()->update();
}

void RowFilter::clear() {
    if (!on_) return;
    on_ = false;
    std::vector<Entry*> show, expanded;
    for (const EntryRef& e : hidden_)
        if (inDocument(e.get())) show.push_back(e.get());
    for (const EntryRef& e : expandedBefore_)
        if (e->isContainer() && inDocument(e.get())) expanded.push_back(e.get());
    view_->setExpandedItems(expanded, show);
    hidden_.clear();
    held_.clear();
    matched_.clear();
    holders_.clear();
    expandedBefore_.clear();
    view_->viewport()->update();
}

} // namespace window
