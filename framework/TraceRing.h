#pragma once
// The last trace lines of the run, kept in memory so a player can hand them over with the
// diagnosis: nothing is written anywhere. Every finished line is kept, whichever sink it went to.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// Lines kept; the oldest goes when a new one comes.
constexpr size_t kTraceRingLines = 200;

// Keeps line (as it was sent, "Orvane: " included). Any thread; a line that cannot be kept
// (no memory) is dropped.
void RecordTraceLine(std::wstring_view line) noexcept;
// The kept lines, oldest first.
std::vector<std::wstring> RecentTraceLines();

} // namespace fw
