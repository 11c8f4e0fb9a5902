#include "CommandEngine.h"

#include <algorithm>

namespace editing {

std::vector<std::string> CommandEngine::replacedKeyNameInChild(const Children& child,
                                                               const std::vector<std::string>* keys,
                                                               const std::string& base) {
    std::vector<std::string> old;
    old.reserve(child.size());
    const bool generate = !keys || keys->size() != child.size();
    for (size_t p = 0; p < child.size(); ++p) {
        old.push_back(child[p]->key);
        if (generate)
            child[p]->key = p == 0 ? base : base + " - " + std::to_string(p + 1);
        else
            child[p]->key = (*keys)[p];
    }
    return old;
}

void CommandEngine::doCommands(const CommandBatch& batch) {
    BatchState s;
    s.replaying = host_.isUndoingOrRedoing();
    if (s.replaying && host_.isEditingText()) host_.didTextEndEditingSub();

    EntryRef lastAttachedTarget; // the latest selection target, for when the selected entry left the tree
    for (const CommandRecord& r : batch) {
        // The title: a title record names the batch; without one the first command does.
        if (r.commandTitle) {
            s.title = *r.commandTitle;
            s.hasTitle = true;
        }
        if (!s.hasTitle) {
            s.title = r.command;
            s.hasTitle = true;
        }
        if (!r.parent) continue;
        if (s.replaying && *r.parent) host_.expandAncestorWithItem(r.parent->get());
        CommandRecord inverse;
        EntryRef target = run(r, s, inverse);
        if (target) lastAttachedTarget = target;
        if (target && s.maySelect) host_.setCurrentItem(target);
        if (s.lockedAfterRename) s.maySelect = false;
        if (!inverse.command.empty()) s.inverses.push_back(std::move(inverse));
    }

    // The rename lock may keep an entry selected that a later record of the batch took out of the tree
    // (undoing an insertion whose key was then changed); select the last target that is still in the tree
    // instead.
    const Entry* root = host_.rootEntry().get();
    auto inTree = [&](const EntryRef& e) { return e && e->isInTreeOf(root); };
    if (host_.currentItem() && !inTree(host_.currentItem()))
        host_.setCurrentItem(lastAttachedTarget && inTree(lastAttachedTarget) ? lastAttachedTarget
                                                                              : EntryRef());

    if (s.deferredRefresh)
        host_.refreshLater(s.refreshDelayMs, s.focusOnRefresh);
    else
        host_.refreshNow();

    // The inverses run in the reverse order of the records they undo, then the title record.
    CommandBatch inverses(std::make_move_iterator(s.inverses.rbegin()),
                          std::make_move_iterator(s.inverses.rend()));
    inverses.push_back(CommandRecord::title(s.title));
    host_.registerUndoBatch(std::move(inverses), s.title);
}

EntryRef CommandEngine::run(const CommandRecord& r, BatchState& s, CommandRecord& inverse) {
    switch (commandNamed(r.command)) {
    case CommandKind::InsertItem:
        return insertItem(r, s, inverse);
    case CommandKind::RemoveItem:
        return removeItem(r, s, inverse);
    case CommandKind::MoveItem:
        return moveItem(r, s, inverse);
    case CommandKind::ChangeType:
        return changeType(r, inverse);
    case CommandKind::RenameKey:
        return renameKey(r, s, inverse);
    case CommandKind::ChangeValue:
        return changeValue(r, inverse);
    case CommandKind::ReorderChildren:
        return reorderChildren(r, inverse);
    case CommandKind::Unknown:
        break;
    }
    return nullptr;
}

EntryRef CommandEngine::entryAt(const CommandRecord& r) const {
    Entry* parent = r.parent->get();
    return parent ? parent->child()[size_t(r.itemIndex)] : host_.rootEntry();
}

EntryRef CommandEngine::insertItem(const CommandRecord& r, BatchState& s, CommandRecord& inverse) {
    Entry* parent = r.parent->get();
    inverse = CommandRecord::removeItem(*r.parent, r.toIndex);
    host_.setCurrentItem(nullptr);
    host_.clearFamilyRange();
    host_.willInsertItem(parent, size_t(r.toIndex));
    parent->insertChild(size_t(r.toIndex), r.item);
    host_.didInsertItem();
    s.deferredRefresh = true;
    s.focusOnRefresh = !s.replaying;
    return r.item;
}

EntryRef CommandEngine::removeItem(const CommandRecord& r, BatchState& s, CommandRecord& inverse) {
    Entry* parent = r.parent->get();
    EntryRef e = parent->child()[size_t(r.itemIndex)];
    inverse = CommandRecord::insertItem(e, *r.parent, r.itemIndex);
    // The entry below its displayed subtree, or the one above it when the subtree ends the outline.
    EntryRef target;
    int row = host_.rowForItem(e.get());
    if (row >= 0) {
        int next = row + int(host_.numberOfDisplayedChildrenOfItem(e.get())) + 1;
        target = host_.itemAtRow(next);
        if (!target) target = host_.itemAtRow(row - 1);
    }
    host_.willRemoveItem(parent, size_t(r.itemIndex));
    parent->removeChild(size_t(r.itemIndex));
    host_.didRemoveItem();
    s.deferredRefresh = true;
    return target;
}

EntryRef CommandEngine::moveItem(const CommandRecord& r, BatchState& s, CommandRecord& inverse) {
    Entry* parent = r.parent->get();
    const int64_t f = r.fromIndex, t = r.toIndex;
    EntryRef e = parent->child()[size_t(f)];
    // Inserting at t and then taking the old copy out leaves the entry at t-1 when it moved down.
    const int64_t finalIndex = f < t ? t - 1 : t;
    host_.willMoveItem(parent, size_t(f), size_t(finalIndex));
    parent->moveChild(size_t(f), size_t(finalIndex));
    host_.didMoveItem();
    inverse = CommandRecord::moveItem(*r.parent, finalIndex, t < f ? f + 1 : f);
    s.refreshDelayMs = 300;
    s.deferredRefresh = true;
    return e;
}

EntryRef CommandEngine::changeType(const CommandRecord& r, CommandRecord& inverse) {
    Entry* e = r.item.get();
    const bool toContainer = r.newType == EntryType::Array || r.newType == EntryType::Dictionary;
    Children old = e->isContainer() ? e->child() : Children();
    Entry::Value oldValue = e->isContainer() ? Entry::Value(std::string()) : e->value();
    const EntryType oldType = e->type();
    std::vector<std::string> replaced;
    // The outline hears of children that go and come as whole lists; a list that stays (Array to
    // Dictionary and back) is only re-keyed.
    const bool keeps = toContainer && e->isContainer() && r.newChild.size() == old.size() &&
                       std::equal(old.begin(), old.end(), r.newChild.begin());
    if (!keeps && !old.empty()) {
        host_.willRemoveChildren(e, old.size());
        e->setChildren(Children());
        host_.didRemoveChildren();
    }
    if (!toContainer) {
        for (const EntryRef& c : old)
            replaced.push_back(c->key);
        e->setValue(r.newValue ? *r.newValue : Entry::Value(std::string()));
    } else {
        if (!keeps && !r.newChild.empty()) {
            host_.willInsertChildren(e, r.newChild.size());
            e->setChildren(r.newChild);
            host_.didInsertChildren();
        } else if (!keeps) {
            e->setChildren(Children());
        }
        replaced = replacedKeyNameInChild(e->child(), &r.replaceKeys, host_.localizedString("New item"));
    }
    e->setType(r.newType);
    host_.didChangeType(e);
    inverse = CommandRecord::changeType(r.item, *r.parent, oldType, std::move(oldValue), std::move(old),
                                        std::move(replaced));
    return r.item;
}

EntryRef CommandEngine::renameKey(const CommandRecord& r, BatchState& s, CommandRecord& inverse) {
    EntryRef e = entryAt(r);
    inverse = CommandRecord::renameKey(*r.parent, r.itemIndex, e->key);
    e->key = r.newKey;
    s.lockedAfterRename = true;
    return e;
}

EntryRef CommandEngine::changeValue(const CommandRecord& r, CommandRecord& inverse) {
    EntryRef e = entryAt(r);
    inverse = CommandRecord::changeValue(*r.parent, r.itemIndex, e->value());
    if (r.newValue) e->setValue(*r.newValue);
    return e;
}

EntryRef CommandEngine::reorderChildren(const CommandRecord& r, CommandRecord& inverse) {
    Entry* e = r.item.get();
    inverse = CommandRecord::reorderChildren(r.item, e->child());
    // The outline hears of the children going and coming back in their new order.
    const size_t n = e->childCount();
    host_.willRemoveChildren(e, n);
    e->setChildren(Children());
    host_.didRemoveChildren();
    host_.willInsertChildren(e, n);
    e->setChildren(r.newChild);
    host_.didInsertChildren();
    return r.item;
}

} // namespace editing
