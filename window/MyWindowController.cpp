#include "MyWindowController.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include "editing/TypeConversion.h"
#include "platform/qt/MainQueue.h"
#include "platform/qt/NotificationCenter.h"
#include "platform/qt/UndoManager.h"
#include "views/EntryTreeModel.h"
#include "views/MyOutlineView.h"

namespace window {

using model::EntryType;
using platform::NotificationCenter;
using platform::UndoManager;

namespace {
// Where the desktop shows the window's modified mark ("*") while the document has changes.
const QString kModifiedPlaceholder = QStringLiteral("[*]");
} // namespace

MyWindowController::MyWindowController(const QString& url, QWidget* parent)
    : QMainWindow(parent), _document(url.toStdString()) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    _outlineView = new views::MyOutlineView(this);
    _model = new views::EntryTreeModel(this);
    _outlineView->setModel(_model);
    _model->setDataSource(this);
    setCentralWidget(_outlineView);
    connect(_outlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
    buildMenus();
    resize(640, 480);
}

MyWindowController::~MyWindowController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

unsigned MyWindowController::localWindowNumber() {
    static unsigned counter = 0;
    return counter++;
}

bool MyWindowController::windowDidLoad() {
    if (localWindowNumber() == 0) {
        // The first window of the process stands at the top left of the screen; later ones cascade.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect area = screen->availableGeometry();
            move(area.left() + 16, area.top() + 16);
        }
    }
    resetTitleAndUndo();
    _document._entryArray.clear();
    _document._idNumber = 0;
    _currentItem = nullptr;
    _familyRange = {};
    _isDisplayingAlart = false;
    _isEditingText = false;
    _loadOutcome = _document.openPlistFile();
    if (!_loadOutcome.ok) return false;

    _model->setRoot(_document.root());
    _outlineView->header()->setStretchLastSection(true);
    _outlineView->header()->setSectionResizeMode(views::EntryTreeModel::TypeColumn, QHeaderView::Fixed);
    _outlineView->setColumnWidth(views::EntryTreeModel::KeyColumn, 220);
    _outlineView->setColumnWidth(views::EntryTreeModel::TypeColumn, 100);
    _outlineView->expand(_model->indexForEntry(_document.root().get()));
    return true;
}

void MyWindowController::buildMenus() {
    QMenu* edit = menuBar()->addMenu(tr("Edit"));
    _undoAction = edit->addAction(tr("Undo"));
    _undoAction->setShortcut(QKeySequence::Undo);
    connect(_undoAction, &QAction::triggered, this, [this] {
        if (_undoManager) _undoManager->undo();
    });
    _redoAction = edit->addAction(tr("Redo"));
    _redoAction->setShortcut(QKeySequence::Redo);
    connect(_redoAction, &QAction::triggered, this, [this] {
        if (_undoManager) _undoManager->redo();
    });
    edit->addSeparator();
    _cutAction = edit->addAction(tr("Cut"), this, [this] { cut(); });
    _cutAction->setShortcut(QKeySequence::Cut);
    _copyAction = edit->addAction(tr("Copy"), this, [this] { copy(); });
    _copyAction->setShortcut(QKeySequence::Copy);
    _pasteAction = edit->addAction(tr("Paste"), this, [this] { paste(); });
    _pasteAction->setShortcut(QKeySequence::Paste);
    // No shortcut: Delete and Backspace belong to the outline and to the field being edited.
    _deleteAction = edit->addAction(tr("Delete"), this, [this] { deleteAction(); });
    updateEditActions();

    // Type change of the selected entry, until the rows carry their own type pop-ups.
    _typeMenu = menuBar()->addMenu(tr("Type"));
    for (EntryType t : {EntryType::Array, EntryType::Dictionary, EntryType::Boolean, EntryType::Data,
                        EntryType::Date, EntryType::Number, EntryType::String}) {
        auto name = model::typeName(t);
        QAction* a = _typeMenu->addAction(tr(std::string(name).c_str()));
        connect(a, &QAction::triggered, this, [this, t] { changeCurrentItemClassTypeWithNewClassType(t); });
    }
    connect(_typeMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* a : _typeMenu->actions())
            a->setEnabled(bool(_currentItem));
    });
}

void MyWindowController::resetTitleAndUndo() {
    if (!_document._url.empty()) {
        QString path = QString::fromStdString(_document._url);
        setWindowFilePath(path);
        _fileName = QFileInfo(path).fileName();
    } else {
        _fileName = tr("Untitled") + QStringLiteral(".plist");
    }
    _windowTitle[0] = _fileName;
    _windowTitle[1] = tr("%1 \u2014 %2").arg(_fileName, tr("Edited"));
    setWindowTitle(_windowTitle[0] + kModifiedPlaceholder);
    setWindowModified(false);

    NotificationCenter& center = NotificationCenter::defaultCenter();
    if (_undoManager) {
        for (const QString& name :
             {UndoManager::kDidCloseUndoGroup, UndoManager::kDidUndoChange, UndoManager::kDidRedoChange})
            center.removeObserver(this, name);
        _undoManager->disconnect(this);
        _undoManager->deleteLater();
    }
    _undoManager = new UndoManager(this);
    // The window follows its own undo manager, whichever window is active.
    for (const QString& name :
         {UndoManager::kDidCloseUndoGroup, UndoManager::kDidUndoChange, UndoManager::kDidRedoChange})
        center.addObserver(
            this, name, [this](const platform::Notification&) { updateTitleAndEditedMark(); }, _undoManager);
    connect(_undoManager, &UndoManager::changed, this, [this] { updateUndoActions(); });
    updateUndoActions();
}

bool MyWindowController::canUndo() const {
    return _undoManager && _undoManager->canUndo();
}

void MyWindowController::updateTitleAndEditedMark() {
    bool edited = canUndo();
    setWindowTitle(_windowTitle[edited ? 1 : 0] + kModifiedPlaceholder);
    setWindowModified(edited);
}

void MyWindowController::updateUndoActions() {
    if (!_undoAction) return;
    _undoAction->setText(_undoManager->undoMenuItemTitle());
    _undoAction->setEnabled(_undoManager->canUndo());
    _redoAction->setText(_undoManager->redoMenuItemTitle());
    _redoAction->setEnabled(_undoManager->canRedo());
}

void MyWindowController::changeCurrentItemClassTypeWithNewClassType(EntryType type) {
    EntryRef e = _currentItem;
    if (!e || e->type() == type) return;
    model::Entry::Value value = editing::convertedValue(*e, type);
    EntryRef parent = e == _document.root() ? EntryRef() : EntryRef(e->parent());
    model::Children children = e->isContainer() ? e->child() : model::Children();
    doCommands(
        {editing::CommandRecord::changeType(e, parent, type, std::move(value), std::move(children), {})});
}

void MyWindowController::didTextEndEditingSub() {
    _isEditingText = false;
}

void MyWindowController::updateEditActions() {
    if (!_cutAction) return;
    for (QAction* a : {_cutAction, _copyAction, _pasteAction, _deleteAction})
        a->setEnabled(bool(_currentItem));
}

void MyWindowController::registerUndoBatch(editing::CommandBatch inverses, const std::string& title) {
    QPointer<MyWindowController> self(this);
    _undoManager->registerUndo(
        [self, batch = std::move(inverses)] {
            if (self) self->doCommands(batch);
        },
        QString::fromStdString(title));
}

std::string MyWindowController::localizedString(const char* text) const {
    return tr(text).toStdString();
}

void MyWindowController::willInsertItem(Entry* parent, size_t index) {
    _isSelectingFromCode = true;
    _model->willInsertItem(parent, int(index));
}
void MyWindowController::didInsertItem() {
    _model->didInsertItem();
    _isSelectingFromCode = false;
}
void MyWindowController::willRemoveItem(Entry* parent, size_t index) {
    _isSelectingFromCode = true;
    _model->willRemoveItem(parent, int(index));
}
void MyWindowController::didRemoveItem() {
    _model->didRemoveItem();
    _isSelectingFromCode = false;
}
void MyWindowController::willMoveItem(Entry* parent, size_t from, size_t finalIndex) {
    _isSelectingFromCode = true;
    _movedRows = _model->willMoveItem(parent, int(from), int(finalIndex));
}
void MyWindowController::didMoveItem() {
    if (_movedRows) _model->didMoveItem();
    _movedRows = false;
    _isSelectingFromCode = false;
}
void MyWindowController::willRemoveChildren(Entry* item, size_t count) {
    _isSelectingFromCode = true;
    _model->willRemoveChildren(item, int(count));
}
void MyWindowController::didRemoveChildren() {
    _model->didRemoveChildren();
    _isSelectingFromCode = false;
}
void MyWindowController::willInsertChildren(Entry* item, size_t count) {
    _isSelectingFromCode = true;
    _model->willInsertChildren(item, int(count));
}
void MyWindowController::didInsertChildren() {
    _model->didInsertChildren();
    _isSelectingFromCode = false;
}
void MyWindowController::didChangeType(Entry* item) {
    _model->entryChanged(item);
}

int MyWindowController::rowForItem(const Entry* item) const {
    return _outlineView->rowForItem(item);
}

EntryRef MyWindowController::itemAtRow(int row) const {
    return EntryRef(_outlineView->itemAtRow(row));
}

size_t MyWindowController::numberOfDisplayedChildrenOfItem(const Entry* item) const {
    return _outlineView->numberOfDisplayedChildrenOfItem(item);
}

void MyWindowController::expandAncestorWithItem(Entry* item) {
    std::vector<Entry*> chain;
    for (Entry* e = item; e; e = e->parent())
        chain.push_back(e);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        QModelIndex index = _model->indexForEntry(*it);
        if ((*it)->isContainer() && !_outlineView->isExpanded(index)) _outlineView->expand(index);
    }
}

void MyWindowController::updateFamilyRange() {
    _familyRange = {};
    if (!_currentItem) return;
    int row = rowForItem(_currentItem.get());
    if (row < 0) return;
    _familyRange = {size_t(row), numberOfDisplayedChildrenOfItem(_currentItem.get()) + 1};
}

void MyWindowController::outlineViewSelectItem(Entry* item) {
    outlineViewSelectRow(item ? rowForItem(item) : -1);
}

void MyWindowController::outlineViewSelectRow(int row) {
    _isSelectingFromCode = true;
    QItemSelectionModel* sel = _outlineView->selectionModel();
    Entry* item = row >= 0 ? _outlineView->itemAtRow(row) : nullptr;
    if (item) {
        QModelIndex index = _model->indexForEntry(item);
        sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        _outlineView->scrollTo(index);
        _currentItem = EntryRef(item);
    } else {
        sel->clearSelection();
        _currentItem = nullptr;
    }
    _isSelectingFromCode = false;
    updateFamilyRange();
    updateEditActions();
}

void MyWindowController::outlineViewSelectionDidChange() {
    if (_isSelectingFromCode) return;
    QModelIndexList rows = _outlineView->selectionModel()->selectedRows();
    _currentItem = rows.isEmpty() ? EntryRef() : EntryRef(views::EntryTreeModel::entryForIndex(rows.front()));
    updateFamilyRange();
    updateEditActions();
}

// What is shown is read from the entries on every paint, so a reload is a repaint: expanded rows, the scroll
// position and the selection all stay.
void MyWindowController::reloadOutline() {
    _outlineView->viewport()->update();
}

void MyWindowController::refreshNow() {
    updateFamilyRange();
    outlineViewSelectItem(_currentItem.get());
    reloadOutline();
}

void MyWindowController::refreshLater(int milliseconds, bool focusTextField) {
    // A later batch's refresh supersedes one still waiting.
    quint64 generation = ++_refreshGeneration;
    platform::dispatchAfter(this, milliseconds, [this, generation, focusTextField] {
        if (generation == _refreshGeneration) reloadWithFocusTextField(focusTextField);
    });
}

void MyWindowController::reloadWithFocusTextField(bool) {
    updateFamilyRange();
    outlineViewSelectItem(_currentItem.get());
    reloadOutline();
    if (_currentItem) _outlineView->scrollRowToVisible(_currentItem.get());
}

} // namespace window
