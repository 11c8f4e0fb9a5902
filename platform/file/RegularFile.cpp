#include "RegularFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

uint64_t availableMemory() {
    uint64_t available = UINT64_MAX;
    if (FILE* f = std::fopen("/proc/meminfo", "re")) {
        char line[128];
        unsigned long long kb = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) available = uint64_t(kb) * 1024;
        std::fclose(f);
    }
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        unsigned long long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "re")) {
            if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const uint64_t used = uint64_t(pages) * uint64_t(::sysconf(_SC_PAGESIZE));
        available = std::min<uint64_t>(available, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }
    return available;
}

constexpr size_t kGrowth = 65536;

plist::Expected<std::string> readRegularFile(const std::string& path, const ReadWatcher& watcher,
                                             const char* cancelled) {
    auto failure = [](const char* reason) { return plist::makeError(plist::Error::Kind::Io, reason); };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failure(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failure(S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    }
    if (uint64_t(st.st_size) > availableMemory()) {
        ::close(fd);
        return plist::noMemoryError();
    }
    std::string bytes;
    // Room for the first piece of a file that grows while we read it, so that finding the end copies
    // nothing.
    bytes.reserve(size_t(st.st_size) + kGrowth);
    bytes.resize(size_t(st.st_size));
    size_t got = 0;
    for (;;) {
        if (got == bytes.size()) bytes.resize(bytes.size() + kGrowth); // the file grew while we read it
        // Read in pieces when someone watches, so that a progress bar moves and a cancel is heard.
        const size_t piece = watcher ? std::min<size_t>(bytes.size() - got, 8 << 20) : bytes.size() - got;
        ssize_t n = ::read(fd, bytes.data() + got, piece);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            return failure(std::strerror(e));
        }
        if (n == 0) break;
        got += size_t(n);
        if (watcher && !watcher(got, bytes.size())) {
            ::close(fd);
            return failure(cancelled);
        }
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

} // namespace platform
