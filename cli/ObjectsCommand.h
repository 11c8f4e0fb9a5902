// The object view of a keyed archive on the command line.
#pragma once

#include <string>

#include "model/PlistDocument.h"

// Prints the object graph of a loaded keyed archive as the editor's object view shows it, everything
// expanded, repeated objects as links; from the row at objectPath (labels joined by ".", see
// model::KeyedArchive::find) when one is given, a scalar there as its value alone. Exit status 1 when the
// document is no keyed archive or the path leads nowhere, with the reason on standard error.
int printObjects(const model::PlistDocument& doc, const std::string& file,
                 const std::string& objectPath = {});
