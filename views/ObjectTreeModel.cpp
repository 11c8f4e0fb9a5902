#include "ObjectTreeModel.h"

#include "EntryTreeModel.h"

#include "model/ValueText.h"

namespace views {

using model::ArchiveNode;

void ObjectTreeModel::setRoot(model::EntryRef root) {
    beginResetModel();
    archive_ = root && model::KeyedArchive::isKeyedArchive(*root)
                   ? std::make_unique<model::KeyedArchive>(root)
                   : nullptr;
    endResetModel();
}

QModelIndex ObjectTreeModel::indexForNode(ArchiveNode* node, int column) const {
    return node ? createIndex(int(node->row), column, node) : QModelIndex();
}

QModelIndex ObjectTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!archive_ || row < 0 || column < 0 || column >= 3) return {};
    if (!parent.isValid()) return row == 0 ? createIndex(0, column, &archive_->top()) : QModelIndex();
    const auto& rows = archive_->children(*nodeForIndex(parent));
    return size_t(row) < rows.size() ? createIndex(row, column, rows[size_t(row)].get()) : QModelIndex();
}

QModelIndex ObjectTreeModel::parent(const QModelIndex& child) const {
    return child.isValid() ? indexForNode(rawNode(child)->parent) : QModelIndex();
}

int ObjectTreeModel::rowCount(const QModelIndex& parent) const {
    if (!archive_) return 0;
    if (!parent.isValid()) return 1;
    if (parent.column() != 0) return 0;
    return int(archive_->children(*nodeForIndex(parent)).size());
}

bool ObjectTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return archive_ != nullptr;
    // Asked of every row laid out: answered without resolving the row.
    return parent.column() == 0 && archive_ && archive_->mayExpand(*rawNode(parent));
}

QVariant ObjectTreeModel::data(const QModelIndex& index, int role) const {
    ArchiveNode* node = nodeForIndex(index);
    if (!node) return {};
    if (role == Qt::EditRole && index.column() == ValueColumn) {
        const model::Entry* e = node->entry.get();
        // A Boolean edits as its word, read back by the truth rules of typed text.
        if (node->form == ArchiveNode::Form::Plain && e && e->type() == model::EntryType::Boolean)
            return e->boolValue() ? QStringLiteral("true") : QStringLiteral("false");
        return QString::fromStdString(archive_->formText(*node));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
    case KeyColumn:
        return node->kind == ArchiveNode::Kind::Top ? tr("Root") : QString::fromStdString(node->key);
    case TypeColumn:
        return QString::fromStdString(archive_->typeText(*node));
    default:
        return QString::fromStdString(model::withVisibleMarks(archive_->valueText(*node)));
    }
}

bool ObjectTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    ArchiveNode* node = nodeForIndex(index);
    if (!node || role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable) || !editValue) return false;
    return editValue(*node, value.toString());
}

QVariant ObjectTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    // The same columns as the plain outline.
    return EntryTreeModel::columnTitle(section);
}

Qt::ItemFlags ObjectTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Only the value column resolves its row: the view asks every row's flags when it lays them out.
    if (index.column() == ValueColumn && editValue && model::KeyedArchive::isEditable(*nodeForIndex(index)))
        f |= Qt::ItemIsEditable;
    return f;
}

void ObjectTreeModel::valuesChanged() {
    if (!archive_) return;
    const QModelIndex top = indexForNode(&archive_->top());
    emit dataChanged(top, top.siblingAtColumn(ValueColumn));
    // Through the rows built so far, without recursion: a chain of expanded objects may be deep.
    std::vector<ArchiveNode*> stack{&archive_->top()};
    while (!stack.empty()) {
        ArchiveNode* node = stack.back();
        stack.pop_back();
        if (!node->childrenBuilt || node->children.empty()) continue;
        emit dataChanged(indexForNode(node->children.front().get()),
                         indexForNode(node->children.back().get(), ValueColumn));
        for (const auto& c : node->children) {
            archive_->updateKey(*c); // a string shown as a value may be a dictionary's key too
            stack.push_back(c.get());
        }
    }
}

} // namespace views
