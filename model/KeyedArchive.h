// The object graph of a keyed archive, read out of the plain entry tree one object at a time.
//
// A keyed archive is a Dictionary holding "$archiver" (a String), "$objects" (an Array) and "$top" (a
// Dictionary). Objects point at each other through uids, dictionaries {"CF$UID": n} in the tree that stand
// for $objects[n]. For example
//   $top     = {root: uid 1}
//   $objects = ["$null", {$class: uid 3, NS.objects: [uid 2, uid 1]}, "hello", {$classname: "NSArray", ...}]
// shows as
//   Root      NSKeyedArchiver  (1 item)
//     root    NSArray          (2 items)
//       Item 0  String   hello
//       Item 1  NSArray  ↺ same object as Root › root
// The tree is never changed here: each shown scalar keeps the entry it came from, and edits go to that entry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Entry.h"

namespace model {

// The uid n of a {"CF$UID": n} dictionary; none for any other entry.
std::optional<uint64_t> uidOf(const Entry& e);

// One row of the object view.
struct ArchiveNode {
    enum class Kind : uint8_t { Top, Scalar, Container, Nil, Link, Broken };
    // Where a container's rows come from: a plain Dictionary or Array entry (values resolved), the key and
    // object arrays of NSDictionary, the object array of NSArray and NSSet, or an object's encoded keys.
    enum class Layout : uint8_t { None, PlainDictionary, PlainArray, KeyedDictionary, ObjectArray, Encoded };
    // How a scalar's text stands for its entry's value: as it is, a Number of seconds since 2001 shown as a
    // date (NSDate), or 16 bytes of Data shown as a UUID (NSUUID).
    enum class Form : uint8_t { Plain, DateSeconds, Uuid };

    Kind kind = Kind::Broken;
    Layout layout = Layout::None;
    Form form = Form::Plain;
    bool resolved = false; // the fields below the key hold what the row shows
    bool childrenBuilt = false;
    bool arrayLike = false; // its rows are "Item N"
    std::string key;        // the key column
    EntryRef source;        // the value the row stands for: a uid, a value held in place, or one of $top's
    EntryRef keySource;     // an NSDictionary's key object
    std::string className;  // from the object's $class
    std::string note;       // why a reference or a class is broken
    EntryRef entry;         // a scalar: the entry whose value is shown; a container: the entry it lists
    EntryRef object;        // the $objects element a uid led to; none for values held in place
    std::optional<uint64_t> uid; // the uid this row resolved
    ArchiveNode* parent = nullptr;
    ArchiveNode* home = nullptr; // a link: the row where the object shows
    size_t row = 0;
    std::vector<std::unique_ptr<ArchiveNode>> children;

    bool expandable() const { return kind == Kind::Top || kind == Kind::Container; }
};

class KeyedArchive {
public:
    // Whether root is a keyed archive: a Dictionary holding "$archiver" as a String and "$objects" as an
    // Array. A "$top" that is missing or no Dictionary shows as a broken row.
    static bool isKeyedArchive(const Entry& root);

    // The archive's graph over root, which must stay a keyed archive while this lives.
    explicit KeyedArchive(EntryRef root);
    KeyedArchive(const KeyedArchive&) = delete;
    KeyedArchive& operator=(const KeyedArchive&) = delete;

    // The object of root's $objects that e stands for: e is a uid, or the number inside one. None when it is
    // neither or the uid points past the objects.
    static EntryRef objectOfUid(const Entry& root, const Entry& e);

    // The top row, "Root", whose rows are $top's entries.
    ArchiveNode& top() { return top_; }
    // A row's rows, made on the first call. They are resolved one by one when first shown (resolve), so that
    // an array of 100,000 objects opens at once; an object counts as first reached where it was resolved
    // first.
    const std::vector<std::unique_ptr<ArchiveNode>>& children(ArchiveNode& node);
    ArchiveNode& resolve(ArchiveNode& node);
    // Takes a resolved NSDictionary row's key text again from its key object.
    void updateKey(ArchiveNode& node) const {
        if (node.resolved && node.keySource) node.key = keyText(*node.keySource);
    }
    // Whether a row has rows, without resolving it.
    bool mayExpand(const ArchiveNode& node) const;

    // Of a resolved row: the type column, a class name ("NSMutableDictionary"), a type name, "nil", or "⚠"
    // for a broken row.
    std::string typeText(const ArchiveNode& node) const;
    // The value column: a scalar's value (a date for NSDate, a UUID for NSUUID), a container's item count,
    // "nil", "↺ same object as Root › …" or "⚠ uid 57: no such object".
    std::string valueText(const ArchiveNode& node) const;
    // The labels from "Root" down to node, joined by " › ".
    static std::string path(const ArchiveNode& node);

    // Whether the row is a scalar whose value can be edited in place.
    static bool isEditable(const ArchiveNode& node) { return node.kind == ArchiveNode::Kind::Scalar; }
    // The text an edit of a date or UUID row starts with, and the value of its entry for typed text (none
    // when the text is no such value). Plain scalars edit as their entry does.
    std::string formText(const ArchiveNode& node) const;
    std::optional<Entry::Value> formValue(const ArchiveNode& node, std::string_view text) const;

    // The row at an object-view path: labels joined by "." ("root.Item 3.name", a backslash escaping "." and
    // "\"), an array's rows also by index ("root.3"), links followed to the object. Empty: the top row. None
    // with the part that was not found in missing.
    ArchiveNode* find(std::string_view path, std::string* missing = nullptr);

    // The row and every row below it with everything expanded (from the top row when none), one a line as
    // `vantrel-cli print` writes the outline: indented by depth, key, type and value separated by tabs,
    // control characters shown by their marks.
    std::string printed(ArchiveNode* from = nullptr);

private:
    void add(ArchiveNode& parent, const Entry& value, const Entry* key = nullptr);
    void resolveObject(ArchiveNode& node, uint64_t uid);
    const Entry* objectAt(uint64_t uid) const;
    std::string_view className(const Entry& object, std::string* broken) const;
    // How an object that is a container shows (kind Container, a layout; or a Scalar it reads as).
    void classify(ArchiveNode& node, const Entry* object, bool named) const;
    std::string keyText(const Entry& key) const;
    size_t count(const ArchiveNode& node) const;

    EntryRef root_;
    EntryRef objects_;
    EntryRef topDict_;
    ArchiveNode top_;
    std::unordered_map<uint64_t, ArchiveNode*> shown_; // the first row made of each expandable object
    std::vector<bool> expands_;                        // by uid
};

} // namespace model
