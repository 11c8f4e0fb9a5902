// Replaces a file's contents all at once: readers see the old file or the new one, never a mixture.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// Takes the contents piece by piece, in order; answers false when a piece could not be written.
using ByteSink = std::function<bool(std::string_view)>;
// Makes the contents into the sink as it goes, and stops when the sink answers false; an error of its own
// (a value the format cannot hold) fails the save with that error. It may be asked twice.
using ContentProducer = std::function<std::optional<plist::Error>(const ByteSink&)>;
// What a streamed write put in the file: its size and FileIdentity::hashOf its bytes.
struct WrittenContents {
    uint64_t size = 0;
    uint64_t hash = 0;
};

// The same, the contents written into the temporary file as the producer makes them, so that they are never
// held whole in memory.
plist::Expected<WrittenContents> writeFileAtomically(const std::string& path, const ContentProducer& produce);

} // namespace platform
