// The records of one undoable edit: a command with the keys it uses, and the batch that runs as one step.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/Entry.h"

namespace editing {

using model::Children;
using model::Entry;
using model::EntryRef;
using model::EntryType;

// Command names.
inline constexpr const char* kInsertItem = "Insert Item";
inline constexpr const char* kRemoveItem = "Remove Item";
inline constexpr const char* kMoveItem = "Move Item";
inline constexpr const char* kChangeType = "Change Type";
inline constexpr const char* kRenameKey = "Rename Key";
inline constexpr const char* kChangeValue = "Change Value";
inline constexpr const char* kReorderChildren = "Reorder Children";

// The command of a record, read once from its name.
enum class CommandKind {
    InsertItem,
    RemoveItem,
    MoveItem,
    ChangeType,
    RenameKey,
    ChangeValue,
    ReorderChildren,
    Unknown
};

inline CommandKind commandNamed(std::string_view name) {
    static constexpr std::pair<const char*, CommandKind> kNames[] = {
        {kInsertItem, CommandKind::InsertItem},
        {kRemoveItem, CommandKind::RemoveItem},
        {kMoveItem, CommandKind::MoveItem},
        {kChangeType, CommandKind::ChangeType},
        {kRenameKey, CommandKind::RenameKey},
        {kChangeValue, CommandKind::ChangeValue},
        {kReorderChildren, CommandKind::ReorderChildren},
    };
    for (const auto& [text, kind] : kNames)
        if (name == text) return kind;
    return CommandKind::Unknown;
}

// One record. A record holds only the keys its command uses; a title record holds only "CommandTitle".
// Entries are held by reference, so a record always acts on the very entries of the tree and keeps them
// alive.
struct CommandRecord {
    std::string command;                     // "Command"; empty in a title record
    std::optional<std::string> commandTitle; // "CommandTitle"
    // "Parent": absent (title records), or an entry; a null reference stands for "" (the root has no parent).
    std::optional<EntryRef> parent;
    EntryRef item;                         // "Item"
    int64_t itemIndex = -1;                // "ItemIndex"
    int64_t fromIndex = -1;                // "FromIndex"
    int64_t toIndex = -1;                  // "ToIndex"
    std::optional<Entry::Value> newValue;  // "NewValue"
    EntryType newType = EntryType::String; // "NewType"
    Children newChild;                     // "NewChild"
    std::vector<std::string> replaceKeys;  // "ReplaceKeys"
    std::string newKey;                    // "NewKey"

    static CommandRecord title(std::string text) {
        CommandRecord r;
        r.commandTitle = std::move(text);
        return r;
    }
    static CommandRecord insertItem(EntryRef item, EntryRef parent, int64_t toIndex) {
        CommandRecord r;
        r.command = kInsertItem;
        r.item = std::move(item);
        r.parent = std::move(parent);
        r.toIndex = toIndex;
        return r;
    }
    static CommandRecord removeItem(EntryRef parent, int64_t itemIndex) {
        CommandRecord r;
        r.command = kRemoveItem;
        r.parent = std::move(parent);
        r.itemIndex = itemIndex;
        return r;
    }
    static CommandRecord moveItem(EntryRef parent, int64_t fromIndex, int64_t toIndex) {
        CommandRecord r;
        r.command = kMoveItem;
        r.parent = std::move(parent);
        r.fromIndex = fromIndex;
        r.toIndex = toIndex;
        return r;
    }
    static CommandRecord changeType(EntryRef item, EntryRef parent, EntryType newType, Entry::Value newValue,
                                    Children newChild, std::vector<std::string> replaceKeys) {
        CommandRecord r;
        r.command = kChangeType;
        r.item = std::move(item);
        r.parent = std::move(parent);
        r.newType = newType;
        r.newValue = std::move(newValue);
        r.newChild = std::move(newChild);
        r.replaceKeys = std::move(replaceKeys);
        return r;
    }
    static CommandRecord renameKey(EntryRef parent, int64_t itemIndex, std::string newKey) {
        CommandRecord r;
        r.command = kRenameKey;
        r.parent = std::move(parent);
        r.itemIndex = itemIndex;
        r.newKey = std::move(newKey);
        return r;
    }
    static CommandRecord changeValue(EntryRef parent, int64_t itemIndex, Entry::Value newValue) {
        CommandRecord r;
        r.command = kChangeValue;
        r.parent = std::move(parent);
        r.itemIndex = itemIndex;
        r.newValue = std::move(newValue);
        return r;
    }
    // Gives a container the very same children in another order (newChild).
    static CommandRecord reorderChildren(EntryRef item, Children newOrder) {
        CommandRecord r;
        r.command = kReorderChildren;
        r.parent = EntryRef(item->parent());
        r.item = std::move(item);
        r.newChild = std::move(newOrder);
        return r;
    }
};

// Runs front to back as one undo step.
using CommandBatch = std::vector<CommandRecord>;

} // namespace editing
