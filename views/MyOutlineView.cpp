#include "MyOutlineView.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <vector>

#include "MyTableRowView.h"
#include "OutlineItemDelegate.h"
#include "OutlineViewDelegate.h"
#include "platform/qt/NotificationCenter.h"

namespace views {

namespace {
const QString kDisableButton = QStringLiteral("PropertyListVantrelTableDisableButton");
const QString kEnableButton = QStringLiteral("PropertyListVantrelTableEnableButton");
} // namespace

MyOutlineView::MyOutlineView(QWidget* parent) : QTreeView(parent) {
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAllColumnsShowFocus(false);
    setAlternatingRowColors(false);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(new OutlineItemDelegate(this));
    // The rows draw the selection themselves; the view's own highlight is invisible.
    QPalette p = palette();
    p.setColor(QPalette::Highlight, Qt::transparent);
    p.setColor(QPalette::HighlightedText, p.color(QPalette::Text));
    setPalette(p);

    // The disclosure triangles of every window follow the editing in any window.
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, kDisableButton, [this](const platform::Notification&) {
        disclosureEnabled_ = false;
        viewport()->update();
    });
    center.addObserver(this, kEnableButton, [this](const platform::Notification&) {
        disclosureEnabled_ = true;
        viewport()->update();
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this] { updateFamilyRows(); });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (delegate_) delegate_->outlineViewItemDidExpand(EntryTreeModel::entryForIndex(index));
        rowsMoved();
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (delegate_) delegate_->outlineViewItemDidCollapse(EntryTreeModel::entryForIndex(index));
        rowsMoved();
    });
    connect(header(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section == EntryTreeModel::KeyColumn && !fittingKeyColumn_) userKeyWidth_ = size;
        rowsMoved();
    });
}

MyOutlineView::~MyOutlineView() {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
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

const model::Entry* MyOutlineView::rowWithControls() const {
    return delegate_ ? delegate_->selectedItemOfOutline() : nullptr;
}

bool MyOutlineView::isActive() const {
    return QGuiApplication::applicationState() == Qt::ApplicationActive && window()->isActiveWindow();
}

void MyOutlineView::updateFamilyRows() {
    if (!delegate_) return;
    auto [location, length] = delegate_->familyRangeOfOutline();
    if (length == 0) return;
    const long long h = uniformRowHeight();
    long long top = (long long)location * h - verticalOffset();
    long long bottom = top + (long long)length * h;
    top = std::max<long long>(top, 0);
    bottom = std::min<long long>(bottom, viewport()->height());
    if (bottom > top) viewport()->update(QRect(0, int(top), viewport()->width(), int(bottom - top)));
}

void MyOutlineView::paintEvent(QPaintEvent* event) {
    rowColors_ = MyTableRowView::colorsOf(QApplication::palette(this));
    QTreeView::paintEvent(event);
}

void MyOutlineView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const int h = uniformRowHeight();
    const long long row = (option.rect.top() + verticalOffset()) / h;
    std::pair<size_t, size_t> range{0, 0};
    if (delegate_) range = delegate_->familyRangeOfOutline();
    const int kind = MyTableRowView::familyKindForRow(row, range.first, range.second);
    const bool active = isActive();
    const QRect bounds(0, option.rect.top(), viewport()->width(), option.rect.height());
    const MyTableRowView::Colors& colors = rowColors_;
    QRect editBox;
    if ((kind == 1 || kind == 2) && !active && delegate_) editBox = delegate_->focusedTextFieldRect();
    MyTableRowView::drawBackgroundInRect(*painter, bounds, kind, active, colors, editBox);
    QStyleOptionViewItem opt(option);
    opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    const bool dimmed = delegate_ && delegate_->isDimmedItem(EntryTreeModel::entryForIndex(index));
    if (dimmed) {
        painter->save();
        painter->setOpacity(0.45);
    }
    QTreeView::drawRow(painter, opt, index);
    if (dimmed) painter->restore();
    MyTableRowView::drawSeparatorInRect(*painter, bounds, kind, active, colors);
}

void MyOutlineView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
    const model::Entry* e = EntryTreeModel::entryForIndex(index);
    if (!e || !e->isContainer() || e->child().empty()) return;
    QStyleOption opt;
    opt.initFrom(this);
    opt.palette = QApplication::palette(this);
    const int indent = indentation();
    opt.rect = QRect(rect.right() - indent + 1, rect.top(), indent, rect.height());
    opt.state = QStyle::State_Item | QStyle::State_Children;
    if (isExpanded(index)) opt.state |= QStyle::State_Open;
    if (disclosureEnabled_)
        opt.state |= QStyle::State_Enabled;
    else
        opt.state &= ~QStyle::State_Enabled;
    painter->save();
    if (!disclosureEnabled_) painter->setOpacity(0.35);
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &opt, painter, this);
    painter->restore();
}

bool MyOutlineView::inBranchArea(const QModelIndex& index, const QPoint& pos) const {
    if (!index.isValid()) return false;
    const QRect cell = visualRect(index.siblingAtColumn(0));
    return pos.x() < cell.left() && pos.x() >= cell.left() - indentation();
}

bool MyOutlineView::isInertTriangle(const QModelIndex& index, const QPoint& pos) const {
    const model::Entry* e = EntryTreeModel::entryForIndex(index);
    return inBranchArea(index, pos) && (!disclosureEnabled_ || (e && e->isContainer() && e->child().empty()));
}

void MyOutlineView::keyPressEvent(QKeyEvent* event) {
    uint16_t code = 0;
    switch (event->key()) {
    case Qt::Key_Return:
        code = kKeyReturn;
        break;
    case Qt::Key_Enter:
        code = kKeyEnter;
        break;
    case Qt::Key_Backspace:
        code = kKeyDelete;
        break;
    case Qt::Key_Delete:
        code = kKeyForwardDelete;
        break;
    case Qt::Key_Left:
        code = kKeyLeftArrow;
        break;
    case Qt::Key_Right:
        code = kKeyRightArrow;
        break;
    case Qt::Key_Down:
        code = kKeyDownArrow;
        break;
    case Qt::Key_Up:
        code = kKeyUpArrow;
        break;
    default:
        break;
    }
    if (event->key() == Qt::Key_Asterisk) {
        if (delegate_ && delegate_->selectedItemOfOutline()) expandBranch(delegate_->selectedItemOfOutline());
        event->accept();
        return;
    }
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if ((event->key() == Qt::Key_Menu && plain) ||
        (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        // The context menu of the selected row, at the row.
        const model::Entry* e = delegate_ ? delegate_->selectedItemOfOutline() : nullptr;
        const QRect cell = e ? cellRect(e, EntryTreeModel::KeyColumn) : QRect();
        const QPoint at = cell.isNull() ? QPoint(0, 0) : cell.bottomLeft();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
        contextMenuEvent(&menu);
        event->accept();
        return;
    }
    if (code && plain && delegate_) {
        delegate_->keyDownWithKeycode(code);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void MyOutlineView::expandBranch(model::Entry* e) {
    if (!e->isContainer()) return;
    std::vector<model::Entry*> containers;
    for (std::vector<model::Entry*> branch{e}; !branch.empty();) {
        model::Entry* x = branch.back();
        branch.pop_back();
        containers.push_back(x);
        for (const model::EntryRef& c : x->child())
            if (c->isContainer()) branch.push_back(c.get());
    }
    expandItems(containers);
}

void MyOutlineView::expandItems(const std::vector<model::Entry*>& items,
                                const std::vector<model::Entry*>& show,
                                const std::vector<model::Entry*>& hide) {
    // QTreeView's own expand-all tells of each container as it goes, and the window, asking where rows stand,
    // lays the rows out halfway; the inner containers then count as expanded but show no rows. Here the
    // containers are marked while the layout waits, laid out once, and the window told once.
    EntryTreeModel* m = entryModel();
    scheduleDelayedItemsLayout();
    {
        const QSignalBlocker quiet(this);
        for (model::Entry* x : items)
            expand(m->indexForEntry(x));
        for (const auto* list : {&show, &hide})
            for (model::Entry* x : *list)
                if (x->parent())
                    setRowHidden(int(x->indexInParent()), m->indexForEntry(x->parent()), list == &hide);
    }
    executeDelayedItemsLayout();
    if (delegate_ && !items.empty()) delegate_->outlineViewItemDidExpand(items.front());
    rowsMoved();
}

void MyOutlineView::collapseBranch(model::Entry* e) {
    if (!e->isContainer()) return;
    if (delegate_) delegate_->outlineViewItemWillCollapse(e);
    scheduleDelayedItemsLayout();
    {
        const QSignalBlocker quiet(this);
        for (std::vector<model::Entry*> branch{e}; !branch.empty();) {
            model::Entry* x = branch.back();
            branch.pop_back();
            collapse(entryModel()->indexForEntry(x));
            for (const model::EntryRef& c : x->child())
                if (c->isContainer()) branch.push_back(c.get());
        }
    }
    executeDelayedItemsLayout();
    if (delegate_) delegate_->outlineViewItemDidCollapse(e);
    rowsMoved();
}

void MyOutlineView::setExpandedItems(const std::vector<model::Entry*>& items,
                                     const std::vector<model::Entry*>& show) {
    scheduleDelayedItemsLayout();
    {
        const QSignalBlocker quiet(this);
        // Forgotten while the layout waits: collapseAll would lay the rows out at once.
        for (const model::EntryRef& e : expandedItems())
            collapse(entryModel()->indexForEntry(e.get()));
    }
    expandItems(items, show);
}

std::vector<model::EntryRef> MyOutlineView::expandedItems() const {
    std::vector<model::EntryRef> out;
    if (!entryModel() || !entryModel()->root()) return out;
    for (std::vector<model::Entry*> all{entryModel()->root()}; !all.empty();) {
        model::Entry* x = all.back();
        all.pop_back();
        if (isExpanded(entryModel()->indexForEntry(x))) out.emplace_back(x);
        for (const model::EntryRef& c : x->child())
            if (c->isContainer()) all.push_back(c.get());
    }
    return out;
}

bool MyOutlineView::isItemHidden(const model::Entry* e) const {
    EntryTreeModel* m = entryModel();
    for (; e && e->parent(); e = e->parent())
        if (isRowHidden(int(e->indexInParent()), m->indexForEntry(e->parent()))) return true;
    return false;
}

unsigned MyOutlineView::clickedZoneAt(const QPoint& pos) const {
    const long long bottom = (long long)totalRows() * uniformRowHeight() - verticalOffset();
    return pos.y() >= bottom ? 1 : 0;
}

void MyOutlineView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    model::Entry* e = EntryTreeModel::entryForIndex(index);
    checkBoxPressed_ = nullptr;
    pressedWhileSelected_ = e && delegate_ && delegate_->selectedItemOfOutline() == e ? e : nullptr;
    if (delegate_ && delegate_->hasFocusedTextField()) {
        // A click while a field is edited only finishes the edit, and then selects the clicked row.
        delegate_->rowViewSelectSelfRow(e ? rowForItem(e) : -1);
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        const unsigned zone = clickedZoneAt(pos);
        if (delegate_) delegate_->mouseDownWithZone(zone);
        if (zone == 1) {
            event->accept();
            return;
        }
        QTreeView::mousePressEvent(event);
        return;
    }
    if (isInertTriangle(index, pos)) {
        // The triangle does nothing while text is edited, and an empty container has none; the click still
        // selects its row.
        auto command = selectionCommand(index, event);
        if (command != QItemSelectionModel::NoUpdate) selectionModel()->setCurrentIndex(index, command);
        event->accept();
        return;
    }
    if (e && delegate_ && index.column() == EntryTreeModel::ValueColumn &&
        e->type() == model::EntryType::Boolean && delegate_->selectedItemOfOutline() == e &&
        delegate_->controllShouldClick(this))
        checkBoxPressed_ = e;
    if (e && delegate_ && inBranchArea(index, pos) && isExpanded(index))
        delegate_->outlineViewItemWillCollapse(e);
    QTreeView::mousePressEvent(event);
    if (delegate_ && event->button() == Qt::LeftButton && isActive())
        delegate_->mouseDownWithZone(clickedZoneAt(pos));
}

void MyOutlineView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (isInertTriangle(index, pos)) {
        event->accept();
        return;
    }
    const model::Entry* pressed = std::exchange(checkBoxPressed_, nullptr);
    QTreeView::mouseReleaseEvent(event);
    model::Entry* e = EntryTreeModel::entryForIndex(index);
    if (pressed && e == pressed && index.column() == EntryTreeModel::ValueColumn && delegate_)
        delegate_->handlingCheckBox(!e->boolValue());
}

void MyOutlineView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (delegate_ && delegate_->hasFocusedTextField()) {
        event->accept();
        return;
    }
    if (inBranchArea(index, pos)) {
        // Two clicks on a triangle are two clicks.
        mousePressEvent(event);
        return;
    }
    model::Entry* e = EntryTreeModel::entryForIndex(index);
    // Only a row selected before the double click began edits: its first click may just have selected it.
    if (e && delegate_ && event->button() == Qt::LeftButton && e == pressedWhileSelected_) {
        if ((event->modifiers() & Qt::AltModifier) && index.column() == EntryTreeModel::ValueColumn) {
            emit valueEditorRequested(e);
            event->accept();
            return;
        }
        if (delegate_->outlineViewDoubleClickedItem(e, index.column())) {
            event->accept();
            return;
        }
        // The check box takes each click of a double click.
        if (index.column() == EntryTreeModel::ValueColumn && e->type() == model::EntryType::Boolean &&
            delegate_->selectedItemOfOutline() == e && delegate_->controllShouldClick(this))
            checkBoxPressed_ = e;
    }
    event->accept();
}

void MyOutlineView::contextMenuEvent(QContextMenuEvent* event) {
    if (!delegate_ || delegate_->hasFocusedTextField()) return;
    if (event->reason() == QContextMenuEvent::Mouse && clickedZoneAt(event->pos()) == 1) return;
    QMenu* menu = delegate_->createContextMenu();
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

QItemSelectionModel::SelectionFlags MyOutlineView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    if (delegate_ && !delegate_->selectionShouldChangeInOutlineView()) return QItemSelectionModel::NoUpdate;
    return QTreeView::selectionCommand(index, event);
}

void MyOutlineView::rowsInserted(const QModelIndex& parent, int start, int end) {
    // A container that became a scalar keeps its expanded mark, so that undoing the change shows its children
    // again; but QTreeView, seeing children arrive under a row it laid out without any, only marks that the
    // row has children. The rows are laid out again to show them.
    const bool firstChildren =
        parent.isValid() && isExpanded(parent) && model()->rowCount(parent) == end - start + 1;
    QTreeView::rowsInserted(parent, start, end);
    if (firstChildren) scheduleDelayedItemsLayout();
}

void MyOutlineView::scrollContentsBy(int dx, int dy) {
    QTreeView::scrollContentsBy(dx, dy);
    rowsMoved();
}

void MyOutlineView::updateGeometries() {
    QTreeView::updateGeometries();
    rowsMoved();
}

void MyOutlineView::changeEvent(QEvent* event) {
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) updateFamilyRows();
}

void MyOutlineView::rowsMoved() {
    if (placementQueued_ || !delegate_) return;
    placementQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        placementQueued_ = false;
        fitKeyColumn();
        if (delegate_) delegate_->outlineViewRowsDidMove();
    });
}

QRect MyOutlineView::cellRect(const model::Entry* e, int column) const {
    if (!entryModel() || rowForItem(e) < 0) return {};
    return visualRect(entryModel()->indexForEntry(e, column));
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
    // Asked before the view looks for the row, which for a hidden one means a walk over every row.
    if (isItemHidden(e)) return -1;
    QModelIndex index = m->indexForEntry(e);
    if (!index.isValid()) return -1;
    QRect r = visualRect(index);
    // A deep row's key cell may have no width left after its indentation; only its height tells.
    if (r.height() <= 0) return -1;
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
        const QModelIndex parent = entryModel()->indexForEntry(p);
        // The next sibling shown: filtered rows are hidden.
        for (size_t i = a->indexInParent() + 1; i < p->child().size(); ++i)
            if (!isRowHidden(int(i), parent)) return size_t(rowForItem(p->child()[i].get()) - row - 1);
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

void MyOutlineView::fitKeyColumn() {
    if (!model() || userKeyWidth_ <= 0) return;
    // Room for the triangle, about twenty characters of the key and the two buttons of a selected row.
    const int h = uniformRowHeight();
    const int room = indentation() + fontMetrics().averageCharWidth() * 20 + 2 * h + 8;
    int deepest = -1;
    QModelIndex index = indexAt(QPoint(0, 0));
    for (int rows = viewport()->height() / h + 2; index.isValid() && rows > 0; --rows) {
        int depth = 0;
        for (const model::Entry* p = EntryTreeModel::entryForIndex(index)->parent(); p; p = p->parent())
            ++depth;
        deepest = std::max(deepest, depth);
        index = indexBelow(index);
    }
    const int wanted = std::max(userKeyWidth_, deepest * indentation() + room);
    if (columnWidth(EntryTreeModel::KeyColumn) == wanted) return;
    fittingKeyColumn_ = true;
    setColumnWidth(EntryTreeModel::KeyColumn, wanted);
    fittingKeyColumn_ = false;
}

void MyOutlineView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    QTreeView::scrollTo(index, hint);
    if (!index.isValid() || index.column() != EntryTreeModel::KeyColumn) return;
    // Sideways: from the triangle to the end of the key cell, where the buttons stand; the triangle first
    // when both do not fit.
    const QRect key = visualRect(index);
    const int left = key.left() - indentation(), right = key.right() + 1, width = viewport()->width();
    QScrollBar* bar = horizontalScrollBar();
    if (left < 0 || right - left > width)
        bar->setValue(bar->value() + left);
    else if (right > width)
        bar->setValue(bar->value() + right - width);
}

void MyOutlineView::scrollRowToVisible(const model::Entry* e) {
    QModelIndex index = entryModel()->indexForEntry(e);
    if (index.isValid()) scrollTo(index);
}

} // namespace views
