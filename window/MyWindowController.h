// One document window: owns the document, its undo manager and its editing state, and runs every edit through
// the command engine.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "editing/CommandEngine.h"
#include "model/PlistDocument.h"

class QAbstractButton;
class QAction;
class QMenu;
class QMessageBox;
class QMimeData;

namespace platform {
class UndoManager;
}
#include "views/EntryTreeModel.h"
namespace views {
class MyOutlineView;
} // namespace views

namespace window {

using model::Entry;
using model::EntryRef;

struct FamilyRange {
    size_t location = 0;
    size_t length = 0;
};

// What addItem inserts: a new empty String (none), a String holding a text, or a whole entry.
using ItemToAdd = std::variant<std::monostate, QString, EntryRef>;

// The private pasteboard type that carries the key of an entry copied out of a Dictionary.
inline const QString kPrivateKeyType = QStringLiteral("comBrisoldePropertyListVantrelTypeString");

class MyWindowController : public QMainWindow,
                           private editing::CommandEngineHost,
                           private views::OutlineDataSource {
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
    QAction* cutAction() const { return _cutAction; }
    QAction* copyAction() const { return _copyAction; }
    QAction* pasteAction() const { return _pasteAction; }
    QAction* deleteMenuAction() const { return _deleteAction; }
    views::EntryTreeModel* entryModel() const { return _model; }
    QMenu* typeMenu() const { return _typeMenu; }
    QAction* undoAction() const { return _undoAction; }
    QAction* redoAction() const { return _redoAction; }

    bool isEditingText() const override { return _isEditingText; }
    bool isDisplayingAlart() const { return _isDisplayingAlart; }

    // Alerts of this window, shown as sheets.
    QMessageBox* makeAlertWithMessage(const QString& message, const QString& firstButtonTitle,
                                      const QString& secondButtonTitle = {},
                                      const QString& thirdButtonTitle = {}) const;

    // Key rename of the selected entry with the text typed into its key field. True when finished; false
    // when the duplicate-key alert is up and the field stays in editing.
    bool changeCurrentItemKeyNameWithNewKeyName(const QString& newKey);
    // A key for an entry about to join child: base (or "New item"), numbered " - 2", " - 3", ... until no
    // entry of child has it.
    QString uniqueKeyNameInChild(const model::Children* child,
                                 const std::optional<QString>& keyStr = {}) const;
    // Value change of the selected entry with typed text (or "1"/"0" from a check box). True when finished;
    // false when the text was refused and the invalid-entry alert is up.
    bool changeCurrentItemValueWithNewValue(const QString& newValue);
    // The Boolean check box and the type pop-ups of the selected row.
    void handlingCheckBox(bool checked);
    void handlingPopupButton(const QString& selectedTitle);
    // The add and delete buttons of the selected row.
    void handlingButton(QObject* sender);

    // Inserts an entry next to the selection: into an expanded container as its first child, else after the
    // selected entry.
    void addItem(const ItemToAdd& item = {});
    void deleteCurrentItem();
    // The deepest nesting an edit may make: an entry's depth is the number of containers above it, plus one.
    static int maximumDepth();

    // Edit menu and context menu actions; enabled exactly while an entry is selected.
    void copy();
    void cut();
    void paste();
    void deleteAction();
    void copyCurrentItemToPasteboard();

    // Drag and drop within the outline: only reordering among siblings.
    QMimeData* outlineViewWriteItemsToPasteboard(const std::vector<Entry*>& items) override;
    bool outlineViewValidateDropProposedItemProposedChildIndex(const QMimeData* data, Entry* item,
                                                               int childIndex) override;
    bool outlineViewAcceptDropItemChildIndex(const QMimeData* data, Entry* item, int childIndex) override;
    QString dragType() const override { return QString::fromStdString(_document._myUTI); }

    // The in-place editing state that the edit operations call back into.
    void didTextEndEditingSub() override;
    // Sets the text of the field being edited.
    void setFocusedTextFieldText(const QString& text);
    // Puts the field's caret at the start, remembering its selection; gives the remembered selection back.
    void parkFocusedTextFieldSelection();
    void restoreFocusedTextFieldSelection();
    // The text a key or value field starts editing with: the full, exact text form. A commit of this very
    // text changes nothing.
    static QString fieldTextOfItem(const Entry& item, bool keyField);

private:
    // The engine's view of the window.
    platform::UndoManager& undoManager() override { return *_undoManager; }
    void registerUndoBatch(editing::CommandBatch inverses, const std::string& title) override;
    std::string localizedString(const char* text) const override;
    void setCurrentItem(EntryRef item) override {
        _currentItem = std::move(item);
        updateEditActions();
    }
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
    void updateEditActions();
    // Shows the nesting alert when putting an entry of this height under parent would nest the document
    // deeper than maximumDepth().
    bool refusesNestingUnder(const Entry* parent, const Entry* item);
    void runAlert(QMessageBox* alert, std::function<void(int)> completion);
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
    EntryRef _oldParent;
    int64_t _fromIndex = -1;
    QPointer<QMimeData> _dragData;
    QPointer<QAbstractButton> _addButton;
    QPointer<QAbstractButton> _deleteButton;
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
    QAction* _cutAction = nullptr;
    QAction* _copyAction = nullptr;
    QAction* _pasteAction = nullptr;
    QAction* _deleteAction = nullptr;
};

} // namespace window
