#include "MyWindowController.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>

#include <set>
#include <unistd.h>

#include "DocumentLoader.h"
#include "FileWatch.h"
#include "MyFileChangeBar.h"
#include "MyFindBar.h"
#include "MyLoadProgress.h"
#include "MyNavigator.h"
#include "editing/TypeConversion.h"
#include "platform/qt/Alert.h"
#include "platform/qt/FileNames.h"
#include "platform/qt/MainQueue.h"
#include "platform/qt/NotificationCenter.h"
#include "platform/qt/UndoManager.h"
#include "views/EntryTreeModel.h"
#include "views/MyControls.h"
#include "views/MyOutlineView.h"
#include "views/ValueEditors/ValueEditor.h"

namespace window {

using model::EntryType;
using platform::NotificationCenter;
using platform::UndoManager;

namespace {
// Qt reads "[*]" in a title as the place of the modified mark, and shows "[*][*]" as "[*]".
const QString kModifiedPlaceholder = QStringLiteral("[*]");

std::set<int>& untitledNumbersHeld() {
    static std::set<int> held;
    return held;
}
} // namespace

MyWindowController::MyWindowController(const QString& url, QWidget* parent)
    : QMainWindow(parent), _document(platform::encodeFileName(url)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    _outlineView = new views::MyOutlineView(this);
    _model = new views::EntryTreeModel(this);
    _outlineView->setModel(_model);
    _model->setDataSource(this);
    _outlineView->setOutlineDelegate(this);
    // The change bar stands above the outline, shown only while the file changed on disk.
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    _fileChangeBar = new MyFileChangeBar(central);
    column->addWidget(_fileChangeBar);
    column->addWidget(_outlineView, 1);
    _findBar = new MyFindBar(this);
    column->addWidget(_findBar);
    setCentralWidget(central);
    _navigator = new MyNavigator(this);
    connect(_fileChangeBar, &MyFileChangeBar::reloadClicked, this, [this] { reloadFromDisk(); });
    connect(_fileChangeBar, &MyFileChangeBar::ignoreClicked, this, [this] {
        _ignoredIdentity = platform::FileIdentity::ofFile(_document.url());
        _fileChangeBar->hide();
    });
    connect(&FileWatch::shared(), &FileWatch::changed, this, [this](const QString& path) {
        if (path == this->url()) checkFileOnDisk();
    });
    connect(_outlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
    buildControls();
    buildMenus();
    buildObjectView();
    resize(720, 520);

    // A field that begins editing is taken by the window it belongs to.
    NotificationCenter::defaultCenter().addObserver(
        this, kTextDidBeginEditing, [this](const platform::Notification& n) {
            auto* field = qobject_cast<views::MyTextField*>(n.object);
            if (field && field->window() == this) didTextBeginEditingSubWithFocusedTextField(field);
        });
}

MyWindowController::~MyWindowController() {
    FileWatch::shared().watch(this, {});
    releaseUntitledNumber();
    NotificationCenter::defaultCenter().removeObserver(this);
    if (_isEditingText) NotificationCenter::defaultCenter().post(kTableEnableButton, this);
}

QString MyWindowController::url() const {
    return platform::decodeFileName(_document.url());
}

void MyWindowController::setURL(const QString& url) {
    _document.setURL(platform::encodeFileName(url));
}

void MyWindowController::takeUntitledNumber() {
    if (_untitledNumber) return;
    std::set<int>& held = untitledNumbersHeld();
    int n = 1;
    while (held.count(n))
        ++n;
    held.insert(n);
    _untitledNumber = n;
}

void MyWindowController::releaseUntitledNumber() {
    if (_untitledNumber) untitledNumbersHeld().erase(_untitledNumber);
    _untitledNumber = 0;
}

bool MyWindowController::windowDidLoad() {
    prepareToLoad();
    if (_recovered) {
        // A recovered document: its contents come from the recovery record, not from the file.
        _document.setRoot(_recovered->root());
        _document.setIdNumber(_recovered->idNumber());
        _document.setFormatKind(_recovered->formatKind());
        _loadOutcome = model::LoadOutcome();
        _loadOutcome.ok = true;
    } else {
        _loadOutcome = _document.openPlistFile();
    }
    return didLoad();
}

void MyWindowController::loadDocument() {
    const QFileInfo file(url());
    if (_document.url().empty() || !file.isFile() || file.size() < kBackgroundLoadBytes) {
        emit documentLoaded(windowDidLoad());
        return;
    }
    prepareToLoad();
    _loader = new DocumentLoader(_document.url(), this);
    notifyStateChanged();
    _loadProgress = new MyLoadProgress(centralWidget());
    _loadProgress->hide();
    centralWidget()->layout()->addWidget(_loadProgress);
    connect(_loadProgress, &MyLoadProgress::cancelClicked, this, [this] { cancelLoading(); });
    // Loads of less than 0.2 s show no progress at all.
    auto* poll = new QTimer(_loadProgress);
    connect(poll, &QTimer::timeout, _loadProgress, [this] {
        if (_loader) _loadProgress->showProgress(_loader->progress());
    });
    platform::dispatchAfter(this, 200, [this, poll] {
        if (!_loader) return;
        _loadProgress->showProgress(_loader->progress());
        _outlineView->hide();
        _loadProgress->show();
        poll->start(100);
    });
    connect(_loader, &DocumentLoader::finished, this, [this] {
        _loadOutcome = _loader->outcome();
        _document = _loader->takeDocument();
        _loader->deleteLater();
        _loader = nullptr;
        _loadProgress->deleteLater();
        _loadProgress = nullptr;
        _outlineView->show();
        const bool ok = didLoad();
        notifyStateChanged();
        emit documentLoaded(ok);
    });
}

void MyWindowController::cancelLoading() {
    if (_loader) close();
}

void MyWindowController::prepareToLoad() {
    resetTitleAndUndo();
    _document.reset();
    _currentItem = nullptr;
    _familyRange = {};
    _isDisplayingAlart = false;
    _isEditingText = false;
    _focusedTextField = nullptr;
    // Taken before the read: a change made while the file is read counts as a change.
    if (!_document.url().empty() && !_recovered)
        _diskIdentity = platform::FileIdentity::ofFile(_document.url());
}

bool MyWindowController::didLoad() {
    if (!_loadOutcome.ok) {
        showLoadFailure();
        return false;
    }
    if (!_document.url().empty()) FileWatch::shared().watch(this, url());

    _model->setRoot(_document.root());
    QHeaderView* header = _outlineView->header();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(views::EntryTreeModel::TypeColumn, QHeaderView::Fixed);
    _outlineView->setColumnWidth(views::EntryTreeModel::KeyColumn, 260);
    _outlineView->setColumnWidth(views::EntryTreeModel::TypeColumn, 110);
    _outlineView->expand(_model->indexForEntry(_document.root().get()));
    objectsDocumentDidLoad();
    return true;
}

void MyWindowController::windowDidLoadRecovered(model::PlistDocument&& contents,
                                                std::optional<platform::FileIdentity> disk) {
    _recovered = &contents;
    windowDidLoad();
    _recovered = nullptr;
    _diskIdentity = std::move(disk);
    _cleanUndoCount = -1; // no undo step leads back to what the file holds
    updateTitleAndEditedMark();
}

void MyWindowController::showLoadFailure() {
    // The window counts as showing its alert from now, a moment before the alert appears.
    _isDisplayingAlart = true;
    platform::dispatchAfter(this, 100, [this] {
        QMessageBox* alert = makeAlertWithMessage(
            tr("The data couldn\u2019t be read because it isn\u2019t in the correct format."), tr("OK"));
        platform::setInformativeText(
            alert, tr("\u201c%1\u201d: %2").arg(_fileName, QString::fromStdString(_loadOutcome.reason)));
        runAlert(alert, [this](int) {
            platform::dispatchAfter(
                this, 200, [this] { NotificationCenter::defaultCenter().post(kFileCouldNotBeOpened, this); });
        });
    });
}

bool MyWindowController::fileChangedOnDisk() const {
    return _diskIdentity && ::access(_document.url().c_str(), F_OK) == 0 &&
           _diskIdentity->differsFromFileAt(_document.url());
}

void MyWindowController::didWriteFile(const platform::WrittenContents& written) {
    _diskIdentity = platform::FileIdentity::ofWrittenFile(_document.url(), written.size, written.hash);
    _ignoredIdentity.reset();
    _fileChangeBar->hide();
    FileWatch::shared().watch(this, url());
}

void MyWindowController::checkFileOnDisk() {
    if (!_diskIdentity) return;
    const std::optional<platform::FileIdentity> now = platform::FileIdentity::ofFile(_document.url());
    const bool ignored = _ignoredIdentity && now && _ignoredIdentity->sameStatus(*now);
    if (!now)
        _fileChangeBar->showDeleted();
    else if (!_diskIdentity->differsFromFileAt(_document.url()) || ignored)
        _fileChangeBar->hide();
    else
        _fileChangeBar->showChanged();
}

QMenu* MyWindowController::viewMenu() {
    for (QAction* a : menuBar()->actions())
        if (a->menu() && a->menu()->objectName() == QLatin1String("view")) return a->menu();
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("view"));
    return view;
}

void MyWindowController::reloadFromDisk() {
    if (isLoading() || _isDisplayingAlart || (_isEditingText && !updateFocusedTextField())) return;
    std::optional<platform::FileIdentity> identity = platform::FileIdentity::ofFile(_document.url());
    // Read as opening reads, numbering the new entries on from the document's own counter; a large file on
    // a worker, while the window takes no edits.
    if (QFileInfo(url()).size() < kBackgroundLoadBytes) {
        model::PlistDocument fresh(_document.url());
        fresh.setIdNumber(_document.idNumber());
        const model::LoadOutcome outcome = fresh.openPlistFile();
        return didReload(fresh, outcome, identity);
    }
    _loader = new DocumentLoader(_document.url(), this, _document.idNumber());
    _outlineView->setEnabled(false);
    notifyStateChanged();
    connect(_loader, &DocumentLoader::finished, this, [this, identity] {
        const model::LoadOutcome outcome = _loader->outcome();
        model::PlistDocument fresh = _loader->takeDocument();
        endReload();
        didReload(fresh, outcome, identity);
    });
}

void MyWindowController::endReload() {
    _loader->cancel(); // nothing once it has delivered; else what it read is never delivered
    _loader->deleteLater();
    _loader = nullptr;
    _outlineView->setEnabled(true);
    notifyStateChanged();
}

void MyWindowController::didReload(model::PlistDocument& fresh, const model::LoadOutcome& outcome,
                                   const std::optional<platform::FileIdentity>& identity) {
    if (!outcome.ok) {
        QMessageBox* alert = makeAlertWithMessage(
            tr("The data couldn\u2019t be read because it isn\u2019t in the correct format."), tr("OK"));
        platform::setInformativeText(
            alert, tr("\u201c%1\u201d: %2").arg(_fileName, QString::fromStdString(outcome.reason)));
        runAlert(alert);
        return;
    }
    _document.setIdNumber(fresh.idNumber());
    doCommands(editing::rootReplacement(_document.root(), fresh.root(), "Reload from Disk"));
    _document.setFormatKind(fresh.formatKind());
    _cleanUndoCount = _undoManager->undoCount();
    updateTitleAndEditedMark();
    _diskIdentity = identity;
    _ignoredIdentity.reset();
    _fileChangeBar->hide();
    FileWatch::shared().rearm(url());
}

void MyWindowController::buildControls() {
    QWidget* rows = _outlineView->viewport();
    const QPalette palette = QApplication::palette();
    _addButton = new views::MyButton(rows);
    _addButton->setText(QStringLiteral("+"));
    _addButton->setToolTip(tr("Add Item"));
    _deleteButton = new views::MyButton(rows);
    _deleteButton->setText(QStringLiteral("\u2212"));
    _deleteButton->setToolTip(tr("Delete Item"));
    for (views::MyButton* b : {_addButton, _deleteButton}) {
        b->setMyDelegate(this);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setPalette(palette);
        b->hide();
        connect(b, &QToolButton::clicked, this, [this, b] { handlingButton(b); });
    }
    _classPopupButton = new views::MyPopUpButton(rows);
    _rootClassPopupButton = new views::MyPopUpButton(rows);
    for (views::MyPopUpButton* p : {_classPopupButton, _rootClassPopupButton}) {
        for (model::EntryType t : {EntryType::Array, EntryType::Dictionary, EntryType::Boolean,
                                   EntryType::Data, EntryType::Date, EntryType::Number, EntryType::String})
            p->addItem(QString::fromUtf8(std::string(model::typeName(t)).c_str()));
        p->setMyDelegate(this);
        p->setPalette(palette);
        p->hide();
        connect(p, &QComboBox::activated, this, [this, p](int i) { handlingPopupButton(p->itemText(i)); });
    }
    _editorField = new views::MyTextField(rows);
    _editorField->setPalette(palette);
    _editorField->hide();
    connect(_editorField, &views::MyTextField::commitRequested, this, [this] {
        if (_isEditingText && !_isUpdatingTextField && !_isDisplayingAlart) updateFocusedTextField();
    });
    connect(_editorField, &views::MyTextField::cancelRequested, this, [this] {
        if (_isEditingText && !_isUpdatingTextField && !_isDisplayingAlart) {
            didTextEndEditingSub();
            reloadOutline();
        }
    });
    connect(_editorField, &QLineEdit::textChanged, this, [this] { updateUndoActions(); });
    connect(_editorField, &views::MyTextField::editorRequested, this, [this] { editValueFromField(); });
    connect(_outlineView, &views::MyOutlineView::valueEditorRequested, this,
            [this] { editValueOfCurrentItem(); });
}

void MyWindowController::buildMenus() {
    _editMenu = menuBar()->addMenu(tr("&Edit"));
    QMenu* edit = _editMenu;
    _undoAction = edit->addAction(tr("Undo"), this, [this] { undo(); });
    _undoAction->setShortcut(QKeySequence::Undo);
    _redoAction = edit->addAction(tr("Redo"), this, [this] { redo(); });
    // Ctrl+Y redoes too, where the desktop's bindings lack it.
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    if (!redoKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)))
        redoKeys << QKeySequence(Qt::CTRL | Qt::Key_Y);
    _redoAction->setShortcuts(redoKeys);
    edit->addSeparator();
    _cutAction = edit->addAction(tr("Cut"), this, [this] { cut(); });
    _cutAction->setShortcut(QKeySequence::Cut);
    _copyAction = edit->addAction(tr("Copy"), this, [this] { copy(); });
    _copyAction->setShortcut(QKeySequence::Copy);
    _pasteAction = edit->addAction(tr("Paste"), this, [this] { paste(); });
    _pasteAction->setShortcut(QKeySequence::Paste);
    // No shortcut: Delete and Backspace belong to the outline and to the field being edited.
    _deleteAction = edit->addAction(tr("Delete"), this, [this] { deleteAction(); });
    edit->addSeparator();
    _editValueAction = edit->addAction(tr("Edit Value\u2026"), this, [this] { editValueOfCurrentItem(); });
    _editValueAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    // With Shift held, the whole branch.
    _sortKeysAction = edit->addAction(tr("Sort Keys"), this, [this] {
        sortKeysOfCurrentItem(QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
    });
    edit->addAction(tr("Find\u2026"), this, [this] { _findBar->showFind(false); })
        ->setShortcut(QKeySequence::Find);
    edit->addAction(tr("Find Next"), this, [this] { _findBar->findNext(); })
        ->setShortcuts({QKeySequence(Qt::Key_F3), QKeySequence(Qt::CTRL | Qt::Key_G)});
    edit->addAction(tr("Find Previous"), this, [this] { _findBar->findPrevious(); })
        ->setShortcuts(
            {QKeySequence(Qt::SHIFT | Qt::Key_F3), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G)});
    edit->addAction(tr("Replace\u2026"), this, [this] { _findBar->showFind(true); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    buildKeyboardActions(edit);
    _navigator->buildMenus(edit);
    updateEditActions();
}

void MyWindowController::resetTitleAndUndo() {
    if (!_document.url().empty()) {
        releaseUntitledNumber();
        const QString path = url();
        setWindowFilePath(platform::displayFileName(path));
        _fileName = platform::displayFileName(QFileInfo(path).fileName());
    } else {
        takeUntitledNumber();
        _fileName = (_untitledNumber == 1 ? tr("Untitled") : tr("Untitled %1").arg(_untitledNumber)) +
                    QStringLiteral(".plist");
    }
    _windowTitle[0] = _fileName;
    _windowTitle[1] = tr("%1 \u2014 %2").arg(_fileName, tr("Edited"));
    showTitle(false);

    NotificationCenter& center = NotificationCenter::defaultCenter();
    if (_undoManager) {
        for (const QString& name :
             {UndoManager::kDidCloseUndoGroup, UndoManager::kDidUndoChange, UndoManager::kDidRedoChange})
            center.removeObserver(this, name);
        _undoManager->disconnect(this);
        _undoManager->deleteLater();
    }
    _undoManager = new UndoManager(this);
    _cleanUndoCount = 0;
    // The window follows its own undo manager, whichever window is active.
    for (const QString& name :
         {UndoManager::kDidCloseUndoGroup, UndoManager::kDidUndoChange, UndoManager::kDidRedoChange})
        center.addObserver(
            this, name, [this](const platform::Notification&) { updateTitleAndEditedMark(); }, _undoManager);
    connect(_undoManager, &UndoManager::changed, this, [this] { updateUndoActions(); });
    updateUndoActions();
}

bool MyWindowController::canUndo() const {
    return _undoManager && _undoManager->undoCount() != _cleanUndoCount;
}

void MyWindowController::updateTitleAndEditedMark() {
    showTitle(canUndo());
    notifyStateChanged();
}

void MyWindowController::showTitle(bool edited) {
    // "Edited" is the one mark in the title, so it holds no placeholder, and a "[*]" of the file name shows
    // as itself. The window's modified flag is set alone: setWindowModified would want the placeholder.
    setWindowTitle(QString(_windowTitle[edited ? 1 : 0]).replace(kModifiedPlaceholder, "[*][*]"));
    setAttribute(Qt::WA_WindowModified, edited);
}

void MyWindowController::updateUndoActions() {
    if (!_undoAction || !_undoManager) return;
    // While a field is edited, Undo first undoes its typing; with none left it ends the edit and undoes the
    // document's last step.
    views::MyTextField* field = focusedTextField();
    const bool fieldUndo = field && field->isUndoAvailable();
    const bool fieldRedo = field && field->isRedoAvailable();
    _undoAction->setText(fieldUndo ? tr("Undo Typing") : _undoManager->undoMenuItemTitle());
    _undoAction->setEnabled(fieldUndo || _undoManager->canUndo());
    _redoAction->setText(fieldRedo ? tr("Redo Typing") : _undoManager->redoMenuItemTitle());
    _redoAction->setEnabled(fieldRedo || _undoManager->canRedo());
}

void MyWindowController::undo() {
    if (views::MyTextField* field = focusedTextField()) {
        if (field->isUndoAvailable()) return field->undo();
        didTextEndEditingSub();
    }
    if (_undoManager && _undoManager->canUndo()) _undoManager->undo();
}

void MyWindowController::redo() {
    if (views::MyTextField* field = focusedTextField()) {
        if (field->isRedoAvailable()) return field->redo();
        didTextEndEditingSub();
    }
    if (_undoManager && _undoManager->canRedo()) _undoManager->redo();
}

void MyWindowController::notifyStateChanged() {
    updateEditActions();
    updateUndoActions();
    emit stateChanged();
}

bool MyWindowController::isUndoingOrRedoing() const {
    return _undoManager->isUndoing() || _undoManager->isRedoing();
}

void MyWindowController::changeCurrentItemClassTypeWithNewClassType(EntryType type) {
    if (editing::CommandBatch batch = editing::typeChangeBatch(_currentItem, type); !batch.empty())
        doCommands(batch);
}

void MyWindowController::updateEditActions() {
    if (!_cutAction) return;
    // Nothing in the Edit menu acts on a document still loading; Undo and Redo follow the undo stack.
    for (QAction* a : _editMenu->actions())
        if (a != _undoAction && a != _redoAction) a->setEnabled(!isLoading());
    if (isLoading()) return;
    // While a field is edited the four act on its text.
    const bool field = focusedTextField();
    _cutAction->setEnabled(field || canDeleteItem());
    _copyAction->setEnabled(field || _currentItem);
    _pasteAction->setEnabled(field || canAddItem());
    _deleteAction->setEnabled(field || canDeleteItem());
    _editValueAction->setEnabled(canEditValue());
    _sortKeysAction->setEnabled(!field && _currentItem && _currentItem->isContainer());
    _addButton->setEnabled(!_isEditingText && canAddItem());
    _deleteButton->setEnabled(!_isEditingText && canDeleteItem());
    objectsUpdateEditActions();
}

void MyWindowController::registerUndoBatch(editing::CommandBatch inverses, const std::string& title) {
    // A new step after undoing past the clean state drops the redo steps that led back to it.
    if (!_undoManager->isUndoing() && !_undoManager->isRedoing() &&
        _undoManager->undoCount() < _cleanUndoCount)
        _cleanUndoCount = -1;
    _findBar->documentDidChange();
    objectsDocumentDidChange(inverses);
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
    // The family frame and the in-row controls follow the selection.
    _outlineView->viewport()->update();
    placeRowControls();
    notifyStateChanged();
}

void MyWindowController::outlineViewSelectionDidChange() {
    if (_isSelectingFromCode) return;
    QModelIndexList rows = _outlineView->selectionModel()->selectedRows();
    EntryRef selected =
        rows.isEmpty() ? EntryRef() : EntryRef(views::EntryTreeModel::entryForIndex(rows.front()));
    if (selected == _currentItem) return;
    _currentItem = selected;
    _navigator->didSelect(selected);
    updateFamilyRange();
    _focusedTextField = nullptr;
    if (_isEditingText) didTextEndEditingSub();
    reloadOutline();
    notifyStateChanged();
}

// What is shown is read from the entries on every paint, so a reload is a repaint: expanded rows, the scroll
// position and the selection all stay; the in-row controls move to the selected row.
void MyWindowController::reloadOutline() {
    _outlineView->viewport()->update();
    placeRowControls();
}

void MyWindowController::refreshNow() {
    updateFamilyRange();
    outlineViewSelectItem(_currentItem.get());
    reloadOutline();
}

void MyWindowController::refreshLater(int milliseconds, bool focusTextField) {
    // A later batch's refresh supersedes one still waiting.
    quint64 generation = ++_refreshGeneration;
    EntryRef target = _currentItem;
    platform::dispatchAfter(this, milliseconds, [this, generation, focusTextField, target] {
        if (generation != _refreshGeneration) return;
        // Editing starts only on the very entry the batch selected, still in the tree and selected, with no
        // alert up, no edit open and the window not closing.
        bool focus = focusTextField && target && target == _currentItem && !_isDisplayingAlart &&
                     !_isEditingText && !_closingWithoutAsking && isVisible();
        if (focus) {
            const Entry* e = target.get();
            while (e->parent())
                e = e->parent();
            focus = e == rootEntry().get();
        }
        reloadWithFocusTextField(focus);
    });
}

void MyWindowController::reloadWithFocusTextField(bool focus) {
    updateFamilyRange();
    outlineViewSelectItem(_currentItem.get());
    reloadOutline();
    if (!_currentItem) return;
    _outlineView->scrollRowToVisible(_currentItem.get());
    if (!focus) return;
    Entry* e = _currentItem.get();
    const bool inDictionary = e->parent() && e->parent()->type() == EntryType::Dictionary;
    const int column = inDictionary ? views::EntryTreeModel::KeyColumn : views::EntryTreeModel::ValueColumn;
    if (!isEditableCell(*e, column)) return;
    showFieldEditor(e, column);
    didTextBeginEditingSubWithFocusedTextField(_editorField);
}

void MyWindowController::closeEvent(QCloseEvent* event) {
    // A reload under way ends first; the document stays as it was, to be saved or not as usual.
    if (_loader && _document.root()) endReload();
    if (_closingWithoutAsking || windowShouldClose()) {
        event->accept();
        releaseUntitledNumber();
        // A window closed while it loads ends its load; the worker frees what it built.
        delete _loader;
        _loader = nullptr;
    } else {
        event->ignore();
    }
}

void MyWindowController::closeWithoutAsking() {
    _closingWithoutAsking = true;
    close();
}

bool MyWindowController::windowShouldClose() {
    if (!finishValueEditor() || _isDisplayingAlart) return false;
    if (_isEditingText && !updateFocusedTextField()) return false;
    if (!canUndo()) {
        NotificationCenter::defaultCenter().post(kWindowShoudClose, this);
        return true;
    }
    _isAskingToClose = true;
    QMessageBox* alert = makeAlertWithMessage(
        tr("Do you want to save the changes made to the document \u201c%1\u201d?").arg(_fileName), tr("Save"),
        tr("Revert Changed"), tr("Cancel"));
    runAlert(alert, [this](int answer) {
        _isAskingToClose = false;
        QPointer<MyWindowController> self(this);
        NotificationCenter::defaultCenter().post(kWindowShoudClose, this, {{kReturnCode, answer}});
        if (!self) return;
        if (answer == platform::kAlertThirdButtonReturn && _currentItem)
            outlineViewSelectItem(_currentItem.get());
    });
    return false;
}

} // namespace window
