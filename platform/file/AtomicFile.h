// Replaces a file's contents all at once: readers see the old file or the new one, never a mixture.
#pragma once

#include <string>
#include <string_view>

#include "platform/plist/Error.h"

namespace platform {

// Writes bytes to a temporary file in the target's folder, flushes and syncs it, gives it the target's
// permissions, and renames it over the target. When the target is a symbolic link, the file it points to is
// replaced and the link stays. A target the user may not write is refused before anything is written. On any
// failure the target is untouched, the temporary file is removed, and the error reads "PATH: reason", PATH as
// given and the reason in the system's words. A kill at any moment leaves the target complete, old or new;
// the temporary file has a name only for the moment before the rename where the file system allows it, and
// each save removes what earlier killed saves of the same target left behind.
plist::Expected<bool> writeFileAtomically(const std::string& path, std::string_view bytes);

} // namespace platform
