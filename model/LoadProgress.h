// How far a document load has come, and a request to stop it: the loading thread writes it now and then
// (every few thousand entries or megabytes, never per value), and another thread reads it to show a bar and
// sets `cancelled` to stop the load early.
#pragma once

#include <atomic>
#include <cstdint>

namespace model {

struct LoadProgress {
    enum Phase : int { Reading, Building };

    std::atomic<int> phase{Reading};
    // Bytes while reading; entries (or lines of text) while building. A total of 0 is not known yet.
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> total{0};
    std::atomic<bool> cancelled{false};

    void report(Phase p, uint64_t doneNow, uint64_t totalNow) {
        phase.store(p, std::memory_order_relaxed);
        total.store(totalNow, std::memory_order_relaxed);
        done.store(doneNow, std::memory_order_relaxed);
    }
    bool isCancelled() const { return cancelled.load(std::memory_order_relaxed); }
};

// How often a loop reports: every this many entries.
inline constexpr uint64_t kProgressStride = 4096;

// The reason a cancelled load gives.
inline constexpr const char* kLoadCancelled = "the load was cancelled";

} // namespace model
