#pragma once
// The layered-window functions are looked up in User32.DLL at each use, not imported.
#include <windows.h>

using UpdateLayeredWindowProc = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*,
                                              DWORD);
using SetLayeredWindowAttributesProc = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

inline constexpr wchar_t kUser32Module[] = L"User32.DLL";

// name from module as a Proc; null when either is missing.
template <class Proc>
Proc GetProcAs(HMODULE module, const char* name) noexcept {
    FARPROC proc = module ? ::GetProcAddress(module, name) : nullptr;
    // Through void (*)(): GCC's -Wcast-function-type takes it as the generic function pointer.
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(proc));
}
