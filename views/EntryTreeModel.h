// The item model of a document's entry tree: it only translates between indexes and entries.
//
// An index's internal pointer is its entry; parent and row come from the entries' parent links. The model
// offers no way to change the tree: every change is made by the command engine, which announces it through
// the will/did calls below.
#pragma once

#include <QAbstractItemModel>

#include <vector>

#include "model/Entry.h"

class QMimeData;

namespace views {

// Where drags of the outline start and drops are judged: the window that owns the document.
class OutlineDataSource {
public:
    virtual ~OutlineDataSource() = default;
    // The drag data for the dragged entries, or none when the drag may not begin.
    virtual QMimeData* outlineViewWriteItemsToPasteboard(const std::vector<model::Entry*>& items) = 0;
    // Whether a drop into item at childIndex (-1: onto item itself) is accepted.
    virtual bool outlineViewValidateDropProposedItemProposedChildIndex(const QMimeData* data,
                                                                       model::Entry* item,
                                                                       int childIndex) = 0;
    virtual bool outlineViewAcceptDropItemChildIndex(const QMimeData* data, model::Entry* item,
                                                     int childIndex) = 0;
    // The pasteboard type of drag data.
    virtual QString dragType() const = 0;
};

class EntryTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { KeyColumn = 0, TypeColumn = 1, ValueColumn = 2 };

    explicit EntryTreeModel(QObject* parent = nullptr) : QAbstractItemModel(parent) {}

    void setRoot(model::EntryRef root);
    model::Entry* root() const { return root_.get(); }

    QModelIndex indexForEntry(const model::Entry* e, int column = 0) const;
    // The title of a column, for every view that shows these columns.
    static QVariant columnTitle(int section);
    static model::Entry* entryForIndex(const QModelIndex& index) {
        return index.isValid() ? static_cast<model::Entry*>(index.internalPointer()) : nullptr;
    }
    // The key column's text: "Root", "Item N" for an element of an array, else the key.
    QString keyText(const model::Entry* e) const;
    // The value column's text: the value's text form, shortened for very long strings and data.
    QString shownValueText(const model::Entry& e) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Drags and drops go to the data source; the model never changes the tree for them.
    void setDataSource(OutlineDataSource* source) { source_ = source; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

    void willInsertItem(model::Entry* parent, int row) { beginInsertRows(indexForEntry(parent), row, row); }
    void didInsertItem() { endInsertRows(); }
    void willRemoveItem(model::Entry* parent, int row) { beginRemoveRows(indexForEntry(parent), row, row); }
    void didRemoveItem() { endRemoveRows(); }
    // Returns false (and announces nothing) when the entry stays where it is.
    bool willMoveItem(model::Entry* parent, int from, int finalRow);
    void didMoveItem() { endMoveRows(); }
    void willRemoveChildren(model::Entry* e, int count) { beginRemoveRows(indexForEntry(e), 0, count - 1); }
    void didRemoveChildren() { endRemoveRows(); }
    void willInsertChildren(model::Entry* e, int count) { beginInsertRows(indexForEntry(e), 0, count - 1); }
    void didInsertChildren() { endInsertRows(); }
    // The entry's row shows new text (and perhaps children where it had none), and so may its children's key
    // cells. Children are announced up to a few thousand: a view walks every announced row, and the window
    // repaints the outline after each edit anyway. Text that follows from a row's place (an array element's
    // "Item N") is left to that repaint too.
    void entryChanged(model::Entry* e);

private:
    model::EntryRef root_;
    OutlineDataSource* source_ = nullptr;
};

} // namespace views
