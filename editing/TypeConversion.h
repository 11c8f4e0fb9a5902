// What an entry's value becomes when its type changes: every pair of types has one defined result.
#pragma once

#include <string>

#include "model/Entry.h"

namespace editing {

// The value an entry takes when changed to newType, from its current type and value. A container type gives
// "" (its children are decided by the command). Never fails: each case has a fallback value.
model::Entry::Value convertedValue(const model::Entry& e, model::EntryType newType);

// A value's text as a plain value: a String's text, a Number's text form, "1" or "0" for a Boolean, an
// "n/a" entry's "unknown data".
std::string textForm(const model::Entry& e);

// Seconds from 2001 now, in whole seconds.
double currentDateSeconds();

} // namespace editing
