#pragma once
// The initial state record the resources give a WebBrowser item (160 bytes, little-endian):
//   0-15 CLSID_WebBrowser, 16-19 version 1, 20-23 and 24-27 extent cx and cy in HIMETRIC,
//   28-31 flags, 32-159 initial location as 64 UTF-16 units (empty: no navigation).
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

struct BrowserInitState {
    static constexpr size_t kSize = 160;
    static constexpr DWORD kVersion = 1;
    enum : DWORD {
        kVisible = 0x01,
        kSilent = 0x02,
        kRegisterAsBrowser = 0x04,
        kRegisterAsDropTarget = 0x08,
        kOffline = 0x10,
    };
    SIZEL extent{};
    DWORD flags = 0;
    std::wstring location;
};
// False, with out untouched, when the bytes are not such a record (size, class or version).
bool ParseBrowserInitState(const std::vector<BYTE>& data, BrowserInitState& out);
