// The parts of the edit decisions that need no window and no Qt: reading typed values, and the command
// batches of renames, value and type changes and key sorting, shared by the editor and the command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "CommandRecord.h"

namespace editing {

// Typed text read as a value of a type: hexadecimal Data with or without <>, a Date's description or ISO
// text, a Number's typed text, "1" for a true Boolean, else the text itself. None when the text is no such
// value.
std::optional<Entry::Value> typedValue(EntryType type, std::string_view text);

// The sibling of item (another child of its parent) that holds key, or none.
EntryRef siblingWithKey(const EntryRef& item, std::string_view key);
// "Replace Key/Value": item takes the key and the sibling that held it goes. Empty when either has left
// their parent in the meantime.
CommandBatch replaceKeyValue(const EntryRef& item, const EntryRef& duplicate, const std::string& newKey);
// The batch that gives item a value: a Change Value of its parent's child, or for a scalar root, which has no
// parent to address it by, a type change to its own type.
CommandBatch valueChangeBatch(const EntryRef& item, Entry::Value value);
// Changing item's type by the conversion table; empty when it has that type already.
CommandBatch typeChangeBatch(const EntryRef& item, EntryType type);

// Whether item under parent would nest the document deeper than the readers and writers allow.
bool nestsTooDeep(const Entry& parent, const Entry& item);

// How Sort Keys orders keys: by the bytes of their UTF-8 text, or naturally, with runs of digits compared as
// numbers ("item2" before "item10"). Equal keys keep their order.
enum class KeyOrder { Bytes, Natural };
bool keyLess(std::string_view a, std::string_view b, KeyOrder order);
// Sorting the keys of a Dictionary (with branch, of every Dictionary in its branch too) as one step "Sort
// Keys"; empty when every key is in order already or item holds no Dictionary to sort.
CommandBatch sortKeysBatch(const EntryRef& item, bool branch, KeyOrder order);

} // namespace editing
