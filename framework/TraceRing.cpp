#include "framework/TraceRing.h"

#include <array>
#include <mutex>

namespace fw {

namespace {

// The diagnosis traces from its worker threads, so the ring takes a lock.
struct Ring {
    std::mutex mutex;
    std::array<std::wstring, kTraceRingLines> lines;
    size_t next = 0;  // slot the next line goes to
    size_t count = 0; // lines held
};

Ring& TheRing() {
    // Never destroyed: a worker thread may still trace while the process ends.
    static Ring* const ring = new Ring();
    return *ring;
}

} // namespace

void RecordTraceLine(std::wstring_view line) noexcept {
    try {
        std::wstring copy(line);
        Ring& ring = TheRing();
        const std::lock_guard<std::mutex> lock(ring.mutex);
        ring.lines[ring.next].swap(copy);
        ring.next = (ring.next + 1) % kTraceRingLines;
        if (ring.count < kTraceRingLines) ++ring.count;
    } catch (...) {
        // No memory for the copy: the ring goes without this line.
    }
}

std::vector<std::wstring> RecentTraceLines() {
    Ring& ring = TheRing();
    const std::lock_guard<std::mutex> lock(ring.mutex);
    std::vector<std::wstring> out;
    out.reserve(ring.count);
    const size_t first = (ring.next + kTraceRingLines - ring.count) % kTraceRingLines;
    for (size_t i = 0; i < ring.count; ++i) out.push_back(ring.lines[(first + i) % kTraceRingLines]);
    return out;
}

} // namespace fw
