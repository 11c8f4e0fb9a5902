#include "MyOutlineView.h"

#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
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
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

void MyOutlineView::startDrag(Qt::DropActions) {
    QModelIndex index = currentIndex();
    if (!index.isValid() || !model()) return;
    QMimeData* data = model()->mimeData({index.siblingAtColumn(0)});
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
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
    if (row < 0 || !e->isContainer() || e->child().empty() || !isExpanded(entryModel()->indexForEntry(e)))
        return 0;
    // The rows of the subtree end where the next entry after it (a later sibling of the entry or of an
    // ancestor) stands, or at the end of the outline.
    for (const model::Entry* a = e; a && a->parent(); a = a->parent()) {
        const model::Entry* p = a->parent();
        if (a->indexInParent() + 1 < p->child().size()) {
            int next = rowForItem(p->child()[a->indexInParent() + 1].get());
            return size_t(next - row - 1);
        }
    }
    // Nothing follows: the subtree runs to the last row of the outline.
    return size_t(totalRows() - row - 1);
}

int MyOutlineView::totalRows() const {
    // With rows of one height scrolled by pixels, the scroll range spans every row once the content is taller
    // than the viewport; a shorter outline has few rows, which are counted.
    const_cast<MyOutlineView*>(this)->executeDelayedItemsLayout();
    int h = uniformRowHeight();
    if (verticalScrollBar()->maximum() > 0)
        return (verticalScrollBar()->maximum() + viewport()->height()) / h;
    int rows = 0;
    while (itemAtRow(rows))
        ++rows;
    return rows;
}

void MyOutlineView::scrollRowToVisible(const model::Entry* e) {
    QModelIndex index = entryModel()->indexForEntry(e);
    if (index.isValid()) scrollTo(index);
}

} // namespace views
