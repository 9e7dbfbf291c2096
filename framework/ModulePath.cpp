#include "framework/ModulePath.h"

#include <algorithm>
#include <vector>

namespace fw {

std::wstring ModuleFileName(HMODULE hModule) {
    // GetModuleFileNameW cuts the path to the buffer and returns its full size when it did, so
    // the buffer grows until the path fits; 32,768 units is the longest path the system has.
    constexpr size_t kLongestPath = 32768;
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(hModule, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= kLongestPath) return {};
        buffer.assign(std::min(buffer.size() * 2, kLongestPath + 1), L'\0');
    }
}

} // namespace fw
