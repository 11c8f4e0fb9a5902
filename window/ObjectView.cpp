// The object view of a keyed archive in the document window: View > Show as Objects, Go to Object, and value
// edits made through it on the plain tree.
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "MyWindowController.h"
#include "editing/EditDecisions.h"
#include "model/KeyedArchive.h"
#include "model/ValueText.h"
#include "views/MyOutlineView.h"
#include "views/ObjectTreeModel.h"

namespace window {

using model::ArchiveNode;
using model::KeyedArchive;

namespace {
QString structuralEditsTip() {
    return MyWindowController::tr(
        "Structural edits are made in the plain view: turn off View \u203a Show as Objects.");
}
} // namespace

void MyWindowController::buildObjectView() {
    _objectModel = new views::ObjectTreeModel(this);
    _objectModel->editValue = [this](ArchiveNode& node, const QString& text) {
        return changeObjectValue(node, text);
    };
    _objectView = new QTreeView(this);
    _objectView->setModel(_objectModel);
    _objectView->setUniformRowHeights(true);
    _objectView->setAlternatingRowColors(true);
    // A double click or F2 anywhere on a row edits its value, the only cell that edits.
    _objectView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    _objectView->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto editValue = [this] { _objectView->edit(_objectView->currentIndex().siblingAtColumn(2)); };
    connect(_objectView, &QAbstractItemView::doubleClicked, this, editValue);
    auto* edit = new QAction(_objectView);
    edit->setShortcut(Qt::Key_F2);
    edit->setShortcutContext(Qt::WidgetShortcut);
    connect(edit, &QAction::triggered, this, editValue);
    _objectView->addAction(edit);
    _objectView->header()->setStretchLastSection(true);
    _objectView->setColumnWidth(views::ObjectTreeModel::KeyColumn, 260);
    _objectView->setColumnWidth(views::ObjectTreeModel::TypeColumn, 160);
    _objectView->hide();
    // Below the change bar, in the outline's place.
    static_cast<QVBoxLayout*>(centralWidget()->layout())->insertWidget(2, _objectView, 1);
    connect(_objectView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { notifyStateChanged(); });

    QMenu* view = viewMenu();
    view->addSeparator();
    _showObjectsAction =
        view->addAction(tr("Show as Objects"), this, [this](bool on) { setShowsObjects(on); });
    _showObjectsAction->setCheckable(true);
    _showObjectsAction->setEnabled(false);
    _showObjectsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    _goToObjectAction = view->addAction(tr("Go to Object"), this, [this] { goToObject(); });
    _goToObjectAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    _goToObjectAction->setEnabled(false);

    _objectView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(_objectView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->setToolTipsVisible(true);
        menu->addAction(_goToObjectAction);
        menu->addSeparator();
        for (const QString& title :
             {tr("Cut"), tr("Paste"), tr("Add Item"), tr("Delete Item"), tr("Change Type")}) {
            QAction* a = menu->addAction(title);
            a->setEnabled(false);
            a->setToolTip(structuralEditsTip());
        }
        menu->popup(_objectView->viewport()->mapToGlobal(at));
    });
    _editMenu->setToolTipsVisible(true);
}

bool MyWindowController::showsObjects() const {
    return _objectView && _objectView->isVisibleTo(this);
}

void MyWindowController::setShowsObjects(bool on) {
    if (on && !_objectModel->archive() && !_objectsStale) on = false;
    if (_isEditingText && !updateFocusedTextField()) on = showsObjects();
    if (on && _objectsStale) {
        _objectsStale = false;
        _objectModel->setRoot(rootEntry());
        if (!_objectModel->archive()) on = false;
        _objectView->expand(_objectModel->index(0, 0));
        _objectView->setCurrentIndex(_objectModel->index(0, 0));
    }
    _outlineView->setVisible(!on);
    _objectView->setVisible(on);
    _showObjectsAction->setChecked(on);
    (on ? static_cast<QWidget*>(_objectView) : _outlineView)->setFocus(Qt::OtherFocusReason);
    notifyStateChanged();
}

void MyWindowController::objectsDocumentDidLoad() {
    _objectsStale = true;
    const bool archive = KeyedArchive::isKeyedArchive(*rootEntry());
    _showObjectsAction->setEnabled(archive);
    setShowsObjects(archive);
}

void MyWindowController::objectsDocumentDidChange(const editing::CommandBatch& inverses) {
    // Value edits leave the graph as it is, unless they change a uid or a class name.
    bool valuesOnly = true;
    for (const editing::CommandRecord& r : inverses) {
        if (r.command.empty()) continue;
        const Entry* parent = r.parent ? r.parent->get() : nullptr;
        const Entry* e = parent && parent->isContainer() && size_t(r.itemIndex) < parent->child().size()
                             ? parent->child()[size_t(r.itemIndex)].get()
                             : nullptr;
        if (r.command != editing::kChangeValue || !e || e->key.view() == "CF$UID" ||
            e->key.view() == "$classname")
            valuesOnly = false;
    }
    _showObjectsAction->setEnabled(KeyedArchive::isKeyedArchive(*rootEntry()));
    if (valuesOnly) return _objectModel->valuesChanged();
    _objectsStale = true;
    if (showsObjects()) {
        // Rebuilt at once, collapsed: the objects may now stand elsewhere.
        _objectModel->setRoot({});
        setShowsObjects(true);
    }
}

void MyWindowController::objectsUpdateEditActions() {
    if (!_goToObjectAction) return;
    _goToObjectAction->setEnabled(bool(objectToGoTo()));
    // In the object view only values change, in place; everything else is done in the plain view.
    const bool objects = showsObjects();
    const std::vector<QAction*> managed = {_cutAction,       _copyAction,     _pasteAction,     _deleteAction,
                                           _editValueAction, _sortKeysAction, _goToObjectAction};
    for (QAction* a : _editMenu->actions()) {
        if (a->isSeparator() || a == _undoAction || a == _redoAction) continue;
        a->setToolTip(objects ? structuralEditsTip() : QString());
        if (objects)
            a->setEnabled(false);
        else if (std::find(managed.begin(), managed.end(), a) == managed.end())
            a->setEnabled(true);
    }
}

EntryRef MyWindowController::objectToGoTo() const {
    if (!rootEntry()) return {};
    if (showsObjects()) {
        ArchiveNode* node = _objectModel->nodeForIndex(_objectView->currentIndex());
        return node && node->uid ? node->object : EntryRef();
    }
    return _currentItem ? KeyedArchive::objectOfUid(*rootEntry(), *_currentItem) : EntryRef();
}

void MyWindowController::goToObject() {
    EntryRef target = objectToGoTo();
    if (!target) return;
    if (showsObjects()) setShowsObjects(false);
    expandAncestorWithItem(target->parent());
    outlineViewSelectItem(target.get());
    _outlineView->setFocus(Qt::OtherFocusReason);
}

bool MyWindowController::changeObjectValue(ArchiveNode& node, const QString& typed) {
    EntryRef e = node.entry;
    if (!e || e->isContainer() || _isDisplayingAlart) return false;
    editing::CommandBatch batch;
    bool valid = true;
    if (node.form == ArchiveNode::Form::Plain) {
        // A Boolean is typed as a word ("true", "no") and read by the truth rules of typed text.
        const QString text = e->type() == model::EntryType::Boolean
                                 ? QString(model::boolWithText(typed.toStdString()) ? "1" : "0")
                                 : typed;
        editing::EditDecision decision = editing::valueChange(e, text);
        valid = !decision.alert;
        batch = std::move(decision.batch);
    } else if (typed.toStdString() != _objectModel->archive()->formText(node)) {
        std::optional<Entry::Value> value = _objectModel->archive()->formValue(node, typed.toStdString());
        valid = bool(value);
        if (value) batch = editing::valueChangeBatch(e, std::move(*value));
    }
    if (!valid) {
        runAlert(makeAlertWithMessage(tr("Your entry is not valid."), tr("OK")));
        return false;
    }
    if (!batch.empty()) doCommands(batch);
    return true;
}

} // namespace window
