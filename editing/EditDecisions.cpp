#include "EditDecisions.h"

#include <QCoreApplication>
#include <new>
#include <unordered_set>

#include "model/ValueText.h"
#include "platform/plist/PropertyList.h"

namespace editing {

namespace {

// The translation context of the decisions' texts.
struct EditDecisions {
    Q_DECLARE_TR_FUNCTIONS(EditDecisions)
};

std::string toStd(const QString& s) {
    return s.toStdString();
}

} // namespace

QString fieldText(const Entry& item, bool keyField) {
    if (keyField) return QString::fromStdString(item.key);
    if (item.type() == EntryType::Boolean)
        return item.boolValue() ? QStringLiteral("1") : QStringLiteral("0");
    return QString::fromStdString(model::valueText(item));
}

bool editsInPlace(const Entry& item, bool keyField) {
    if (keyField) return item.parent() && item.parent()->type() == EntryType::Dictionary;
    switch (item.type()) {
    case EntryType::String:
    case EntryType::Number:
    case EntryType::Date:
    case EntryType::Data:
    case EntryType::NotApplicable:
        return true;
    default:
        return false;
    }
}

QString uniqueKeyName(const Children* child, const std::optional<QString>& base) {
    const QString key = base ? *base : EditDecisions::tr("New item");
    if (!child || child->empty()) return key;
    std::unordered_set<std::string_view> keys;
    keys.reserve(child->size());
    for (const EntryRef& c : *child)
        keys.insert(c->key);
    QString candidate = key;
    for (qulonglong n = 2; keys.count(toStd(candidate)); ++n)
        candidate = EditDecisions::tr("%1 - %2").arg(key, QString::number(n));
    return candidate;
}

KeyRename keyRename(const EntryRef& item, const QString& newKey) {
    KeyRename r;
    std::string k = toStd(newKey);
    if (!item || k == item->key || !item->parent()) return r;
    r.duplicate = siblingWithKey(item, k);
    if (!r.duplicate) {
        r.batch = {
            CommandRecord::renameKey(EntryRef(item->parent()), int64_t(item->indexInParent()), std::move(k))};
        return r;
    }
    r.alert = AlertText{EditDecisions::tr("The key you entered (\u201c%1\u201d) is already present in the "
                                          "dictionary.  Do you want to replace the existing key/value pair?")
                            .arg(newKey),
                        {},
                        {EditDecisions::tr("Replace Existing Pair"), EditDecisions::tr("Cancel")}};
    return r;
}

EditDecision valueChange(const EntryRef& item, const QString& newValue) {
    // Committing the text the field started with changes nothing, whatever the type.
    if (!item || item->isContainer() || newValue == fieldText(*item, false)) return {};
    std::optional<Entry::Value> value = typedValue(item->type(), toStd(newValue));
    if (!value)
        return {
            {},
            AlertText{EditDecisions::tr("Your entry is not valid. Do you want to keep editing and fix the "
                                        "error or cancel editing?"),
                      {},
                      {EditDecisions::tr("Keep Editing"), EditDecisions::tr("Cancel")}}};
    // A value equal to the one held (the same bytes, instant or number in another form) changes nothing.
    switch (item->type()) {
    case EntryType::Data:
        if (std::get<model::Data>(*value) == item->dataValue()) return {};
        break;
    case EntryType::Date:
        if (std::get<plist::Date>(*value) == item->dateValue()) return {};
        break;
    case EntryType::Number:
        if (std::get<model::Number>(*value).sameNumber(item->numberValue())) return {};
        break;
    default:
        break;
    }
    return {valueChangeBatch(item, std::move(*value)), {}};
}

CommandBatch rootReplacement(const EntryRef& root, const EntryRef& loaded, std::string title) {
    std::vector<std::string> keys;
    const Children children = loaded->isContainer() ? loaded->child() : Children();
    for (const EntryRef& c : children)
        keys.push_back(c->key);
    Entry::Value value = loaded->isContainer() ? Entry::Value(std::string()) : loaded->value();
    return {CommandRecord::title(std::move(title)),
            CommandRecord::changeType(root, EntryRef(), loaded->type(), std::move(value), children,
                                      std::move(keys))};
}

bool canAdd(const EntryRef& selected) {
    return selected && (selected->parent() || selected->isContainer());
}

bool canDelete(const EntryRef& selected, const EntryRef& root) {
    return selected && selected != root && selected->parent();
}

std::optional<Placement> addPlacement(const EntryRef& selected, const EntryRef& root, bool selectedExpanded) {
    if (!selected) return std::nullopt;
    Placement p;
    if ((selected->isContainer() && selectedExpanded) || selected == root)
        p.parent = selected;
    else
        p = {EntryRef(selected->parent()), int64_t(selected->indexInParent()) + 1};
    if (!p.parent || !p.parent->isContainer()) return std::nullopt;
    return p;
}

EditDecision insertion(const EntryRef& item, const Placement& at, const std::optional<QString>& base) {
    if (auto alert = nestingRefusal(*at.parent, *item)) return {{}, std::move(alert)};
    const bool keepsKey = base && at.parent->type() == EntryType::Dictionary;
    item->key = toStd(uniqueKeyName(&at.parent->child(), keepsKey ? base : std::nullopt));
    return {{CommandRecord::insertItem(item, at.parent, at.index)}, {}};
}

CommandBatch deletion(const EntryRef& selected, const EntryRef& root) {
    if (!canDelete(selected, root)) return {};
    return {CommandRecord::removeItem(EntryRef(selected->parent()), int64_t(selected->indexInParent()))};
}

int maximumDepth() {
    return plist::kMaxNestingDepth;
}

std::optional<AlertText> nestingRefusal(const Entry& parent, const Entry& item) {
    if (!nestsTooDeep(parent, item)) return std::nullopt;
    return AlertText{EditDecisions::tr("The item can\u2019t be inserted here because the document would be "
                                       "nested more than %1 levels deep.")
                         .arg(maximumDepth()),
                     {},
                     {EditDecisions::tr("OK")}};
}

std::variant<ItemToAdd, AlertText> pastedItem(model::PlistDocument& document,
                                              const std::optional<QByteArray>& exact, const QString& text) {
    auto noMemory = [](const plist::Expected<EntryRef>& e) {
        return !e && e.error().kind == plist::Error::Kind::NoMemory;
    };
    try {
        plist::Expected<EntryRef> entry = plist::makeError(plist::Error::Kind::Empty, {});
        if (exact) entry = document.rootEntryWithPropertyListData(exact->toStdString());
        if (!entry && !noMemory(entry)) entry = document.rootEntryWithPropertyListText(toStd(text));
        if (noMemory(entry)) return pasteNoMemoryAlert();
        return entry ? ItemToAdd(*entry) : ItemToAdd(text);
    } catch (const std::bad_alloc&) {
        return pasteNoMemoryAlert();
    }
}

AlertText pasteNoMemoryAlert() {
    return {EditDecisions::tr("The entry couldn\u2019t be pasted: not enough memory."),
            {},
            {EditDecisions::tr("OK")}};
}

bool canDrag(const Entry& item, const EntryRef& root) {
    return item.parent() && &item != root.get();
}

bool dropAccepted(const EntryRef& origin, const Entry* parent, int childIndex) {
    return parent && origin == parent && childIndex >= 0 && size_t(childIndex) <= parent->childCount();
}

std::optional<CommandBatch> dropMove(model::PlistDocument& document, const EntryRef& origin,
                                     int64_t fromIndex, int childIndex,
                                     const std::optional<QByteArray>& text) {
    if (childIndex == fromIndex || childIndex == fromIndex + 1) return CommandBatch{};
    if (!text || !document.rootEntryWithPropertyListText(text->toStdString())) return std::nullopt;
    return CommandBatch{CommandRecord::moveItem(origin, fromIndex, childIndex)};
}

} // namespace editing
