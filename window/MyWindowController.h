// One document window: owns the document, its undo manager and its editing state, and runs every edit through
// the command engine.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include "editing/CommandEngine.h"
#include "model/PlistDocument.h"

class QAction;
class QMenu;

namespace platform {
class UndoManager;
}
namespace views {
class EntryTreeModel;
class MyOutlineView;
} // namespace views

namespace window {

using model::Entry;
using model::EntryRef;

struct FamilyRange {
    size_t location = 0;
    size_t length = 0;
};

class MyWindowController : public QMainWindow, private editing::CommandEngineHost {
    Q_OBJECT
public:
    // A document at a file path, or a new, untitled one for an empty path.
    explicit MyWindowController(const QString& url = {}, QWidget* parent = nullptr);
    ~MyWindowController() override;

    // Loads the document and prepares the outline; false when the file could not be read.
    bool windowDidLoad();
    const model::LoadOutcome& loadOutcome() const { return _loadOutcome; }

    // Runs a batch of command records as one undo step.
    void doCommands(const editing::CommandBatch& batch) { _engine.doCommands(batch); }
    // Changes the selected entry to another type, converting its value.
    void changeCurrentItemClassTypeWithNewClassType(model::EntryType type);

    bool canUndo() const;
    // The undo manager that Edit > Undo and Redo act on.
    platform::UndoManager* windowWillReturnUndoManager() const { return _undoManager; }
    // Titles the window from its location and starts a new, empty undo history.
    void resetTitleAndUndo();
    QString fileName() const { return _fileName; }
    // The plain title and the edited one ("%1 — Edited"); the window shows one of them followed by its
    // modified mark.
    const QString* windowTitles() const { return _windowTitle; }

    plist::Expected<std::string> plistString() const { return _document.plistString(); }
    model::PlistDocument& document() { return _document; }
    EntryRef rootEntry() const override { return _document.root(); }

    EntryRef currentItem() const override { return _currentItem; }
    FamilyRange familyRange() const { return _familyRange; }
    // Selects an entry's row and scrolls it into view; an entry without a row leaves nothing selected.
    void outlineViewSelectItem(Entry* item);
    void outlineViewSelectRow(int row);
    void updateFamilyRange();
    void reloadWithFocusTextField(bool focus);
    void expandAncestorWithItem(Entry* item) override;
    size_t numberOfDisplayedChildrenOfItem(const Entry* item) const override;

    views::MyOutlineView* outlineView() const { return _outlineView; }
    views::EntryTreeModel* entryModel() const { return _model; }
    QMenu* typeMenu() const { return _typeMenu; }
    QAction* undoAction() const { return _undoAction; }
    QAction* redoAction() const { return _redoAction; }

    bool isEditingText() const override { return _isEditingText; }
    void didTextEndEditingSub() override;

private:
    // The engine's view of the window.
    platform::UndoManager& undoManager() override { return *_undoManager; }
    void registerUndoBatch(editing::CommandBatch inverses, const std::string& title) override;
    std::string localizedString(const char* text) const override;
    void setCurrentItem(EntryRef item) override { _currentItem = std::move(item); }
    void clearFamilyRange() override { _familyRange = {}; }
    void willInsertItem(Entry* parent, size_t index) override;
    void didInsertItem() override;
    void willRemoveItem(Entry* parent, size_t index) override;
    void didRemoveItem() override;
    void willMoveItem(Entry* parent, size_t from, size_t finalIndex) override;
    void didMoveItem() override;
    void willRemoveChildren(Entry* item, size_t count) override;
    void didRemoveChildren() override;
    void willInsertChildren(Entry* item, size_t count) override;
    void didInsertChildren() override;
    void didChangeType(Entry* item) override;
    int rowForItem(const Entry* item) const override;
    EntryRef itemAtRow(int row) const override;
    void refreshNow() override;
    void refreshLater(int milliseconds, bool focusTextField) override;

    void buildMenus();
    void updateTitleAndEditedMark();
    void updateUndoActions();
    void outlineViewSelectionDidChange();
    void reloadOutline();

    static unsigned localWindowNumber();

    model::PlistDocument _document;
    model::LoadOutcome _loadOutcome;
    editing::CommandEngine _engine{*this};
    platform::UndoManager* _undoManager = nullptr;
    QString _windowTitle[2];
    QString _fileName;
    EntryRef _currentItem;
    FamilyRange _familyRange;
    bool _isEditingText = false;
    bool _isDisplayingAlart = false;
    bool _isUseOriginalKey = true;
    bool _isSelectingFromCode = false;
    bool _movedRows = false;
    quint64 _refreshGeneration = 0;

    views::MyOutlineView* _outlineView = nullptr;
    views::EntryTreeModel* _model = nullptr;
    QMenu* _typeMenu = nullptr;
    QAction* _undoAction = nullptr;
    QAction* _redoAction = nullptr;
};

} // namespace window
