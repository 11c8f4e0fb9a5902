// The item model of a keyed archive's object view: it only translates between indexes and the rows of a
// model::KeyedArchive, which it asks for a row's rows when the view first needs them (when it is expanded).
#pragma once

#include <QAbstractItemModel>

#include <functional>
#include <memory>

#include "model/KeyedArchive.h"

namespace views {

class ObjectTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { KeyColumn = 0, TypeColumn = 1, ValueColumn = 2 };

    explicit ObjectTreeModel(QObject* parent = nullptr) : QAbstractItemModel(parent) {}

    // Shows the archive over root afresh, every row collapsed; none shows nothing.
    void setRoot(model::EntryRef root);
    model::KeyedArchive* archive() const { return archive_.get(); }
    // The row of an index, resolved.
    model::ArchiveNode* nodeForIndex(const QModelIndex& index) const {
        return index.isValid() && archive_ ? &archive_->resolve(*rawNode(index)) : nullptr;
    }
    QModelIndex indexForNode(model::ArchiveNode* node, int column = 0) const;
    // Values shown may have changed (the rows stay): every row built so far is shown again, with the keys
    // of dictionary objects read again.
    void valuesChanged();

    // Takes an edit of a scalar's value column: the typed text for its row; true when the edit was taken.
    // Without it no cell edits.
    std::function<bool(model::ArchiveNode& node, const QString& text)> editValue;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 3; }
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    static model::ArchiveNode* rawNode(const QModelIndex& index) {
        return static_cast<model::ArchiveNode*>(index.internalPointer());
    }
    std::unique_ptr<model::KeyedArchive> archive_;
};

} // namespace views
