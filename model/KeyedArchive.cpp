#include "KeyedArchive.h"

#include <algorithm>

#include "ValueText.h"

namespace model {

namespace {

using Kind = ArchiveNode::Kind;
using Layout = ArchiveNode::Layout;
using Form = ArchiveNode::Form;

const Entry* childNamed(const Entry* dict, std::string_view key) {
    if (!dict || dict->type() != EntryType::Dictionary || !dict->isContainer()) return nullptr;
    for (const EntryRef& c : dict->child())
        if (c->key.view() == key) return c.get();
    return nullptr;
}

bool isString(const Entry* e) {
    return e && e->type() == EntryType::String && e->holdsString();
}
bool isContainerOf(const Entry* e, EntryType t) {
    return e && e->type() == t && e->isContainer();
}
bool isScalarOf(const Entry* e, EntryType t) {
    return e && e->type() == t && !e->isContainer();
}

// An NSUUID's 16 bytes as "01234567-89AB-CDEF-0123-456789ABCDEF".
std::string uuidText(BytesView b) {
    std::string s;
    for (size_t i = 0; i < b.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
        s += "0123456789ABCDEF"[b[i] >> 4];
        s += "0123456789ABCDEF"[b[i] & 15];
    }
    return s;
}

// 32 hexadecimal digits, with or without the four hyphens at their places.
std::optional<Data> uuidWithText(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.size() == 36) {
        for (size_t at : {8, 13, 18, 23})
            if (text[at] != '-') return std::nullopt;
    } else if (text.size() != 32) {
        return std::nullopt;
    }
    std::string digits;
    for (char c : text)
        if (c != '-') digits += c;
    if (digits.size() != 32) return std::nullopt;
    return dataWithHexString(digits);
}

std::string noSuchObject(uint64_t uid) {
    return "\u26a0 uid " + std::to_string(uid) + ": no such object";
}

const char* const kDictionaryClasses[] = {"NSDictionary", "NSMutableDictionary"};
const char* const kArrayClasses[] = {"NSArray",      "NSMutableArray", "NSSet",
                                     "NSMutableSet", "NSOrderedSet",   "NSMutableOrderedSet"};

bool oneOf(std::string_view name, const auto& names) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

} // namespace

std::optional<uint64_t> uidOf(const Entry& e) {
    if (e.type() != EntryType::Dictionary || !e.isContainer() || e.child().size() != 1) return std::nullopt;
    const Entry& n = *e.child().front();
    if (n.key.view() != "CF$UID" || !isScalarOf(&n, EntryType::Number)) return std::nullopt;
    const Number v = n.numberValue();
    if (v.isReal || v.integer.isNegative()) return std::nullopt;
    return v.integer.asUnsigned();
}

bool KeyedArchive::isKeyedArchive(const Entry& root) {
    return isString(childNamed(&root, "$archiver")) &&
           isContainerOf(childNamed(&root, "$objects"), EntryType::Array);
}

EntryRef KeyedArchive::objectOfUid(const Entry& root, const Entry& e) {
    std::optional<uint64_t> uid = uidOf(e);
    if (!uid && e.key.view() == "CF$UID" && e.parent()) uid = uidOf(*e.parent());
    const Entry* objects = childNamed(&root, "$objects");
    if (!uid || !isContainerOf(objects, EntryType::Array) || *uid >= objects->child().size()) return {};
    return objects->child()[*uid];
}

KeyedArchive::KeyedArchive(EntryRef root) : root_(std::move(root)) {
    objects_ = EntryRef(const_cast<Entry*>(childNamed(root_.get(), "$objects")));
    const Entry* top = childNamed(root_.get(), "$top");
    if (isContainerOf(top, EntryType::Dictionary)) topDict_ = EntryRef(const_cast<Entry*>(top));
    top_.kind = Kind::Top;
    top_.resolved = true;
    top_.key = kRootLabel;
    top_.entry = topDict_;
    // Which objects expand, decided once in the order they lie in memory: a view asks it of every row it
    // lays out, long before it shows them.
    if (isContainerOf(objects_.get(), EntryType::Array)) {
        expands_.reserve(objects_->child().size());
        for (const EntryRef& obj : objects_->child()) {
            ArchiveNode scratch;
            if (obj->isContainer()) classify(scratch, obj.get(), false);
            expands_.push_back(scratch.kind == Kind::Container);
        }
    }
}

bool KeyedArchive::mayExpand(const ArchiveNode& node) const {
    if (node.resolved) return node.expandable();
    if (std::optional<uint64_t> uid = uidOf(*node.source)) {
        auto shown = shown_.find(*uid);
        return *uid < expands_.size() && expands_[*uid] && shown != shown_.end() && shown->second == &node;
    }
    return node.source->isContainer();
}

const Entry* KeyedArchive::objectAt(uint64_t uid) const {
    if (!isContainerOf(objects_.get(), EntryType::Array) || uid >= objects_->child().size()) return nullptr;
    return objects_->child()[uid].get();
}

std::string_view KeyedArchive::className(const Entry& object, std::string* broken) const {
    const Entry* cls = childNamed(&object, "$class");
    std::optional<uint64_t> uid = cls ? uidOf(*cls) : std::nullopt;
    if (!uid) {
        *broken = "\u26a0 $class: not a uid";
        return {};
    }
    const Entry* c = objectAt(*uid);
    const Entry* name = childNamed(c, "$classname");
    if (!isString(name)) {
        *broken = "\u26a0 $class uid " + std::to_string(*uid) + (c ? ": not a class" : ": no such object");
        return {};
    }
    return name->stringValue();
}

void KeyedArchive::classify(ArchiveNode& node, const Entry* obj, bool named) const {
    node.kind = Kind::Container;
    node.entry = EntryRef(const_cast<Entry*>(obj));
    if (obj->type() == EntryType::Array || !childNamed(obj, "$class")) {
        node.arrayLike = obj->type() == EntryType::Array;
        node.layout = node.arrayLike ? Layout::PlainArray : Layout::PlainDictionary;
        return;
    }
    node.layout = Layout::Encoded;
    const std::string_view name = className(*obj, &node.note);
    if (named) node.className = name;
    auto field = [&](std::string_view key, EntryType type) {
        const Entry* f = childNamed(obj, key);
        return f && f->type() == type && f->isContainer() == (type == EntryType::Array) ? f : nullptr;
    };
    auto scalar = [&](const Entry* e, Form form = Form::Plain) {
        if (!e) return;
        node.kind = Kind::Scalar;
        node.layout = Layout::None;
        node.form = form;
        node.entry = EntryRef(const_cast<Entry*>(e));
    };
    if (oneOf(name, kDictionaryClasses) && field("NS.keys", EntryType::Array) &&
        field("NS.objects", EntryType::Array)) {
        node.layout = Layout::KeyedDictionary;
    } else if (oneOf(name, kArrayClasses) && field("NS.objects", EntryType::Array)) {
        node.layout = Layout::ObjectArray;
        node.arrayLike = true;
    } else if (name == "NSString" || name == "NSMutableString") {
        scalar(field("NS.string", EntryType::String));
    } else if (name == "NSData" || name == "NSMutableData") {
        const Entry* bytes = field("NS.bytes", EntryType::Data);
        scalar(bytes ? bytes : field("NS.data", EntryType::Data));
    } else if (name == "NSDate") {
        scalar(field("NS.time", EntryType::Number), Form::DateSeconds);
    } else if (name == "NSUUID") {
        const Entry* bytes = field("NS.uuidbytes", EntryType::Data);
        if (bytes && bytes->dataValue().size() == 16) scalar(bytes, Form::Uuid);
    } else if (name == "NSURL") {
        // A URL without a base reads as its text; one with a base shows both parts.
        const Entry* base = childNamed(obj, "NS.base");
        std::optional<uint64_t> baseUid = base ? uidOf(*base) : std::nullopt;
        const Entry* baseObject = baseUid ? objectAt(*baseUid) : nullptr;
        const Entry* relative = childNamed(obj, "NS.relative");
        std::optional<uint64_t> relativeUid = relative ? uidOf(*relative) : std::nullopt;
        const Entry* text = relativeUid ? objectAt(*relativeUid) : nullptr;
        if ((!base || (isString(baseObject) && baseObject->stringValue() == "$null")) && isString(text))
            scalar(text);
    }
}

void KeyedArchive::add(ArchiveNode& parent, const Entry& value, const Entry* key) {
    auto node = std::make_unique<ArchiveNode>();
    node->parent = &parent;
    node->row = parent.children.size();
    node->source = EntryRef(const_cast<Entry*>(&value));
    node->keySource = EntryRef(const_cast<Entry*>(key));
    if (std::optional<uint64_t> uid = uidOf(value); uid && *uid < expands_.size() && expands_[*uid])
        shown_.emplace(*uid, node.get());
    parent.children.push_back(std::move(node));
}

ArchiveNode& KeyedArchive::resolve(ArchiveNode& node) {
    if (node.resolved) return node;
    node.resolved = true;
    const Entry& value = *node.source;
    if (node.parent->arrayLike)
        node.key = "Item " + std::to_string(node.row);
    else
        node.key = node.keySource ? keyText(*node.keySource) : std::string(value.key.view());
    if (std::optional<uint64_t> uid = uidOf(value)) {
        node.uid = uid;
        resolveObject(node, *uid);
    } else if (value.isContainer()) {
        node.kind = Kind::Container;
        node.arrayLike = value.type() == EntryType::Array;
        node.layout = node.arrayLike ? Layout::PlainArray : Layout::PlainDictionary;
        node.entry = node.source;
    } else {
        node.kind = Kind::Scalar;
        node.entry = node.source;
    }
    return node;
}

void KeyedArchive::resolveObject(ArchiveNode& node, uint64_t uid) {
    const Entry* obj = objectAt(uid);
    if (!obj) {
        node.kind = Kind::Broken;
        node.note = noSuchObject(uid);
        return;
    }
    node.object = EntryRef(const_cast<Entry*>(obj));
    if (isString(obj) && obj->stringValue() == "$null") {
        node.kind = Kind::Nil;
        return;
    }
    if (!obj->isContainer()) {
        node.kind = Kind::Scalar;
        node.entry = node.object;
        return;
    }
    // An object shows once, on the row made first for it (see add); every other row of it is a link there,
    // which keeps shared objects and cycles to finite rows.
    if (auto shown = shown_.find(uid); shown != shown_.end() && shown->second != &node) {
        node.kind = Kind::Link;
        node.home = shown->second;
        return;
    }
    classify(node, obj, true);
    if (node.kind == Kind::Container) shown_.emplace(uid, &node);
}

std::string KeyedArchive::keyText(const Entry& key) const {
    const Entry* k = &key;
    if (std::optional<uint64_t> uid = uidOf(key)) {
        k = objectAt(*uid);
        if (!k) return noSuchObject(*uid);
        if (const Entry* s = childNamed(k, "NS.string"); isString(s)) return s->stringValue();
    }
    return k->holdsString() ? std::string(k->stringValue()) : model::valueText(*k);
}

const std::vector<std::unique_ptr<ArchiveNode>>& KeyedArchive::children(ArchiveNode& node) {
    if (node.childrenBuilt) return node.children;
    resolve(node);
    node.childrenBuilt = true;
    const Entry* e = node.entry.get();
    if (node.kind == Kind::Top && !e) {
        auto broken = std::make_unique<ArchiveNode>();
        broken->key = "$top";
        broken->note = "\u26a0 $top: missing";
        broken->parent = &node;
        broken->resolved = true;
        node.children.push_back(std::move(broken));
        return node.children;
    }
    if (!node.expandable() || !e || !e->isContainer()) return node.children;
    switch (node.layout) {
    case Layout::KeyedDictionary: {
        const Entry* keys = childNamed(e, "NS.keys");
        const Entry* objects = childNamed(e, "NS.objects");
        if (!isContainerOf(keys, EntryType::Array) || !isContainerOf(objects, EntryType::Array)) break;
        const size_t n = std::min(keys->child().size(), objects->child().size());
        node.children.reserve(n);
        for (size_t i = 0; i < n; ++i)
            add(node, *objects->child()[i], keys->child()[i].get());
        break;
    }
    case Layout::ObjectArray: {
        const Entry* objects = childNamed(e, "NS.objects");
        if (!isContainerOf(objects, EntryType::Array)) break;
        node.children.reserve(objects->child().size());
        for (const EntryRef& c : objects->child())
            add(node, *c);
        break;
    }
    default:
        node.children.reserve(e->child().size());
        for (const EntryRef& c : e->child())
            if (node.layout != Layout::Encoded || c->key.view() != "$class") add(node, *c);
        break;
    }
    return node.children;
}

size_t KeyedArchive::count(const ArchiveNode& node) const {
    if (node.childrenBuilt) return node.children.size();
    const Entry* e = node.entry.get();
    if (!e || !e->isContainer()) return 0;
    switch (node.layout) {
    case Layout::KeyedDictionary: {
        const Entry* keys = childNamed(e, "NS.keys");
        const Entry* objects = childNamed(e, "NS.objects");
        return isContainerOf(keys, EntryType::Array) && isContainerOf(objects, EntryType::Array)
                   ? std::min(keys->child().size(), objects->child().size())
                   : 0;
    }
    case Layout::ObjectArray: {
        const Entry* objects = childNamed(e, "NS.objects");
        return isContainerOf(objects, EntryType::Array) ? objects->child().size() : 0;
    }
    case Layout::Encoded:
        return e->child().size() - (childNamed(e, "$class") ? 1 : 0);
    default:
        return e->child().size();
    }
}

std::string KeyedArchive::typeText(const ArchiveNode& node) const {
    switch (node.kind) {
    case Kind::Top: {
        const Entry* archiver = childNamed(root_.get(), "$archiver");
        return isString(archiver) ? std::string(archiver->stringValue()) : std::string("Dictionary");
    }
    case Kind::Nil:
        return "nil";
    case Kind::Link:
        return typeText(*node.home);
    case Kind::Broken:
        return "\u26a0";
    default:
        if (!node.className.empty()) return node.className;
        return node.entry ? std::string(typeName(node.entry->type())) : std::string();
    }
}

std::string KeyedArchive::valueText(const ArchiveNode& node) const {
    switch (node.kind) {
    case Kind::Top:
        return node.entry ? childCountText(count(node)) : std::string();
    case Kind::Nil:
        return "nil";
    case Kind::Link:
        return "\u21ba same object as " + path(*node.home);
    case Kind::Broken:
        return node.note;
    case Kind::Container:
        return node.note.empty() ? childCountText(count(node)) : node.note;
    case Kind::Scalar:
        return formText(node);
    }
    return {};
}

std::string KeyedArchive::formText(const ArchiveNode& node) const {
    const Entry* e = node.entry.get();
    if (!e) return {};
    if (node.form == Form::DateSeconds && isScalarOf(e, EntryType::Number))
        return descriptionOfDate(plist::Date{e->numberValue().toDouble()});
    if (node.form == Form::Uuid && isScalarOf(e, EntryType::Data) && e->dataValue().size() == 16)
        return uuidText(e->dataValue());
    return model::valueText(*e);
}

std::optional<Entry::Value> KeyedArchive::formValue(const ArchiveNode& node, std::string_view text) const {
    if (node.form == Form::DateSeconds) {
        if (std::optional<plist::Date> d = dateWithTypedText(text)) return Number::fromReal(d->seconds);
    } else if (node.form == Form::Uuid) {
        if (std::optional<Data> d = uuidWithText(text)) return *d;
    }
    return std::nullopt;
}

std::string KeyedArchive::path(const ArchiveNode& node) {
    std::vector<const ArchiveNode*> chain;
    for (const ArchiveNode* n = &node; n; n = n->parent)
        chain.push_back(n);
    std::string p;
    for (size_t i = chain.size(); i-- > 0;) {
        p += chain[i]->key;
        if (i) p += " \u203a ";
    }
    return p;
}

std::string KeyedArchive::printed(ArchiveNode* from) {
    std::string out;
    // Depth first through an explicit stack: a chain of objects may be as deep as the archive is long.
    std::vector<std::pair<ArchiveNode*, size_t>> stack{{from ? from : &top_, 0}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        out.append(depth * 2, ' ');
        out += withVisibleMarks(node->key);
        out += '\t';
        out += typeText(*node);
        out += '\t';
        out += withVisibleMarks(valueText(*node));
        out += '\n';
        // All rows of an expanded row are resolved before any is expanded, as a view shows them.
        const auto& rows = children(*node);
        for (const auto& r : rows)
            resolve(*r);
        for (size_t i = rows.size(); i-- > 0;)
            stack.emplace_back(rows[i].get(), depth + 1);
    }
    return out;
}

ArchiveNode* KeyedArchive::find(std::string_view path, std::string* missing) {
    ArchiveNode* node = &top_;
    if (path.empty()) return node;
    std::vector<std::string> parts(1);
    for (size_t at = 0; at < path.size(); ++at) {
        if (path[at] == '.') {
            parts.emplace_back();
            continue;
        }
        if (path[at] == '\\' && at + 1 < path.size()) ++at;
        parts.back() += path[at];
    }
    for (const std::string& part : parts) {
        if (node->kind == Kind::Link) node = node->home;
        ArchiveNode* next = nullptr;
        for (const auto& c : children(*node))
            if (resolve(*c).key == part || (node->arrayLike && c->key == "Item " + part)) {
                next = c.get();
                break;
            }
        if (!next) {
            if (missing) *missing = part;
            return nullptr;
        }
        node = next;
    }
    return node;
}

} // namespace model
