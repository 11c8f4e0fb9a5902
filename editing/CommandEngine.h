// Runs batches of command records on a document's tree: changes the tree, tells the outline, builds the batch
// that undoes it, picks the entry to select, and registers one named undo step per batch.
#pragma once

#include <string>
#include <vector>

#include "CommandRecord.h"

namespace editing {

// What the engine needs of the window that shows the tree.
class CommandEngineHost {
public:
    virtual ~CommandEngineHost() = default;

    virtual EntryRef rootEntry() const = 0;
    // Whether the batch being run is an undo or redo step being replayed.
    virtual bool isUndoingOrRedoing() const = 0;
    // Registers the batch that undoes the one just run, under its title (the undo manager files it as undo or
    // redo step by its state).
    virtual void registerUndoBatch(CommandBatch inverses, const std::string& title) = 0;
    virtual std::string localizedString(const char* text) const = 0;

    virtual bool isEditingText() const = 0;
    virtual void didTextEndEditingSub() = 0;
    virtual void expandAncestorWithItem(Entry* item) = 0;

    virtual EntryRef currentItem() const = 0;
    virtual void setCurrentItem(EntryRef item) = 0;
    virtual void clearFamilyRange() = 0;

    // Structural changes are announced around the change, by index in the parent's children.
    virtual void willInsertItem(Entry* parent, size_t index) = 0;
    virtual void didInsertItem() = 0;
    virtual void willRemoveItem(Entry* parent, size_t index) = 0;
    virtual void didRemoveItem() = 0;
    // The entry at from ends at finalIndex.
    virtual void willMoveItem(Entry* parent, size_t from, size_t finalIndex) = 0;
    virtual void didMoveItem() = 0;
    // A type change may take all children of an entry away or give it a whole list at once.
    virtual void willRemoveChildren(Entry* item, size_t count) = 0;
    virtual void didRemoveChildren() = 0;
    virtual void willInsertChildren(Entry* item, size_t count) = 0;
    virtual void didInsertChildren() = 0;
    // The entry's type, value or its children's keys changed in place.
    virtual void didChangeType(Entry* item) = 0;

    // Rows of the outline: the row of a displayed entry (-1 when it has none), the entry at a row (none past
    // the ends), the number of displayed descendants.
    virtual int rowForItem(const Entry* item) const = 0;
    virtual EntryRef itemAtRow(int row) const = 0;
    virtual size_t numberOfDisplayedChildrenOfItem(const Entry* item) const = 0;

    // Refreshing after a batch: at once, or after a delay (a later request supersedes an earlier one).
    virtual void refreshNow() = 0;
    virtual void refreshLater(int milliseconds, bool focusTextField) = 0;
};

class CommandEngine {
public:
    explicit CommandEngine(CommandEngineHost& host) : host_(host) {}

    void doCommands(const CommandBatch& batch);

    // Gives every entry of child a key by position ("New item", "New item - 2", ... when keys is none or of
    // another count, else keys in order) and returns the keys they had.
    static std::vector<std::string> replacedKeyNameInChild(const Children& child,
                                                           const std::vector<std::string>* keys,
                                                           const std::string& base);

private:
    struct BatchState {
        bool replaying = false;
        std::string title;
        bool hasTitle = false;
        CommandBatch inverses; // built back to front
        bool deferredRefresh = false;
        int refreshDelayMs = 200;
        bool focusOnRefresh = false;
        bool lockedAfterRename = false;
        bool maySelect = true;
    };

    // Runs one command; gives its selection target and puts its inverse in inverse (command left empty when
    // there is none).
    EntryRef run(const CommandRecord& r, BatchState& s, CommandRecord& inverse);
    EntryRef insertItem(const CommandRecord& r, BatchState& s, CommandRecord& inverse);
    EntryRef removeItem(const CommandRecord& r, BatchState& s, CommandRecord& inverse);
    EntryRef moveItem(const CommandRecord& r, BatchState& s, CommandRecord& inverse);
    EntryRef changeType(const CommandRecord& r, CommandRecord& inverse);
    EntryRef renameKey(const CommandRecord& r, BatchState& s, CommandRecord& inverse);
    EntryRef changeValue(const CommandRecord& r, CommandRecord& inverse);
    EntryRef reorderChildren(const CommandRecord& r, CommandRecord& inverse);
    // The entry a record addresses by index: the parent's child, or the root for a record whose parent is ""
    // (the root has no parent).
    EntryRef entryAt(const CommandRecord& r) const;

    CommandEngineHost& host_;
};

} // namespace editing
