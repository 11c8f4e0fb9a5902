// Reads a whole regular file into memory, refusing anything that is not one or that would not fit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/plist/Error.h"

namespace platform {

// The bytes this process may still take: the memory the system has available (MemAvailable), and where the
// address space is limited (RLIMIT_AS), no more than is left of that limit.
uint64_t availableMemory();

// Reads a regular file whole. Directories, FIFOs, devices and sockets are refused before any read, so an
// endless device can never hang a load; so is a file larger than the memory left to hold it (an error of kind
// NoMemory), which would only fail, late and slowly, or push the whole system into swapping. The reasons are
// the system's words alone: whoever reports them names the file. With a watcher, the file is read in pieces
// and the watcher is told the bytes read so far and the size after each; when it answers false the read stops
// with the error `cancelled`.
using ReadWatcher = std::function<bool(uint64_t done, uint64_t total)>;
plist::Expected<std::string> readRegularFile(const std::string& path, const ReadWatcher& watcher = {},
                                             const char* cancelled = "cancelled");

} // namespace platform
