#include "framework/BrowserInitState.h"

#include <exdisp.h>

#include <cstring>
#include <utility>

bool ParseBrowserInitState(const std::vector<BYTE>& data, BrowserInitState& out) {
    if (data.size() != BrowserInitState::kSize) return false;
    CLSID clsid;
    std::memcpy(&clsid, data.data(), sizeof clsid);
    if (clsid != CLSID_WebBrowser) return false;
    DWORD version;
    std::memcpy(&version, data.data() + 16, sizeof version);
    if (version != BrowserInitState::kVersion) return false;
    BrowserInitState state;
    LONG cx, cy;
    std::memcpy(&cx, data.data() + 20, sizeof cx);
    std::memcpy(&cy, data.data() + 24, sizeof cy);
    state.extent = SIZEL{cx, cy};
    std::memcpy(&state.flags, data.data() + 28, sizeof state.flags);
    // 64 UTF-16 units, NUL-terminated when shorter; no terminator needed when full.
    constexpr size_t kLocationUnits = 64;
    for (size_t i = 0; i < kLocationUnits; ++i) {
        WCHAR c;
        std::memcpy(&c, data.data() + 32 + i * sizeof(WCHAR), sizeof c);
        if (c == 0) break;
        state.location.push_back(c);
    }
    out = std::move(state);
    return true;
}
