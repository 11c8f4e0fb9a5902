// Key paths: the text that names an entry from the root down, as scripts and the command line write it.
//
// Dictionary keys and array indices are joined with "." ("items.3.name"); inside a key, "\." stands for "."
// and "\\" for "\". The empty path names the root.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Entry.h"
#include "platform/plist/Error.h"

namespace model {

// The parts of a path; none when a backslash stands before anything but "." or "\", or at the end.
std::optional<std::vector<std::string>> splitKeyPath(std::string_view path);
// One key or index as it stands in a path, "." and "\" escaped.
std::string keyPathComponent(std::string_view key);
// The parts joined back into a path.
std::string joinKeyPath(const std::vector<std::string>& parts);
// The path of an entry in its tree: its parents' keys and indices down to it.
std::string keyPathOf(const Entry& e);

// The entry a path names below root. A part fails to resolve when a Dictionary holds no such key (the first
// of equal keys wins), an Array has no such index (decimal, counted from 0), or the entry above is no
// container; the error then names that part and the path to it.
plist::Expected<EntryRef> resolveKeyPath(const EntryRef& root, const std::vector<std::string>& parts);

// The index a part names in an Array of count elements (count itself too, for "end" or a new last index
// when allowEnd is set); none for any other text.
std::optional<size_t> arrayIndex(std::string_view part, size_t count, bool allowEnd = false);

} // namespace model
