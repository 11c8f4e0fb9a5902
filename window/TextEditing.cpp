// Selection, in-place editing, keys and clicks of a document window, and the controls that stand in the
// selected row.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "MyFindBar.h"
#include "MyWindowController.h"
#include "platform/qt/NotificationCenter.h"
#include "views/MyControls.h"
#include "views/MyOutlineView.h"

namespace window {

using model::EntryType;
using platform::NotificationCenter;
using views::EntryTreeModel;

bool MyWindowController::isEditableCell(const Entry& item, int column) {
    return (column == EntryTreeModel::KeyColumn || column == EntryTreeModel::ValueColumn) &&
           editing::editsInPlace(item, column == EntryTreeModel::KeyColumn);
}

QString MyWindowController::fieldTextOfItem(const Entry& item, bool keyField) {
    return editing::fieldText(item, keyField);
}

void MyWindowController::placeRowControls() {
    QWidget* controls[] = {_addButton, _deleteButton, _classPopupButton, _rootClassPopupButton};
    Entry* e = _currentItem.get();
    const QRect key = e ? _outlineView->cellRect(e, EntryTreeModel::KeyColumn) : QRect();
    if (key.isNull()) {
        for (QWidget* w : controls)
            w->hide();
        if (_isEditingText) _editorField->hide();
        return;
    }
    const bool root = e == rootEntry().get();
    // The buttons stand at the right end of the key cell: add, then delete; the root has only add, where
    // other rows show delete.
    // They never start left of the key cell, whatever its width: the triangle stays free.
    const int side = key.height();
    const QRect second(std::max(key.right(), key.left() + 2 * side - 1) - side + 1, key.top(), side, side);
    const QRect first = second.translated(-side, 0);
    _addButton->setGeometry(root ? second : first);
    _addButton->show();
    _deleteButton->setGeometry(second);
    _deleteButton->setVisible(!root);

    views::MyPopUpButton* wanted = root ? _rootClassPopupButton : _classPopupButton;
    views::MyPopUpButton* other = root ? _classPopupButton : _rootClassPopupButton;
    other->hide();
    const QRect type = _outlineView->cellRect(e, EntryTreeModel::TypeColumn);
    wanted->setGeometry(type.adjusted(1, 0, -1, 0));
    wanted->selectItemWithTitle(QString::fromUtf8(std::string(model::typeName(e->type())).c_str()));
    wanted->show();

    if (_isEditingText && _focusedTextField) {
        QRect cell =
            _outlineView->cellRect(e, _focusedTextField->textFieldKind() == 0 ? EntryTreeModel::KeyColumn
                                                                              : EntryTreeModel::ValueColumn);
        if (_focusedTextField->textFieldKind() == 0) cell.setRight(first.left() - 1);
        _focusedTextField->setGeometry(cell);
        _focusedTextField->show();
    }
}

void MyWindowController::showFieldEditor(Entry* item, int column) {
    _editorField->setTextFieldKind(column == EntryTreeModel::KeyColumn ? 0 : 2);
    _editorField->setExactText(fieldTextOfItem(*item, column == EntryTreeModel::KeyColumn));
}

QRect MyWindowController::focusedTextFieldRect() const {
    views::MyTextField* field = focusedTextField();
    return field && field->isVisible() ? field->geometry() : QRect();
}

void MyWindowController::didTextBeginEditingSubWithFocusedTextField(views::MyTextField* field) {
    _focusedTextField = field;
    NotificationCenter::defaultCenter().post(kTableDisableButton, this);
    _isEditingText = true;
    _isUpdatingTextField = false;
    placeRowControls();
    field->show();
    field->setFocus(Qt::OtherFocusReason);
    _outlineView->viewport()->update();
    notifyStateChanged();
}

void MyWindowController::didTextEndEditingSub() {
    const bool wasEditing = _isEditingText;
    _isEditingText = false;
    _editorField->hide();
    if (wasEditing) NotificationCenter::defaultCenter().post(kTableEnableButton, this);
    _outlineView->setFocus(Qt::OtherFocusReason);
    _outlineView->viewport()->update();
    notifyStateChanged();
}

bool MyWindowController::updateFocusedTextField() {
    if (!_isEditingText || !_focusedTextField) return true;
    _isUpdatingTextField = true;
    const QString text = _focusedTextField->exactText();
    const bool done = _focusedTextField->textFieldKind() == 0 ? changeCurrentItemKeyNameWithNewKeyName(text)
                                                              : changeCurrentItemValueWithNewValue(text);
    if (!done) {
        _isUpdatingTextField = false;
        return false;
    }
    didTextEndEditingSub();
    reloadOutline();
    _isUpdatingTextField = false;
    return true;
}

void MyWindowController::setFocusedTextFieldText(const QString& text) {
    if (_focusedTextField) _focusedTextField->setExactText(text);
}

void MyWindowController::parkFocusedTextFieldSelection() {
    views::MyTextField* field = focusedTextField();
    if (!field) return;
    _parkedCursor = field->cursorPosition();
    _parkedSelectionStart = field->selectionStart();
    _parkedSelectionLength = int(field->selectedText().size());
    field->setFocus(Qt::OtherFocusReason);
    field->setCursorPosition(0);
}

void MyWindowController::restoreFocusedTextFieldSelection() {
    views::MyTextField* field = focusedTextField();
    if (!field) return;
    if (_parkedSelectionStart >= 0 && _parkedSelectionLength > 0) {
        // The caret stays at the end the selection was made towards.
        if (_parkedCursor == _parkedSelectionStart)
            field->setSelection(_parkedSelectionStart + _parkedSelectionLength, -_parkedSelectionLength);
        else
            field->setSelection(_parkedSelectionStart, _parkedSelectionLength);
    } else {
        field->setCursorPosition(_parkedCursor);
    }
    field->setFocus(Qt::OtherFocusReason);
}

std::pair<int, int> MyWindowController::highlightOfCell(const Entry* item, int column) const {
    return _findBar->highlightOfCell(item, column);
}

bool MyWindowController::isDimmedItem(const Entry* item) const {
    return _findBar->isDimmedItem(item);
}

void MyWindowController::buildKeyboardActions(QMenu* edit) {
    edit->addSeparator();
    edit->addAction(tr("Edit Key"), this, [this] { beginEditingSelectedRow(false); })
        ->setShortcut(Qt::Key_F2);
    edit->addAction(tr("Edit Value"), this, [this] { beginEditingSelectedRow(true); })
        ->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F2));
    edit->addAction(tr("Change Type\u2026"), this,
                    [this] {
                        views::MyPopUpButton* popup =
                            _currentItem == rootEntry() ? _rootClassPopupButton : _classPopupButton;
                        if (_currentItem && controllShouldClick(popup) && popup->isVisible())
                            popup->showPopup();
                    })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    edit->addAction(tr("Duplicate"), this, [this] { duplicateCurrentItem(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    // F10 opens the first menu of the bar, as desktops without a menu key of their own do.
    auto* menus = new QAction(this);
    menus->setShortcut(Qt::Key_F10);
    addAction(menus);
    connect(menus, &QAction::triggered, this, [this] {
        if (!menuBar()->actions().isEmpty()) menuBar()->setActiveAction(menuBar()->actions().front());
    });
    // Space belongs to the outline alone: in the fields and check boxes of the window it stays theirs.
    auto* toggle = new QAction(tr("Toggle Boolean"), _outlineView);
    toggle->setShortcut(Qt::Key_Space);
    toggle->setShortcutContext(Qt::WidgetShortcut);
    _outlineView->addAction(toggle);
    connect(toggle, &QAction::triggered, this, [this] {
        if (_currentItem && _currentItem->type() == EntryType::Boolean && controllShouldClick(_outlineView))
            handlingCheckBox(!_currentItem->boolValue());
    });
}

void MyWindowController::beginEditingSelectedRow(bool value) {
    Entry* e = _currentItem.get();
    if (!e) return;
    const int column = value || !isEditableCell(*e, EntryTreeModel::KeyColumn) ? EntryTreeModel::ValueColumn
                                                                               : EntryTreeModel::KeyColumn;
    _outlineView->scrollRowToVisible(e);
    outlineViewDoubleClickedItem(e, column);
}

bool MyWindowController::controllShouldClick(QObject*) {
    return _currentItem && !_isDisplayingAlart && !focusedTextField();
}

bool MyWindowController::outlineViewDoubleClickedItem(Entry* item, int column) {
    // Only an enabled field starts editing: a key or value cell of the selected row that edits in place.
    if (!item || item != _currentItem.get() || !isEditableCell(*item, column)) return false;
    if (!controllShouldClick(_editorField)) return false;
    showFieldEditor(item, column);
    NotificationCenter::defaultCenter().post(kTextDidBeginEditing, _editorField);
    return _isEditingText;
}

void MyWindowController::keyDownWithKeycode(uint16_t keycode) {
    Entry* e = _currentItem.get();
    if (!e || _isDisplayingAlart || _isEditingText) return;
    const QModelIndex index = _model->indexForEntry(e);
    const int row = rowForItem(e);
    switch (keycode) {
    case views::kKeyReturn:
    case views::kKeyEnter:
        addItem();
        break;
    case views::kKeyDelete:
    case views::kKeyForwardDelete:
        if (e != rootEntry().get()) deleteCurrentItem();
        break;
    case views::kKeyLeftArrow:
        if (_outlineView->isExpanded(index))
            _outlineView->collapse(index);
        else if (row > 0 && e->parent())
            outlineViewSelectItem(e->parent());
        break;
    case views::kKeyRightArrow:
        if (e->isContainer() && !_outlineView->isExpanded(index)) _outlineView->expand(index);
        break;
    case views::kKeyDownArrow:
        if (itemAtRow(row + 1)) outlineViewSelectRow(row + 1);
        break;
    case views::kKeyUpArrow:
        if (row > 0) outlineViewSelectRow(row - 1);
        break;
    default:
        break;
    }
}

void MyWindowController::mouseDownWithZone(unsigned zone) {
    if (_isEditingText) {
        updateFocusedTextField();
        return;
    }
    if (zone == 1) outlineViewSelectionDidChange();
}

QMenu* MyWindowController::createContextMenu() {
    auto* menu = new QMenu(this);
    auto add = [&](const QString& title, bool enabled, auto action) {
        menu->addAction(title, this, action)->setEnabled(enabled);
    };
    const bool selected = bool(_currentItem);
    add(tr("Cut"), canDeleteItem(), [this] { cut(); });
    add(tr("Copy"), selected, [this] { copy(); });
    add(tr("Paste"), canAddItem(), [this] { paste(); });
    menu->addSeparator();
    // As the selected row's buttons do.
    add(tr("Add Item"), canAddItem(), [this] { handlingButton(_addButton); });
    add(tr("Delete Item"), canDeleteItem(), [this] { handlingButton(_deleteButton); });
    menu->addSeparator();
    add(tr("Copy Key Path"), selected, [this] { copyKeyPath(); });
    add(tr("Edit Value\u2026"), canEditValue(), [this] { editValueOfCurrentItem(); });
    if (showObjectsAction()->isEnabled()) menu->addAction(goToObjectAction()); // a keyed archive
    return menu;
}

bool MyWindowController::rowViewSelectSelfRow(int row) {
    const int selected = _currentItem ? rowForItem(_currentItem.get()) : -1;
    const bool ok = updateFocusedTextField();
    if (ok && row >= 0 && row != selected) {
        outlineViewSelectRow(row);
        reloadOutline();
    }
    return ok;
}

void MyWindowController::outlineViewItemWillCollapse(Entry*) {
    if (_isEditingText) updateFocusedTextField();
}

void MyWindowController::outlineViewItemDidExpand(Entry*) {
    updateFamilyRange();
    _outlineView->viewport()->update();
}

void MyWindowController::outlineViewItemDidCollapse(Entry*) {
    if (_currentItem && rowForItem(_currentItem.get()) < 0) {
        // The selected entry lay inside the collapsed one.
        if (_isEditingText) didTextEndEditingSub();
        _currentItem = nullptr;
        _familyRange = {};
        _isSelectingFromCode = true;
        _outlineView->selectionModel()->clearSelection();
        _isSelectingFromCode = false;
        notifyStateChanged();
    } else {
        updateFamilyRange();
    }
    _outlineView->viewport()->update();
}

} // namespace window
