#include "FileIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace platform {
namespace {

FileIdentity statusOf(const struct stat& st) {
    FileIdentity id;
    id.device = uint64_t(st.st_dev);
    id.inode = uint64_t(st.st_ino);
    id.size = int64_t(st.st_size);
    id.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

// Reads at most limit bytes of an open file; none when it holds more or cannot be read.
std::optional<std::string> readUpTo(int fd, int64_t limit) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return bytes;
        if (int64_t(bytes.size()) + n > limit) return std::nullopt;
        bytes.append(buffer, size_t(n));
    }
}

} // namespace

uint64_t FileIdentity::hashOf(std::string_view bytes) {
    return XXH3_64bits(bytes.data(), bytes.size());
}

std::optional<FileIdentity> FileIdentity::ofFile(const std::string& path) {
    // Non-blocking, so a FIFO put in the file's place cannot hang the editor.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A file the user may not read is still told apart by its status.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
        return statusOf(st);
    }
    struct stat st {};
    std::optional<FileIdentity> id;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        id = statusOf(st);
        if (st.st_size <= kHashedSizeLimit)
            if (std::optional<std::string> bytes = readUpTo(fd, kHashedSizeLimit))
                id->contentHash = hashOf(*bytes);
    }
    ::close(fd);
    return id;
}

std::optional<FileIdentity> FileIdentity::ofWrittenFile(const std::string& path, std::string_view bytes) {
    return ofWrittenFile(path, bytes.size(), int64_t(bytes.size()) <= kHashedSizeLimit ? hashOf(bytes) : 0);
}

std::optional<FileIdentity> FileIdentity::ofWrittenFile(const std::string& path, uint64_t size,
                                                        uint64_t hash) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileIdentity id = statusOf(st);
    if (int64_t(size) <= kHashedSizeLimit) id.contentHash = hash;
    return id;
}

bool FileIdentity::differsFromFileAt(const std::string& path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    const FileIdentity now = statusOf(st);
    if (sameStatus(now)) return false;
    // Replaced or touched: the same bytes are still the same document.
    if (!contentHash || now.size != size) return true;
    std::optional<FileIdentity> read = ofFile(path);
    return !read || read->contentHash != contentHash;
}

} // namespace platform
