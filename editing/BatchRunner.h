// Runs command batches on a document's tree where no window shows it (the command line): the same engine,
// with nothing to tell and no undo history kept.
#pragma once

#include "CommandEngine.h"

namespace editing {

class BatchRunner final : private CommandEngineHost {
public:
    explicit BatchRunner(EntryRef root) : root_(std::move(root)) {}
    void run(const CommandBatch& batch) { CommandEngine(*this).doCommands(batch); }

private:
    EntryRef rootEntry() const override { return root_; }
    bool isUndoingOrRedoing() const override { return false; }
    void registerUndoBatch(CommandBatch, const std::string&) override {}
    std::string localizedString(const char* text) const override { return text; }
    bool isEditingText() const override { return false; }
    void didTextEndEditingSub() override {}
    void expandAncestorWithItem(Entry*) override {}
    EntryRef currentItem() const override { return {}; }
    void setCurrentItem(EntryRef) override {}
    void clearFamilyRange() override {}
    void willInsertItem(Entry*, size_t) override {}
    void didInsertItem() override {}
    void willRemoveItem(Entry*, size_t) override {}
    void didRemoveItem() override {}
    void willMoveItem(Entry*, size_t, size_t) override {}
    void didMoveItem() override {}
    void willRemoveChildren(Entry*, size_t) override {}
    void didRemoveChildren() override {}
    void willInsertChildren(Entry*, size_t) override {}
    void didInsertChildren() override {}
    void didChangeType(Entry*) override {}
    int rowForItem(const Entry*) const override { return -1; }
    EntryRef itemAtRow(int) const override { return {}; }
    size_t numberOfDisplayedChildrenOfItem(const Entry*) const override { return 0; }
    void refreshNow() override {}
    void refreshLater(int, bool) override {}

    EntryRef root_;
};

} // namespace editing
