#include "EntryTreeModel.h"

#include <QMimeData>
#include <algorithm>

#include "model/ValueText.h"
#include "platform/qt/Pasteboard.h"

namespace views {

using model::Entry;
using model::EntryType;

void EntryTreeModel::setRoot(model::EntryRef root) {
    beginResetModel();
    root_ = std::move(root);
    endResetModel();
}

QModelIndex EntryTreeModel::indexForEntry(const Entry* e, int column) const {
    if (!e) return {};
    if (e == root_.get()) return createIndex(0, column, const_cast<Entry*>(e));
    if (!e->parent()) return {};
    return createIndex(int(e->indexInParent()), column, const_cast<Entry*>(e));
}

QModelIndex EntryTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column > 2) return {};
    if (!parent.isValid()) return row == 0 && root_ ? createIndex(0, column, root_.get()) : QModelIndex();
    Entry* p = entryForIndex(parent);
    if (!p || !p->isContainer() || size_t(row) >= p->child().size()) return {};
    return createIndex(row, column, p->child()[size_t(row)].get());
}

QModelIndex EntryTreeModel::parent(const QModelIndex& child) const {
    Entry* e = entryForIndex(child);
    if (!e || e == root_.get()) return {};
    return indexForEntry(e->parent());
}

int EntryTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return root_ ? 1 : 0;
    if (parent.column() != 0) return 0;
    Entry* e = entryForIndex(parent);
    return e ? int(e->childCount()) : 0;
}

int EntryTreeModel::columnCount(const QModelIndex&) const {
    return 3;
}

bool EntryTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return bool(root_);
    if (parent.column() != 0) return false;
    Entry* e = entryForIndex(parent);
    return e && e->isContainer();
}

QString EntryTreeModel::keyText(const Entry* e) const {
    return QString::fromStdString(model::keyLabel(*e, tr("Root").toStdString(), tr("Item %1").toStdString()));
}

QVariant EntryTreeModel::data(const QModelIndex& index, int role) const {
    Entry* e = entryForIndex(index);
    if (!e || role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case KeyColumn:
        return keyText(e);
    case TypeColumn:
        return QString::fromUtf8(model::typeName(e->type()).data(),
                                 qsizetype(model::typeName(e->type()).size()));
    case ValueColumn:
        if (e->isContainer()) {
            size_t n = e->child().size();
            return n == 1 ? tr("(1 item)") : tr("(%1 items)").arg(qulonglong(n));
        }
        return shownValueText(*e);
    }
    return {};
}

QString EntryTreeModel::shownValueText(const Entry& e) const {
    // A cell shows no more than fits on a screen; long strings and data are cut before they are converted,
    // and long data says how long it is. The editor always gets the whole text.
    constexpr size_t kShownBytes = 4096;
    constexpr size_t kShownDataBytes = 128;
    if (e.type() == EntryType::String && e.stringValue().size() > kShownBytes)
        return QString::fromUtf8(e.stringValue().data(), qsizetype(kShownBytes));
    if (e.type() == EntryType::Data && e.dataValue().size() > kShownDataBytes) {
        const auto d = e.dataValue();
        std::string head = model::descriptionOfData(d.first(kShownDataBytes));
        head.pop_back(); // the closing ">"
        return QString::fromStdString(head) + tr("\u2026> (%1 bytes)").arg(qulonglong(d.size()));
    }
    return QString::fromStdString(model::valueText(e));
}

QVariant EntryTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return columnTitle(section);
}

QVariant EntryTreeModel::columnTitle(int section) {
    switch (section) {
    case KeyColumn:
        return tr("Key");
    case TypeColumn:
        return tr("Type");
    case ValueColumn:
        return tr("Value");
    }
    return {};
}

Qt::ItemFlags EntryTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    Entry* e = entryForIndex(index);
    if (!hasChildren(index))
        f |= Qt::ItemNeverHasChildren;
    else
        f |= Qt::ItemIsDropEnabled;
    if (e != root_.get()) f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList EntryTreeModel::mimeTypes() const {
    if (!source_) return {};
    return {platform::mimeTypeForPasteboardType(source_->dragType())};
}

QMimeData* EntryTreeModel::mimeData(const QModelIndexList& indexes) const {
    if (!source_) return nullptr;
    std::vector<Entry*> items;
    for (const QModelIndex& i : indexes)
        if (Entry* e = entryForIndex(i); e && std::find(items.begin(), items.end(), e) == items.end())
            items.push_back(e);
    if (items.empty()) return nullptr;
    return source_->outlineViewWriteItemsToPasteboard(items);
}

bool EntryTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                     const QModelIndex& parent) const {
    return source_ &&
           source_->outlineViewValidateDropProposedItemProposedChildIndex(data, entryForIndex(parent), row);
}

bool EntryTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) return false;
    return source_->outlineViewAcceptDropItemChildIndex(data, entryForIndex(parent), row);
}

bool EntryTreeModel::willMoveItem(Entry* parent, int from, int finalRow) {
    if (from == finalRow) return false;
    QModelIndex p = indexForEntry(parent);
    // Qt counts the destination in the list before the move.
    return beginMoveRows(p, from, from, p, finalRow > from ? finalRow + 1 : finalRow);
}

void EntryTreeModel::entryChanged(Entry* e) {
    QModelIndex first = indexForEntry(e, 0);
    if (!first.isValid()) return;
    emit dataChanged(first, indexForEntry(e, 2));
    // Re-keyed children are announced while that is cheap; a view walks every announced row.
    constexpr size_t kAnnouncedChildren = 4096;
    if (e->isContainer() && !e->child().empty() && e->child().size() <= kAnnouncedChildren)
        emit dataChanged(index(0, 0, first), index(int(e->child().size()) - 1, 2, first));
}

} // namespace views
