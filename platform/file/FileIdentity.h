// What the editor remembers of a file it read or wrote, so that a change made by another program is noticed
// before it is overwritten: the file's device, inode, size and modification time, and a hash of its contents
// where that is cheap.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct FileIdentity {
    // Files up to this size also carry a hash of their contents.
    static constexpr int64_t kHashedSizeLimit = int64_t(4) << 20;

    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    std::optional<uint64_t> contentHash;

    // The file as it is now, hashed when small enough; none when it cannot be read (it is missing, or is no
    // regular file).
    static std::optional<FileIdentity> ofFile(const std::string& path);
    // The file just written with these bytes: its status now, and the hash of the bytes themselves.
    static std::optional<FileIdentity> ofWrittenFile(const std::string& path, std::string_view bytes);
    // The same from the size and hashOf of the bytes written.
    static std::optional<FileIdentity> ofWrittenFile(const std::string& path, uint64_t size, uint64_t hash);
    static uint64_t hashOf(std::string_view bytes);

    // Whether the file now holds something other than what this identity describes. A file that was
    // replaced or touched but holds the very same bytes (by the hash) is unchanged; a missing file is
    // changed.
    bool differsFromFileAt(const std::string& path) const;

    bool sameStatus(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs;
    }
};

} // namespace platform
