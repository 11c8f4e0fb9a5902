// The outline of a document: a tree view over the entry model, one selected row at a time. It draws its rows
// with MyTableRowView (no selection highlight of its own) and hands the editing keys, the clicks with their
// zone and the context menu to its delegate, the window.
#pragma once

#include <QTreeView>

#include <vector>

#include "EntryTreeModel.h"
#include "MyTableRowView.h"

namespace views {

class OutlineViewDelegate;

class MyOutlineView : public QTreeView {
    Q_OBJECT
public:
    explicit MyOutlineView(QWidget* parent = nullptr);
    ~MyOutlineView() override;

    EntryTreeModel* entryModel() const { return static_cast<EntryTreeModel*>(model()); }
    void setOutlineDelegate(OutlineViewDelegate* d) { delegate_ = d; }
    OutlineViewDelegate* outlineDelegate() const { return delegate_; }

    // The row of a displayed entry counted from the top of the outline, or -1 when it is not displayed.
    int rowForItem(const model::Entry* e) const;
    // The entry at a row, or none past either end.
    model::Entry* itemAtRow(int row) const;
    // The number of rows below an entry that belong to its displayed descendants.
    size_t numberOfDisplayedChildrenOfItem(const model::Entry* e) const;
    void scrollRowToVisible(const model::Entry* e);
    // Expands a container and every container inside it (the "*" key).
    void expandBranch(model::Entry* e);
    // Collapses a container and every container inside it.
    void collapseBranch(model::Entry* e);
    // Expands the given containers at once: marked while the layout waits, laid out once, the window told
    // once (of the first). The rows hidden from the list are shown again, those in hide hidden.
    void expandItems(const std::vector<model::Entry*>& items, const std::vector<model::Entry*>& show = {},
                     const std::vector<model::Entry*>& hide = {});
    // Exactly these containers expanded, every other collapsed, and the rows in show no longer hidden; laid
    // out once.
    void setExpandedItems(const std::vector<model::Entry*>& items,
                          const std::vector<model::Entry*>& show = {});
    // Every container expanded now, including those inside collapsed ones.
    std::vector<model::EntryRef> expandedItems() const;
    // Whether an entry's row, or the row of one of its containers, is hidden.
    bool isItemHidden(const model::Entry* e) const;
    // Scrolls to a row; for the key column, also sideways to the row's triangle, key and buttons.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    // The number of rows the outline shows.
    int totalRows() const;
    int uniformRowHeight() const;
    // The rectangle of a cell in viewport coordinates (null when the row is not displayed).
    QRect cellRect(const model::Entry* e, int column) const;

signals:
    // A double click with Alt held on the selected row's value: its editor is wanted.
    void valueEditorRequested(model::Entry* item);

public:
    // The entry whose row holds the add and delete buttons: the selected one.
    const model::Entry* rowWithControls() const;

    // The disclosure triangles of every row; off in every window while any window edits text.
    bool isDisclosureEnabled() const { return disclosureEnabled_; }

    // Whether the outline's window is the active one of the active application.
    bool isActive() const;
    // Redraws the rows of the selected family only.
    void updateFamilyRows();

    // The zone of a click at a viewport position: 1 below the last row, else 0.
    unsigned clickedZoneAt(const QPoint& pos) const;

protected:
    // A drag carries the entry's data and ends there: the tree changes only through the drop's command.
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void changeEvent(QEvent* event) override;

private:
    bool inBranchArea(const QModelIndex& index, const QPoint& pos) const;
    // A click on a triangle that does nothing: while text is edited, or where an empty container shows none.
    bool isInertTriangle(const QModelIndex& index, const QPoint& pos) const;
    // Widens the key column to what the rows in view need after their indentation, or narrows it back, never
    // below the width the user gave it.
    void fitKeyColumn();
    void rowsMoved();

    OutlineViewDelegate* delegate_ = nullptr;
    bool disclosureEnabled_ = true;
    const model::Entry* checkBoxPressed_ = nullptr;
    // The entry whose row was already selected when the latest press on it came.
    const model::Entry* pressedWhileSelected_ = nullptr;
    bool placementQueued_ = false;
    int userKeyWidth_ = 0;
    bool fittingKeyColumn_ = false;
    // The row colours, taken from the palette once per paint.
    MyTableRowView::Colors rowColors_;
};

} // namespace views
