// The edit operations of a document window: key rename, value change, add and delete, the pasteboard, and
// reordering by drag and drop. Each gathers the window's state, asks the edit decisions what to do, and runs
// the batch as one undo step or shows the alert.
#include <QMessageBox>
#include <QMimeData>
#include <new>

#include "MyWindowController.h"
#include "platform/plist/PropertyList.h"
#include "platform/qt/Alert.h"
#include "platform/qt/Pasteboard.h"
#include "views/MyControls.h"
#include "views/MyOutlineView.h"

namespace window {

using model::EntryType;
using platform::Pasteboard;

namespace {

// Our own exact copy of a copied entry, in binary, so a paste into any of our windows loses nothing that
// the plain text cannot carry.
const QString kEntryDataType = QStringLiteral("comBrisoldePropertyListVantrelTypeEntry");

} // namespace

QMessageBox* MyWindowController::makeAlertWithMessage(const QString& message, const QString& firstButtonTitle,
                                                      const QString& secondButtonTitle,
                                                      const QString& thirdButtonTitle) const {
    return platform::makeAlertWithMessage(message, firstButtonTitle, secondButtonTitle, thirdButtonTitle);
}

void MyWindowController::runAlert(QMessageBox* alert, std::function<void(int)> completion) {
    // The window counts as showing an alert from now until its answer has been handled.
    _isDisplayingAlart = true;
    notifyStateChanged();
    QPointer<MyWindowController> self(this);
    platform::beginSheetModalForWindow(alert, this, [self, completion = std::move(completion)](int answer) {
        if (!self) return;
        if (completion) completion(answer);
        if (!self) return;
        // An answer may raise the next alert at once; the window shows an alert while that one is up.
        self->_isDisplayingAlart = platform::sheetOfWindow(self) || self->_valueEditor;
        self->notifyStateChanged();
    });
}

void MyWindowController::runAlert(const editing::AlertText& text, std::function<void(int)> completion) {
    const QStringList& b = text.buttons;
    QMessageBox* alert = makeAlertWithMessage(text.message, b.value(0), b.value(1), b.value(2));
    if (!text.informative.isEmpty()) platform::setInformativeText(alert, text.informative);
    runAlert(alert, std::move(completion));
}

bool MyWindowController::changeCurrentItemKeyNameWithNewKeyName(const QString& newKey) {
    editing::KeyRename rename = editing::keyRename(_currentItem, newKey);
    if (!rename.alert) {
        if (!rename.batch.empty()) doCommands(rename.batch);
        return true;
    }
    runAlert(*rename.alert, [this, e = _currentItem, duplicate = rename.duplicate, newKey](int answer) {
        if (answer == platform::kAlertFirstButtonReturn) {
            // The tree cannot change while the alert is up; the positions are read again all the same.
            if (auto batch = editing::replaceKeyValue(e, duplicate, newKey.toStdString()); !batch.empty())
                doCommands(batch);
        } else {
            setFocusedTextFieldText(QString::fromStdString(e->key));
        }
        didTextEndEditingSub();
    });
    return false;
}

QString MyWindowController::uniqueKeyNameInChild(const model::Children* child,
                                                 const std::optional<QString>& keyStr) const {
    return editing::uniqueKeyName(child, keyStr);
}

bool MyWindowController::changeCurrentItemValueWithNewValue(const QString& newValue) {
    editing::EditDecision change = editing::valueChange(_currentItem, newValue);
    if (change.alert) {
        parkFocusedTextFieldSelection();
        runAlert(*change.alert, [this](int answer) {
            if (answer == platform::kAlertFirstButtonReturn) {
                restoreFocusedTextFieldSelection();
            } else {
                didTextEndEditingSub();
                reloadOutline();
            }
        });
        return false;
    }
    if (!change.batch.empty()) doCommands(change.batch);
    return true;
}

void MyWindowController::handlingCheckBox(bool checked) {
    changeCurrentItemValueWithNewValue(checked ? QStringLiteral("1") : QStringLiteral("0"));
}

void MyWindowController::handlingPopupButton(const QString& selectedTitle) {
    if (auto type = model::typeNamed(selectedTitle.toStdString()))
        changeCurrentItemClassTypeWithNewClassType(*type);
}

void MyWindowController::handlingButton(QObject* sender) {
    if (!sender) return;
    if (sender == static_cast<QObject*>(_addButton))
        addItem();
    else if (sender == static_cast<QObject*>(_deleteButton))
        deleteCurrentItem();
}

int MyWindowController::maximumDepth() {
    return editing::maximumDepth();
}

void MyWindowController::addItem(const ItemToAdd& item) {
    EntryRef e = _currentItem;
    if (!e) return;
    QModelIndex index = _model->indexForEntry(e.get());
    const bool expanded = e->isContainer() && _outlineView->isExpanded(index);
    if (e == rootEntry() && e->isContainer() && !expanded) _outlineView->expand(index);
    std::optional<editing::Placement> at = editing::addPlacement(e, rootEntry(), expanded);
    if (!at) return;

    EntryRef n;
    if (const EntryRef* entry = std::get_if<EntryRef>(&item); entry && *entry)
        n = *entry;
    else if (const QString* text = std::get_if<QString>(&item))
        n = _document.makeStringItemWithString(text->toStdString());
    else
        n = _document.makeStringItemWithString({});
    std::optional<QString> base;
    if (!std::holds_alternative<std::monostate>(item) && _isUseOriginalKey)
        base = Pasteboard::generalString(kPrivateKeyType);
    editing::EditDecision insert = editing::insertion(n, *at, base);
    if (insert.alert)
        runAlert(*insert.alert);
    else
        doCommands(insert.batch);
}

bool MyWindowController::canAddItem() const {
    return editing::canAdd(_currentItem);
}

bool MyWindowController::canDeleteItem() const {
    return editing::canDelete(_currentItem, rootEntry());
}

void MyWindowController::deleteCurrentItem() {
    if (auto batch = editing::deletion(_currentItem, rootEntry()); !batch.empty()) doCommands(batch);
}

// The text of an entry on the pasteboard: a whole XML document with the entry as its top element, readable
// by any program (characters XML cannot hold are replaced there; our own exact copy travels beside it).
static QByteArray pasteboardTextOfItem(const model::PlistDocument& document, const EntryRef& e) {
    auto text = document.plistStringWithItem(e, model::WriteMode::Strict);
    if (!text) text = document.plistStringWithItem(e, model::WriteMode::Sanitized);
    return text ? QByteArray::fromStdString(*text) : QByteArray();
}

void MyWindowController::copyCurrentItemToPasteboard() {
    EntryRef e = _currentItem;
    if (!e) return;
    Pasteboard::Items items{{platform::kPasteboardTypeString, pasteboardTextOfItem(_document, e)}};
    if (e->parent() && e->parent()->type() == EntryType::Dictionary)
        items.emplace_back(kPrivateKeyType, QByteArray::fromStdString(e->key));
    if (auto bytes = plist::serialize(model::PlistDocument::propertyListValue(*e), plist::Format::Binary))
        items.emplace_back(kEntryDataType, QByteArray::fromStdString(*bytes));
    Pasteboard::writeGeneral(items);
}

void MyWindowController::duplicateCurrentItem() {
    const EntryRef e = _currentItem;
    if (!canDeleteItem() || _isEditingText || _isDisplayingAlart) return;
    // A copy made as our own pasteboard copy is read back: new entries, numbered on from the document's.
    auto bytes = plist::serialize(model::PlistDocument::propertyListValue(*e), plist::Format::Binary);
    if (!bytes) return;
    auto copy = _document.rootEntryWithPropertyListData(*bytes);
    if (!copy) return;
    const EntryRef parent(e->parent());
    EntryRef n = *copy;
    n->key = uniqueKeyNameInChild(&parent->child(), QString::fromStdString(e->key)).toStdString();
    doCommands({editing::CommandRecord::title("Duplicate Item"),
                editing::CommandRecord::insertItem(n, parent, int64_t(e->indexInParent()) + 1)});
}

void MyWindowController::copyKeyPath() {
    if (!_currentItem) return;
    Pasteboard::writeGeneral(
        {{platform::kPasteboardTypeString, QByteArray::fromStdString(model::keyPath(*_currentItem))}});
}

void MyWindowController::sortKeysOfCurrentItem(bool branch) {
    if (_isEditingText || _isDisplayingAlart) return;
    if (auto batch = editing::sortKeysBatch(_currentItem, branch, editing::KeyOrder::Bytes); !batch.empty())
        doCommands(batch);
}

void MyWindowController::copy() {
    if (views::MyTextField* field = focusedTextField())
        field->copy();
    else
        copyCurrentItemToPasteboard();
}

void MyWindowController::cut() {
    if (views::MyTextField* field = focusedTextField()) return field->cut();
    if (!canDeleteItem()) return;
    copyCurrentItemToPasteboard();
    deleteCurrentItem();
}

void MyWindowController::paste() {
    if (views::MyTextField* field = focusedTextField()) return field->paste();
    if (!canAddItem()) return;
    // The entries are built whole before the one command that inserts them, so a paste that runs out of
    // memory changes nothing.
    try {
        std::optional<QString> text = Pasteboard::generalString(platform::kPasteboardTypeString);
        if (!text) return;
        auto pasted = editing::pastedItem(_document, Pasteboard::generalData(kEntryDataType), *text);
        if (const auto* alert = std::get_if<editing::AlertText>(&pasted)) return runAlert(*alert);
        addItem(std::get<ItemToAdd>(pasted));
    } catch (const std::bad_alloc&) {
        runAlert(editing::pasteNoMemoryAlert());
    }
}

void MyWindowController::deleteAction() {
    if (views::MyTextField* field = focusedTextField())
        field->del();
    else if (_currentItem)
        deleteCurrentItem();
}

QMimeData* MyWindowController::outlineViewWriteItemsToPasteboard(const std::vector<Entry*>& items) {
    if (_isEditingText || _isDisplayingAlart || items.empty()) return nullptr;
    Entry* item = items.front();
    if (!editing::canDrag(*item, rootEntry())) return nullptr;
    QMimeData* data =
        Pasteboard::makeDragData({{dragType(), pasteboardTextOfItem(_document, EntryRef(item))}});
    _oldParent = EntryRef(item->parent());
    _fromIndex = int64_t(item->indexInParent());
    _dragData = data;
    return data;
}

bool MyWindowController::outlineViewValidateDropProposedItemProposedChildIndex(const QMimeData* data,
                                                                               Entry* item, int childIndex) {
    // Only a drag that began in this outline, between two siblings of the dragged entry.
    return data && data == _dragData.data() && editing::dropAccepted(_oldParent, item, childIndex) &&
           !_isDisplayingAlart;
}

bool MyWindowController::outlineViewAcceptDropItemChildIndex(const QMimeData* data, Entry* item,
                                                             int childIndex) {
    if (!outlineViewValidateDropProposedItemProposedChildIndex(data, item, childIndex)) return false;
    auto move =
        editing::dropMove(_document, _oldParent, _fromIndex, childIndex, Pasteboard::data(data, dragType()));
    if (!move) return false;
    if (!move->empty()) doCommands(*move);
    return true;
}

} // namespace window
