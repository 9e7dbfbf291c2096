#include "diag/ClipboardText.h"

#include "framework/Handles.h"

#include <cstring>

bool CopyTextToClipboard(HWND owner, const std::wstring& text) noexcept {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    fw::UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return false;
    void* data = ::GlobalLock(memory.get());
    if (!data) return false;
    std::memcpy(data, text.c_str(), bytes);
    ::GlobalUnlock(memory.get());
    // Another program may hold the clipboard for a moment.
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
        opened = ::OpenClipboard(owner) != FALSE;
        if (!opened) ::Sleep(20);
    }
    if (!opened) return false;
    bool placed = false;
    if (::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, memory.get())) {
        fw::Ignore(memory.release()); // the clipboard owns it now
        placed = true;
    }
    fw::Ignore(::CloseClipboard());
    return placed;
}
