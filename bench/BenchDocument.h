// A deterministic, realistic property-list document for timing the readers and writers.
#pragma once

#include <cstddef>

#include "platform/plist/Value.h"

namespace bench {

// About 27 values a record (nested dictionaries and arrays, strings with "&" and "<", non-ASCII text,
// integers, reals, dates, data); 55000 records make about 1.5 million values, some 59 MB of XML.
inline constexpr int kLargeRecordCount = 55000;

plist::Value makeDocument(int records);

// Every value of the tree, containers included, dictionary keys not.
size_t countValues(const plist::Value& v);

} // namespace bench
