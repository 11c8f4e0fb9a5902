// Finding an entry by its key path, as Copy Key Path writes it ("Root › items › Item 3 › name") or with "/"
// or "." between the parts ("items/3/name", "items.Item 3.name").
#pragma once

#include <string>
#include <string_view>

#include "Entry.h"

namespace model {

struct KeyPathLookup {
    // The entry the path names; none when a part was not found.
    Entry* found = nullptr;
    // Otherwise the deepest entry reached and the part that none of its children answers to.
    const Entry* reached = nullptr;
    std::string missingPart;
};

// Looks the path up below root. A leading root label is optional; in an Array a part is the element's label
// ("Item 3", itemWord with "%1" for the number) or its number alone. Keys may hold "." or "/" themselves:
// where parts can be read more than one way, the longest key that leads on is tried first.
KeyPathLookup lookUpKeyPath(Entry& root, std::string_view path, std::string_view rootWord = kRootLabel,
                            std::string_view itemWord = "Item %1");

} // namespace model
