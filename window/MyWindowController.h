// One document window: owns the document, its undo manager and its editing state, and runs every edit through
// the command engine. It is the outline's data source and delegate and the delegate of the in-row controls.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "editing/CommandEngine.h"
#include "editing/EditDecisions.h"
#include "model/PlistDocument.h"
#include "platform/file/AtomicFile.h"
#include "platform/file/FileIdentity.h"
#include "platform/qt/MainQueue.h"
#include "views/EntryTreeModel.h"
#include "views/OutlineViewDelegate.h"
#include "views/ValueEditors/ValueEditor.h"

class QAction;
class QMenu;
class QTreeView;
class QMessageBox;
class QMimeData;

namespace platform {
class UndoManager;
}
namespace model {
struct ArchiveNode;
}
namespace views {
class MyOutlineView;
class ObjectTreeModel;
class MyButton;
class MyPopUpButton;
class MyTextField;
} // namespace views

namespace window {

class DocumentLoader;
class MyFileChangeBar;
class MyFindBar;
class MyLoadProgress;
class MyNavigator;

using model::Entry;
using model::EntryRef;

struct FamilyRange {
    size_t location = 0;
    size_t length = 0;
};

using editing::ItemToAdd;

// The private pasteboard type that carries the key of an entry copied out of a Dictionary.
inline const QString kPrivateKeyType = QStringLiteral("comBrisoldePropertyListVantrelTypeString");

// Notifications of the document windows.
inline const QString kFileCouldNotBeOpened = QStringLiteral("PlistVantrelFileCouldNotBeOpened");
inline const QString kWindowShoudClose = QStringLiteral("PlistVantrelWindowShoudClose");
inline const QString kTextDidBeginEditing = QStringLiteral("PlistVantrelTextDidBeginEditing");
inline const QString kTableDisableButton = QStringLiteral("PropertyListVantrelTableDisableButton");
inline const QString kTableEnableButton = QStringLiteral("PropertyListVantrelTableEnableButton");
inline const QString kReturnCode = QStringLiteral("ReturnCode");

class MyWindowController : public QMainWindow,
                           private editing::CommandEngineHost,
                           private views::OutlineDataSource,
                           public views::OutlineViewDelegate {
    Q_OBJECT
public:
    // A document at a file path, or a new, untitled one for an empty path.
    explicit MyWindowController(const QString& url = {}, QWidget* parent = nullptr);
    ~MyWindowController() override;

    // Loads the document and prepares the outline; false when the file could not be read, in which case the
    // window shows the load-failure alert a moment later and then posts "PlistVantrelFileCouldNotBeOpened".
    bool windowDidLoad();
    // The same outcome without holding up the event loop: a file of kBackgroundLoadBytes or more is read on
    // a worker thread, and from 0.2 s on the window shows its progress and a "Cancel" button in place of the
    // outline; what windowDidLoad does after reading follows when the load ends (documentLoaded). Smaller
    // files load at once.
    void loadDocument();
    static constexpr qint64 kBackgroundLoadBytes = 256 * 1024;
    bool isLoading() const { return _loader != nullptr; }
    MyLoadProgress* loadProgress() const { return _loadProgress; }
    // Stops a load and closes the window as its close box does.
    void cancelLoading();
    const model::LoadOutcome& loadOutcome() const { return _loadOutcome; }

    // Runs a batch of command records as one undo step.
    void doCommands(const editing::CommandBatch& batch) {
        emit documentWillChange();
        _engine.doCommands(batch);
    }
    // Changes the selected entry to another type, converting its value.
    void changeCurrentItemClassTypeWithNewClassType(model::EntryType type);

    // Whether the document has changes the file does not hold: undo steps taken since it was opened, saved
    // or reloaded from disk (undoing a reload is a change).
    bool canUndo() const;
    // The undo manager that Edit > Undo and Redo act on.
    platform::UndoManager* windowWillReturnUndoManager() const { return _undoManager; }
    // Titles the window from its location and starts a new, empty undo history.
    void resetTitleAndUndo();
    QString fileName() const { return _fileName; }
    // The plain title and the edited one ("%1 — Edited"); the window shows one of them, and its modified
    // flag is set while it shows the edited one.
    const QString* windowTitles() const { return _windowTitle; }

    plist::Expected<std::string> plistString() const { return _document.plistString(); }
    model::PlistDocument& document() { return _document; }
    EntryRef rootEntry() const override { return _document.root(); }

    // Whether the window may close now; with unsaved changes it asks first and answers false. The answer is
    // posted as "PlistVantrelWindowShoudClose".
    bool windowShouldClose();
    // Closes the window without asking (the application decided).
    void closeWithoutAsking();
    // Whether the window's close question is up.
    bool isAskingToClose() const { return _isAskingToClose; }
    // Runs the window's delayed work (deferred refreshes, the load-failure alert and its notification) at
    // once instead of after its delay; for tests. Returns how many calls ran.
    int runPendingDeferredWork() { return platform::runPendingDeferredWork(this); }
    // The document's location (empty while untitled) and format.
    QString url() const;
    void setURL(const QString& url);
    plist::Format formatKind() const { return _document.formatKind(); }
    void setFormatKind(plist::Format format) { _document.setFormatKind(format); }

    // Whether another program changed the file since the window read or wrote it. A missing file is no
    // change: saving it loses nothing.
    bool fileChangedOnDisk() const;
    // The file as the window last read or wrote it; none for an untitled document.
    const std::optional<platform::FileIdentity>& diskIdentity() const { return _diskIdentity; }
    // Loads a document recovered after a crash instead of reading the file: the window shows contents at its
    // location and format, marked edited, with an empty undo history; disk is the file as the lost window
    // knew it, for the check before saving over it.
    void windowDidLoadRecovered(model::PlistDocument&& contents, std::optional<platform::FileIdentity> disk);
    // A save wrote these bytes to url(): they are what the window now knows of its file.
    void didWriteFile(const platform::WrittenContents& written);
    // Commits an open edit, then reads the file as opening does and takes its contents as one undoable step,
    // "Reload from Disk". A file that cannot be read shows the load-failure alert and changes nothing.
    // A file of kBackgroundLoadBytes or more is read on a worker while the window takes no edits (isLoading);
    // closing the window ends that read.
    void reloadFromDisk();
    MyFileChangeBar* fileChangeBar() const { return _fileChangeBar; }
    MyFindBar* findBar() const { return _findBar; }
    MyNavigator* navigator() const { return _navigator; }

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
    QAction* undoAction() const { return _undoAction; }
    QAction* redoAction() const { return _redoAction; }
    QAction* cutAction() const { return _cutAction; }
    QAction* copyAction() const { return _copyAction; }
    QAction* pasteAction() const { return _pasteAction; }
    QAction* deleteMenuAction() const { return _deleteAction; }
    QAction* editValueAction() const { return _editValueAction; }
    QMenu* editMenu() const { return _editMenu; }
    // The View menu, made on first use by whichever part of the window adds to it first.
    QMenu* viewMenu();
    views::MyButton* addButton() const { return _addButton; }
    views::MyButton* deleteButton() const { return _deleteButton; }
    views::MyPopUpButton* classPopupButton() const { return _classPopupButton; }
    views::MyPopUpButton* rootClassPopupButton() const { return _rootClassPopupButton; }
    views::MyTextField* editorField() const { return _editorField; }

    bool isEditingText() const override { return _isEditingText; }
    bool isDisplayingAlart() const { return _isDisplayingAlart; }

    // Alerts of this window, shown as sheets.
    QMessageBox* makeAlertWithMessage(const QString& message, const QString& firstButtonTitle,
                                      const QString& secondButtonTitle = {},
                                      const QString& thirdButtonTitle = {}) const;
    // Shows an alert as a sheet and calls completion with the answer, if the window still exists. The window
    // counts as displaying an alert (isDisplayingAlart) until the completion has run.
    void runAlert(QMessageBox* alert, std::function<void(int)> completion = {});
    void runAlert(const editing::AlertText& text, std::function<void(int)> completion = {});

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
    // Edit Value…: opens the editor of the selected entry's type as a sheet; with typedText, it starts from
    // the text of the row's field and its caret. Done commits the exact value through
    // changeCurrentItemValueWithExactValue. False when the entry has no editor or the window is busy.
    bool editValueOfCurrentItem(const QString* typedText = nullptr, int caret = 0);
    bool canEditValue() const;
    views::ValueEditor* valueEditor() const { return _valueEditor; }
    // A value of the selected entry's own type, taken as it is: one "Change Value" step, none when equal.
    void changeCurrentItemValueWithExactValue(Entry::Value value);
    // Commits an open editor; false when its value cannot be taken and it stays open.
    bool finishValueEditor();
    // Asks the application for a new window holding the property list in bytes (a Data value's).
    std::function<void(const std::string& bytes)> openDocumentWithData;
    // Takes the property list in bytes as this new window's document; the reason when it is none.
    QString takeDocumentData(const std::string& bytes);
    // The Boolean check box and the type pop-ups of the selected row.
    void handlingCheckBox(bool checked) override;
    void handlingPopupButton(const QString& selectedTitle);
    // The add and delete buttons of the selected row.
    void handlingButton(QObject* sender);

    // Inserts an entry next to the selection: into an expanded container as its first child, else after the
    // selected entry.
    void addItem(const ItemToAdd& item = {});
    void deleteCurrentItem();
    // Whether addItem and deleteCurrentItem can act on the selection: nothing goes under a scalar root, and
    // the root is never deleted. The buttons, the Edit menu and the context menu follow these.
    bool canAddItem() const;
    bool canDeleteItem() const;
    // The deepest nesting an edit may make: an entry's depth is the number of containers above it, plus one.
    static int maximumDepth();

    // Edit menu and context menu actions; enabled while they can act on the selected entry (Cut and Delete as
    // canDeleteItem, Paste as canAddItem). While a field is edited they act on its text.
    void copy();
    void cut();
    void paste();
    void deleteAction();
    void copyCurrentItemToPasteboard();
    // Puts the selected entry's key path on the pasteboard as the alerts write it ("Root › list › Item 1").
    void copyKeyPath();
    // Edit > Sort Keys: the selected Dictionary's keys in byte order, with branch those of every Dictionary
    // below the selection too, as one step "Sort Keys".
    void sortKeysOfCurrentItem(bool branch);
    // The keyboard's ways to the selected row's controls: editing its key (or its value where the key does
    // not edit) or its value, as a double click does; duplicating it after itself ("Duplicate Item").
    void beginEditingSelectedRow(bool value);
    void duplicateCurrentItem();
    void undo();
    void redo();

    // Drag and drop within the outline: only reordering among siblings.
    QMimeData* outlineViewWriteItemsToPasteboard(const std::vector<Entry*>& items) override;
    bool outlineViewValidateDropProposedItemProposedChildIndex(const QMimeData* data, Entry* item,
                                                               int childIndex) override;
    bool outlineViewAcceptDropItemChildIndex(const QMimeData* data, Entry* item, int childIndex) override;
    QString dragType() const override { return QString::fromStdString(_document.myUTI()); }

    // In-place editing. The key and value fields of the selected row edit in place; only
    // updateFocusedTextField commits an edit.
    views::MyTextField* focusedTextField() const { return _isEditingText ? _focusedTextField : nullptr; }
    bool updateFocusedTextField();
    void didTextBeginEditingSubWithFocusedTextField(views::MyTextField* field);
    void didTextEndEditingSub() override;
    // Whether a cell edits in place: a key in a Dictionary, or the value of a String, Number, Date, Data or
    // n/a entry.
    static bool isEditableCell(const Entry& item, int column);
    // Sets the text of the field being edited.
    void setFocusedTextFieldText(const QString& text);
    // Puts the field's caret at the start, remembering its selection; gives the remembered selection back.
    void parkFocusedTextFieldSelection();
    void restoreFocusedTextFieldSelection();
    // The text a key or value field starts editing with: the full, exact text form. A commit of this very
    // text changes nothing.
    static QString fieldTextOfItem(const Entry& item, bool keyField);

    // The object view of a keyed archive, in the outline's place while View > Show as Objects is on (by
    // default for archives). Only values edit there; Go to Object selects in the plain view the object of
    // $objects that the selected uid (in either view) stands for.
    bool showsObjects() const;
    void setShowsObjects(bool on);
    void goToObject();
    QTreeView* objectView() const { return _objectView; }
    views::ObjectTreeModel* objectModel() const { return _objectModel; }
    QAction* showObjectsAction() const { return _showObjectsAction; }
    QAction* goToObjectAction() const { return _goToObjectAction; }

    // What the outline hands on.
    bool controllShouldClick(QObject* control) override;
    void keyDownWithKeycode(uint16_t keycode) override;
    void mouseDownWithZone(unsigned zone) override;
    QMenu* createContextMenu() override;

signals:
    // Sent on every change of the selection, editing or alert state and of the undo stack, so that menus can
    // follow.
    void stateChanged();
    // The entry tree is about to change (every change runs through doCommands); sent before anything of it
    // changes, so that a reader on another thread can stop first.
    void documentWillChange();
    // A load by loadDocument ended; ok as windowDidLoad answers.
    void documentLoaded(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The engine's view of the window.
    bool isUndoingOrRedoing() const override;
    void registerUndoBatch(editing::CommandBatch inverses, const std::string& title) override;
    std::string localizedString(const char* text) const override;
    void setCurrentItem(EntryRef item) override {
        _currentItem = std::move(item);
        notifyStateChanged();
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

    // The outline's delegate.
    Entry* selectedItemOfOutline() const override { return _currentItem.get(); }
    std::pair<size_t, size_t> familyRangeOfOutline() const override {
        return {_familyRange.location, _familyRange.length};
    }
    QRect focusedTextFieldRect() const override;
    std::pair<int, int> highlightOfCell(const Entry* item, int column) const override;
    bool isDimmedItem(const Entry* item) const override;
    bool hasFocusedTextField() const override { return focusedTextField() != nullptr; }
    bool rowViewSelectSelfRow(int row) override;
    bool outlineViewDoubleClickedItem(Entry* item, int column) override;
    bool selectionShouldChangeInOutlineView() override { return !_isDisplayingAlart && !_isEditingText; }
    void outlineViewItemWillCollapse(Entry* item) override;
    void outlineViewItemDidExpand(Entry* item) override;
    void outlineViewItemDidCollapse(Entry* item) override;
    void outlineViewRowsDidMove() override { placeRowControls(); }

    void buildControls();
    void buildObjectView();
    void objectsDocumentDidLoad();
    // After each batch: the object view shows new values, or is rebuilt when the graph may have changed.
    void objectsDocumentDidChange(const editing::CommandBatch& inverses);
    void objectsUpdateEditActions();
    EntryRef objectToGoTo() const;
    bool changeObjectValue(model::ArchiveNode& node, const QString& typed);
    // Shift+Return in the row's field: the editor takes over the field's text and caret.
    void editValueFromField();
    void buildMenus();
    void buildKeyboardActions(QMenu* edit);
    void placeRowControls();
    // Shows the field over a cell of the selected row with the cell's exact text.
    void showFieldEditor(Entry* item, int column);
    void notifyStateChanged();
    void updateEditActions();
    void updateTitleAndEditedMark();
    void showTitle(bool edited);
    void updateUndoActions();
    void outlineViewSelectionDidChange();
    void reloadOutline();
    // The two halves of windowDidLoad around reading the file.
    void prepareToLoad();
    bool didLoad();
    void showLoadFailure();
    // Shows or hides the change bar after an event on the watched file.
    void checkFileOnDisk();

    // Untitled windows are numbered 1, 2, ...; each takes the lowest number no open window holds, and gives
    // it back when it closes or gets a file.
    void takeUntitledNumber();
    void releaseUntitledNumber();

    model::PlistDocument _document;
    model::PlistDocument* _recovered = nullptr; // what windowDidLoad takes instead of the file
    model::LoadOutcome _loadOutcome;
    editing::CommandEngine _engine{*this};
    platform::UndoManager* _undoManager = nullptr;
    QString _windowTitle[2];
    QString _fileName;
    int _untitledNumber = 0; // 0: the window has a file, or has closed
    EntryRef _currentItem;
    FamilyRange _familyRange;
    bool _isEditingText = false;
    bool _isUpdatingTextField = false;
    bool _isDisplayingAlart = false;
    bool _isUseOriginalKey = true;
    bool _isSelectingFromCode = false;
    bool _movedRows = false;
    bool _closingWithoutAsking = false;
    bool _isAskingToClose = false;
    quint64 _refreshGeneration = 0;
    EntryRef _oldParent;
    int64_t _fromIndex = -1;
    QPointer<QMimeData> _dragData;
    int _parkedCursor = 0, _parkedSelectionStart = -1, _parkedSelectionLength = 0;

    // The file as last read or written, and its state when the user chose Ignore.
    std::optional<platform::FileIdentity> _diskIdentity;
    std::optional<platform::FileIdentity> _ignoredIdentity;
    // The number of undo steps at which the document is what its file holds; -1 when no longer reachable.
    int _cleanUndoCount = 0;
    MyFileChangeBar* _fileChangeBar = nullptr;
    MyFindBar* _findBar = nullptr;
    MyNavigator* _navigator = nullptr;
    DocumentLoader* _loader = nullptr; // the document's load, or a reload from disk
    void endReload();
    void didReload(model::PlistDocument& fresh, const model::LoadOutcome& outcome,
                   const std::optional<platform::FileIdentity>& identity);
    MyLoadProgress* _loadProgress = nullptr;
    views::MyOutlineView* _outlineView = nullptr;
    views::EntryTreeModel* _model = nullptr;
    views::MyButton* _addButton = nullptr;
    views::MyButton* _deleteButton = nullptr;
    views::MyPopUpButton* _classPopupButton = nullptr;
    views::MyPopUpButton* _rootClassPopupButton = nullptr;
    views::MyTextField* _editorField = nullptr;
    views::MyTextField* _focusedTextField = nullptr;
    QMenu* _editMenu = nullptr;
    QAction* _undoAction = nullptr;
    QAction* _redoAction = nullptr;
    QAction* _cutAction = nullptr;
    QAction* _copyAction = nullptr;
    QAction* _pasteAction = nullptr;
    QAction* _deleteAction = nullptr;
    QAction* _editValueAction = nullptr;
    QAction* _sortKeysAction = nullptr;
    QPointer<views::ValueEditor> _valueEditor;
    QTreeView* _objectView = nullptr;
    views::ObjectTreeModel* _objectModel = nullptr;
    QAction* _showObjectsAction = nullptr;
    QAction* _goToObjectAction = nullptr;
    bool _objectsStale = true;
};

} // namespace window
