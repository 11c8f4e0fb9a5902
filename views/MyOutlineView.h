// The outline of a document: a tree view over the entry model, one selected row at a time.
#pragma once

#include <QTreeView>

#include "EntryTreeModel.h"

namespace views {

class MyOutlineView : public QTreeView {
    Q_OBJECT
public:
    explicit MyOutlineView(QWidget* parent = nullptr);

    EntryTreeModel* entryModel() const { return static_cast<EntryTreeModel*>(model()); }

    // The row of a displayed entry counted from the top of the outline, or -1 when it is not displayed.
    int rowForItem(const model::Entry* e) const;
    // The entry at a row, or none past either end.
    model::Entry* itemAtRow(int row) const;
    // The number of rows below an entry that belong to its displayed descendants.
    size_t numberOfDisplayedChildrenOfItem(const model::Entry* e) const;
    void scrollRowToVisible(const model::Entry* e);

    // The number of rows the outline shows.
    int totalRows() const;

protected:
    // A drag carries the entry's data and ends there: the tree changes only through the drop's command.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    int uniformRowHeight() const;
};

} // namespace views
