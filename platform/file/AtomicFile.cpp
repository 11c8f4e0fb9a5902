#include "AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace platform {
namespace {

plist::Error systemError(const std::string& what, int err) {
    return plist::makeError(plist::Error::Kind::Io, what + ": " + std::strerror(err));
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links to the file that is really written; a dangling link gives the path it points to.
// Errors name the path asked for, as every error of a write does: the user knows no other.
plist::Expected<std::string> resolveTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT) return current;
            return systemError(path, errno);
        }
        if (!S_ISLNK(st.st_mode)) return current;
        char buf[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n < 0) return systemError(path, errno);
        std::string target(buf, size_t(n));
        current = target[0] == '/' ? target : directoryOf(current) + "/" + target;
    }
    return systemError(path, ELOOP);
}

bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return true;
}

// Temporary files are named ".NAME.XXXXXX" beside the target NAME, X being letters and digits as mkstemp
// chooses them.
constexpr size_t kSuffixLength = 6;
constexpr std::string_view kSuffixLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string randomSuffix() {
    unsigned char random[kSuffixLength];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != ssize_t(sizeof random)) {
        struct timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        uint64_t x = uint64_t(now.tv_nsec) * 0x9E3779B97F4A7C15u ^ uint64_t(::getpid());
        for (unsigned char& r : random)
            r = static_cast<unsigned char>(x >>= 8);
    }
    std::string suffix;
    for (unsigned char r : random)
        suffix += kSuffixLetters[r % kSuffixLetters.size()];
    return suffix;
}

// Removes what saves killed in the past left of this target: regular files with one link, named as our
// temporary files, untouched for over an hour (so that no save still running loses its file). Nothing else
// is ever removed.
void removeLeftovers(const std::string& dir, const std::string& name) {
    DIR* folder = ::opendir(dir.c_str());
    if (!folder) return;
    const std::string prefix = "." + name + ".";
    const time_t untouchedSince = ::time(nullptr) - 3600;
    while (const dirent* e = ::readdir(folder)) {
        std::string_view n = e->d_name;
        if (n.size() != prefix.size() + kSuffixLength || n.substr(0, prefix.size()) != prefix ||
            n.substr(prefix.size()).find_first_not_of(kSuffixLetters) != std::string_view::npos)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(folder), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_nlink == 1 && st.st_mtime < untouchedSince)
            ::unlinkat(::dirfd(folder), e->d_name, 0);
    }
    ::closedir(folder);
}

// The file the new contents are written to. Where the file system allows, it has no name until just before
// the rename (O_TMPFILE), so a save killed at any other moment leaves nothing behind; elsewhere it is named
// from the start. Closed, and removed when named, unless it was renamed over the target.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { discard(); }

    // Opens an unnamed file in dir; false where the file system or the kernel has no O_TMPFILE.
    bool openUnnamed(const std::string& dir) {
        fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        return fd_ >= 0;
    }
    static bool unnamedUnsupported(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

    bool openNamed(const std::string& prefix) {
        std::string pattern = prefix + std::string(kSuffixLength, 'X');
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ >= 0) name_ = std::move(pattern);
        return fd_ >= 0;
    }

    // Gives an unnamed file a free name of the temporary pattern; through /proc, or AT_EMPTY_PATH where the
    // process may use it. False, with errno set, when neither can link it.
    bool name(const std::string& prefix) {
        if (!name_.empty()) return true;
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = prefix + randomSuffix();
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                (errno != EEXIST && ::linkat(fd_, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH) == 0)) {
                name_ = std::move(candidate);
                return true;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }

    int fd() const { return fd_; }
    const std::string& path() const { return name_; }
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }
    void renamed() { name_.clear(); }
    void discard() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
        if (!name_.empty()) ::unlink(std::exchange(name_, {}).c_str());
    }

private:
    int fd_ = -1;
    std::string name_;
};

// Gives the file the mode and owner the target should have, writes the contents into it as they are made,
// and syncs them to the disk.
std::optional<plist::Error> fillAndSync(int fd, const ContentProducer& produce, const struct stat* old,
                                        const std::string& path, WrittenContents& written) {
    mode_t mode;
    if (old) {
        mode = old->st_mode & 07777;
        if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // Another owner cannot be kept by an ordinary user; the file stays the writer's.
        }
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) return systemError(path, errno);
    written = {};
    XXH3_state_t* hash = XXH3_createState();
    if (!hash) return plist::noMemoryError();
    XXH3_64bits_reset(hash);
    int err = 0;
    std::optional<plist::Error> refused = produce([&](std::string_view piece) {
        if (!writeAll(fd, piece)) {
            err = errno;
            return false;
        }
        XXH3_64bits_update(hash, piece.data(), piece.size());
        written.size += piece.size();
        return true;
    });
    written.hash = XXH3_64bits_digest(hash);
    XXH3_freeState(hash);
    if (err) return systemError(path, err);
    if (refused) return refused;
    if (::fsync(fd) != 0) return systemError(path, errno);
    return std::nullopt;
}

} // namespace

plist::Expected<bool> writeFileAtomically(const std::string& path, std::string_view bytes) {
    auto written = writeFileAtomically(path, [bytes](const ByteSink& sink) -> std::optional<plist::Error> {
        sink(bytes);
        return std::nullopt;
    });
    if (!written) return written.error();
    return true;
}

plist::Expected<WrittenContents> writeFileAtomically(const std::string& path,
                                                     const ContentProducer& produce) {
    auto resolved = resolveTarget(path);
    if (!resolved) return resolved.error();
    const std::string& target = *resolved;

    struct stat old {};
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return systemError(path, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
    // The rename below would replace a file that the user may not write wherever the folder is writable (and
    // hand it to the user); such a file is refused before anything is written, as writing it in place would
    // be.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return systemError(path, errno);

    std::string dir = directoryOf(target);
    std::string name = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    const std::string prefix = dir + "/." + name + ".";
    removeLeftovers(dir, name);

    TemporaryFile tmp;
    WrittenContents written;
    bool unnamed = tmp.openUnnamed(dir);
    if (!unnamed && !TemporaryFile::unnamedUnsupported(errno)) return systemError(path, errno);
    if (unnamed) {
        if (auto e = fillAndSync(tmp.fd(), produce, exists ? &old : nullptr, path, written)) return *e;
        // A file that cannot be linked is written again under a name.
        if (!tmp.name(prefix)) tmp.discard();
    }
    if (tmp.fd() < 0) {
        if (!tmp.openNamed(prefix)) return systemError(path, errno);
        if (auto e = fillAndSync(tmp.fd(), produce, exists ? &old : nullptr, path, written)) return *e;
    }
    if (!tmp.close()) return systemError(path, errno);
    if (::rename(tmp.path().c_str(), target.c_str()) != 0) return systemError(path, errno);
    tmp.renamed();
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return written;
}

} // namespace platform
