#include "MyOutlineView.h"

#include <QHeaderView>
#include <QScrollBar>

#include <vector>

namespace views {

MyOutlineView::MyOutlineView(QWidget* parent) : QTreeView(parent) {
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAllColumnsShowFocus(true);
    setAlternatingRowColors(false);
}

int MyOutlineView::uniformRowHeight() const {
    int h = sizeHintForRow(0);
    return h > 0 ? h : fontMetrics().height() + 4;
}

int MyOutlineView::rowForItem(const model::Entry* e) const {
    EntryTreeModel* m = entryModel();
    if (!m || !e) return -1;
    for (const model::Entry* p = e->parent(); p; p = p->parent())
        if (!isExpanded(m->indexForEntry(p))) return -1;
    QModelIndex index = m->indexForEntry(e);
    if (!index.isValid()) return -1;
    QRect r = visualRect(index);
    if (!r.isValid()) return -1;
    return (r.top() + verticalOffset()) / uniformRowHeight();
}

model::Entry* MyOutlineView::itemAtRow(int row) const {
    if (row < 0) return nullptr;
    int h = uniformRowHeight();
    QModelIndex index = indexAt(QPoint(1, row * h - verticalOffset() + h / 2));
    model::Entry* e = EntryTreeModel::entryForIndex(index);
    return e && rowForItem(e) == row ? e : nullptr;
}

size_t MyOutlineView::numberOfDisplayedChildrenOfItem(const model::Entry* e) const {
    int row = rowForItem(e);
    if (row < 0 || !e->isContainer() || e->child().empty() || !isExpanded(entryModel()->indexForEntry(e))) return 0;
    // The rows of the subtree end where the next entry after it (a later sibling of the entry or of an
    // ancestor) stands, or at the end of the outline.
    for (const model::Entry* a = e; a && a->parent(); a = a->parent()) {
        const model::Entry* p = a->parent();
        if (a->indexInParent() + 1 < p->child().size()) {
            int next = rowForItem(p->child()[a->indexInParent() + 1].get());
            return size_t(next - row - 1);
        }
    }
    // Nothing follows: the subtree ends the outline, so count its displayed rows.
    size_t count = 0;
    std::vector<const model::Entry*> todo{e};
    while (!todo.empty()) {
        const model::Entry* x = todo.back();
        todo.pop_back();
        if (!x->isContainer() || !isExpanded(entryModel()->indexForEntry(x))) continue;
        count += x->child().size();
        for (const model::EntryRef& c : x->child()) todo.push_back(c.get());
    }
    return count;
}

void MyOutlineView::scrollRowToVisible(const model::Entry* e) {
    QModelIndex index = entryModel()->indexForEntry(e);
    if (index.isValid()) scrollTo(index);
}

} // namespace views
