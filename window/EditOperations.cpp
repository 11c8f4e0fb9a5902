// The edit operations of a document window: key rename, value change, add and delete, the pasteboard, and
// reordering by drag and drop. Each builds command records and runs them as one undo step.
#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <new>
#include <unordered_set>

#include "MyWindowController.h"
#include "model/ValueText.h"
#include "platform/plist/PropertyList.h"
#include "platform/qt/Alert.h"
#include "platform/qt/Pasteboard.h"
#include "views/MyControls.h"
#include "views/MyOutlineView.h"

namespace window {

using editing::CommandRecord;
using model::EntryType;
using platform::Pasteboard;

namespace {

// Our own exact copy of a copied entry, in binary, so a paste into any of our windows loses nothing that
// the plain text cannot carry.
const QString kEntryDataType = QStringLiteral("comBrisoldePropertyListVantrelTypeEntry");

int depthOf(const Entry* e) {
    int depth = 1;
    for (const Entry* p = e->parent(); p; p = p->parent())
        ++depth;
    return depth;
}

// The number of levels an entry's subtree spans: 1 for a scalar or an empty container.
int heightOf(const Entry* e) {
    int height = 0;
    std::vector<std::pair<const Entry*, int>> stack{{e, 1}};
    while (!stack.empty()) {
        auto [x, h] = stack.back();
        stack.pop_back();
        height = std::max(height, h);
        if (x->isContainer())
            for (const EntryRef& c : x->child())
                if (c->isContainer() || h + 1 > height) stack.emplace_back(c.get(), h + 1);
    }
    return height;
}

std::string toStd(const QString& s) {
    return s.toStdString();
}

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

QString MyWindowController::fieldTextOfItem(const Entry& item, bool keyField) {
    if (keyField) return QString::fromStdString(item.key);
    if (item.type() == EntryType::Boolean)
        return item.boolValue() ? QStringLiteral("1") : QStringLiteral("0");
    return QString::fromStdString(model::valueText(item));
}

bool MyWindowController::changeCurrentItemKeyNameWithNewKeyName(const QString& newKey) {
    EntryRef e = _currentItem;
    std::string k = toStd(newKey);
    if (!e || k == e->key || !e->parent()) return true;
    EntryRef parent(e->parent());
    const size_t i = e->indexInParent();
    EntryRef duplicate;
    for (size_t j = 0; j < parent->child().size() && !duplicate; ++j)
        if (j != i && parent->child()[j]->key == k) duplicate = parent->child()[j];
    if (!duplicate) {
        doCommands({CommandRecord::renameKey(parent, int64_t(i), k)});
        return true;
    }

    QMessageBox* alert = makeAlertWithMessage(tr("The key you entered (\u201c%1\u201d) is already present in "
                                                 "the dictionary.  Do you want to replace "
                                                 "the existing key/value pair?")
                                                  .arg(newKey),
                                              tr("Replace Existing Pair"), tr("Cancel"));
    runAlert(alert, [this, e, duplicate, parent, k](int answer) {
        if (answer == platform::kAlertFirstButtonReturn) {
            // The tree cannot change while the alert is up; the positions are read again all the same.
            if (e->parent() == parent.get() && duplicate->parent() == parent.get())
                doCommands({CommandRecord::title("Replace Key/Value"),
                            CommandRecord::renameKey(parent, int64_t(e->indexInParent()), k),
                            CommandRecord::removeItem(parent, int64_t(duplicate->indexInParent()))});
        } else {
            setFocusedTextFieldText(QString::fromStdString(e->key));
        }
        didTextEndEditingSub();
    });
    return false;
}

QString MyWindowController::uniqueKeyNameInChild(const model::Children* child,
                                                 const std::optional<QString>& keyStr) const {
    const QString base = keyStr ? *keyStr : tr("New item");
    if (!child || child->empty()) return base;
    std::unordered_set<std::string_view> keys;
    keys.reserve(child->size());
    for (const EntryRef& c : *child)
        keys.insert(c->key);
    QString candidate = base;
    for (qulonglong n = 2; keys.count(toStd(candidate)); ++n)
        candidate = tr("%1 - %2").arg(base, QString::number(n));
    return candidate;
}

bool MyWindowController::changeCurrentItemValueWithNewValue(const QString& newValue) {
    EntryRef e = _currentItem;
    // Committing the text the field started with changes nothing, whatever the type.
    if (!e || e->isContainer() || newValue == fieldTextOfItem(*e, false)) return true;
    const std::string t = toStd(newValue);
    Entry::Value value;
    bool refused = false;
    switch (e->type()) {
    case EntryType::Data: {
        auto bytes = t.size() >= 2 && t.front() == '<' && t.back() == '>' ? model::dataWithOldHexString(t)
                                                                          : model::dataWithNewHexString(t);
        if (!bytes)
            refused = true;
        else if (*bytes == e->dataValue())
            return true;
        else
            value = std::move(*bytes);
        break;
    }
    case EntryType::Date: {
        auto date = model::dateWithTypedText(t);
        if (!date)
            refused = true;
        else if (*date == e->dateValue())
            return true;
        else
            value = *date;
        break;
    }
    case EntryType::Number: {
        auto n = model::numberWithTypedText(t);
        if (!n)
            refused = true;
        else if (n->sameNumber(e->numberValue()))
            return true;
        else
            value = *n;
        break;
    }
    case EntryType::Boolean:
        value = t == "1";
        break;
    default:
        value = t;
        break;
    }

    if (refused) {
        parkFocusedTextFieldSelection();
        QMessageBox* alert = makeAlertWithMessage(
            tr("Your entry is not valid. Do you want to keep editing and fix the error or cancel editing?"),
            tr("Keep Editing"), tr("Cancel"));
        runAlert(alert, [this](int answer) {
            if (answer == platform::kAlertFirstButtonReturn) {
                restoreFocusedTextFieldSelection();
            } else {
                didTextEndEditingSub();
                reloadOutline();
            }
        });
        return false;
    }

    if (Entry* parent = e->parent()) {
        doCommands(
            {CommandRecord::changeValue(EntryRef(parent), int64_t(e->indexInParent()), std::move(value))});
    } else {
        // A scalar root has no parent to address it by; a type change to its own type sets its value.
        doCommands({CommandRecord::title(editing::kChangeValue),
                    CommandRecord::changeType(e, nullptr, e->type(), std::move(value), {}, {})});
    }
    return true;
}

void MyWindowController::handlingCheckBox(bool checked) {
    changeCurrentItemValueWithNewValue(checked ? QStringLiteral("1") : QStringLiteral("0"));
}

void MyWindowController::handlingPopupButton(const QString& selectedTitle) {
    if (auto type = model::typeNamed(toStd(selectedTitle))) changeCurrentItemClassTypeWithNewClassType(*type);
}

void MyWindowController::handlingButton(QObject* sender) {
    if (!sender) return;
    if (sender == static_cast<QObject*>(_addButton))
        addItem();
    else if (sender == static_cast<QObject*>(_deleteButton))
        deleteCurrentItem();
}

int MyWindowController::maximumDepth() {
    return plist::kMaxNestingDepth;
}

bool MyWindowController::refusesNestingUnder(const Entry* parent, const Entry* item) {
    if (depthOf(parent) + heightOf(item) <= maximumDepth()) return false;
    QMessageBox* alert =
        makeAlertWithMessage(tr("The item can\u2019t be inserted here because the document would "
                                "be nested more than %1 levels deep.")
                                 .arg(maximumDepth()),
                             tr("OK"));
    runAlert(alert);
    return true;
}

void MyWindowController::addItem(const ItemToAdd& item) {
    EntryRef e = _currentItem;
    if (!e) return;
    EntryRef parent;
    int64_t toIndex = 0;
    QModelIndex index = _model->indexForEntry(e.get());
    if (e->isContainer() && _outlineView->isExpanded(index)) {
        parent = e;
    } else if (e == rootEntry()) {
        parent = e;
        if (e->isContainer()) _outlineView->expand(index);
    } else {
        parent = EntryRef(e->parent());
        toIndex = int64_t(e->indexInParent()) + 1;
    }
    if (!parent || !parent->isContainer()) return;

    EntryRef n;
    if (const EntryRef* entry = std::get_if<EntryRef>(&item); entry && *entry)
        n = *entry;
    else if (const QString* text = std::get_if<QString>(&item))
        n = _document.makeStringItemWithString(toStd(*text));
    else
        n = _document.makeStringItemWithString({});
    if (refusesNestingUnder(parent.get(), n.get())) return;

    std::optional<QString> base;
    if (!std::holds_alternative<std::monostate>(item) && parent->type() == EntryType::Dictionary &&
        _isUseOriginalKey)
        base = Pasteboard::generalString(kPrivateKeyType);
    n->key = toStd(uniqueKeyNameInChild(&parent->child(), base));
    doCommands({CommandRecord::insertItem(n, parent, toIndex)});
}

bool MyWindowController::canAddItem() const {
    return _currentItem && (_currentItem->parent() || _currentItem->isContainer());
}

bool MyWindowController::canDeleteItem() const {
    return _currentItem && _currentItem != rootEntry() && _currentItem->parent();
}

void MyWindowController::deleteCurrentItem() {
    EntryRef e = _currentItem;
    if (!canDeleteItem()) return;
    doCommands({CommandRecord::removeItem(EntryRef(e->parent()), int64_t(e->indexInParent()))});
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

void MyWindowController::copyKeyPath() {
    if (!_currentItem) return;
    Pasteboard::writeGeneral({{platform::kPasteboardTypeString,
                               QByteArray::fromStdString(model::PlistDocument::keyPath(*_currentItem))}});
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
    auto noMemory = [](const plist::Expected<EntryRef>& e) {
        return !e && e.error().kind == plist::Error::Kind::NoMemory;
    };
    // The entries are built whole before the one command that inserts them, so a paste that runs out of
    // memory changes nothing.
    try {
        std::optional<QString> text = Pasteboard::generalString(platform::kPasteboardTypeString);
        if (!text) return;
        plist::Expected<EntryRef> entry = plist::makeError(plist::Error::Kind::Empty, {});
        if (auto exact = Pasteboard::generalData(kEntryDataType))
            entry = _document.rootEntryWithPropertyListData(exact->toStdString());
        if (!entry && !noMemory(entry)) entry = _document.rootEntryWithPropertyListText(toStd(*text));
        if (noMemory(entry)) throw std::bad_alloc();
        addItem(entry ? ItemToAdd(*entry) : ItemToAdd(*text));
    } catch (const std::bad_alloc&) {
        runAlert(makeAlertWithMessage(tr("The entry couldn\u2019t be pasted: not enough memory."), tr("OK")));
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
    if (item == rootEntry().get() || !item->parent()) return nullptr;
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
    return data && data == _dragData.data() && item && _oldParent == item && childIndex >= 0 &&
           size_t(childIndex) <= item->childCount() && !_isDisplayingAlart;
}

bool MyWindowController::outlineViewAcceptDropItemChildIndex(const QMimeData* data, Entry* item,
                                                             int childIndex) {
    if (!outlineViewValidateDropProposedItemProposedChildIndex(data, item, childIndex)) return false;
    if (childIndex == _fromIndex || childIndex == _fromIndex + 1) return true;
    auto text = Pasteboard::data(data, dragType());
    if (!text || !_document.rootEntryWithPropertyListText(text->toStdString())) return false;
    doCommands({CommandRecord::moveItem(_oldParent, _fromIndex, childIndex)});
    return true;
}

} // namespace window
