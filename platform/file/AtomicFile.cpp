#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

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

} // namespace

plist::Expected<bool> writeFileAtomically(const std::string& path, std::string_view bytes) {
    auto resolved = resolveTarget(path);
    if (!resolved) return resolved.error();
    const std::string& target = *resolved;

    struct stat old {};
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return systemError(path, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);

    std::string dir = directoryOf(target);
    std::string name = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    std::string tmp = dir + "/." + name + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return systemError(path, errno);

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return systemError(path, err);
    };
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Another owner cannot be kept by an ordinary user; the file stays the writer's.
        }
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) return fail(errno);
    if (!writeAll(fd, bytes)) return fail(errno);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return systemError(path, err);
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return systemError(path, err);
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

} // namespace platform
