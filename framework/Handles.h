#pragma once
// Owners for platform handles: one move-only template plus one-line aliases per kind,
// and scoped types for paired calls (window DC, selected object).
#include <windows.h>
#include <utility>

namespace fw {

template <class T, class Deleter>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T h) noexcept : m_h(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    T get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != T(); }
    T release() noexcept { return std::exchange(m_h, T()); }
    void reset(T h = T()) noexcept {
        T old = std::exchange(m_h, h);
        if (old != T()) Deleter()(old);
    }
    // Address for out-parameters; frees what is held first.
    T* put() noexcept {
        reset();
        return &m_h;
    }

private:
    T m_h = T();
};

struct GdiObjectDeleter { void operator()(HGDIOBJ h) const noexcept { ::DeleteObject(h); } };
struct DcDeleter { void operator()(HDC h) const noexcept { ::DeleteDC(h); } };
struct IconDeleter { void operator()(HICON h) const noexcept { ::DestroyIcon(h); } };
struct ModuleDeleter { void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); } };
struct HookDeleter { void operator()(HHOOK h) const noexcept { ::UnhookWindowsHookEx(h); } };
struct GlobalDeleter { void operator()(HGLOBAL h) const noexcept { ::GlobalFree(h); } };
struct KernelHandleDeleter { void operator()(HANDLE h) const noexcept { ::CloseHandle(h); } };
struct WindowDeleter { void operator()(HWND h) const noexcept { ::DestroyWindow(h); } };
struct MenuDeleter { void operator()(HMENU h) const noexcept { ::DestroyMenu(h); } };

using UniqueBrush = UniqueHandle<HBRUSH, GdiObjectDeleter>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiObjectDeleter>;
using UniqueFont = UniqueHandle<HFONT, GdiObjectDeleter>;
using UniqueRgn = UniqueHandle<HRGN, GdiObjectDeleter>;
using UniqueDc = UniqueHandle<HDC, DcDeleter>;
using UniqueIcon = UniqueHandle<HICON, IconDeleter>;
using UniqueModule = UniqueHandle<HMODULE, ModuleDeleter>;
using UniqueHook = UniqueHandle<HHOOK, HookDeleter>;
using UniqueGlobal = UniqueHandle<HGLOBAL, GlobalDeleter>;
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleDeleter>;
using UniqueWindow = UniqueHandle<HWND, WindowDeleter>;
using UniqueMenu = UniqueHandle<HMENU, MenuDeleter>;

// GetDC / ReleaseDC pair for one window.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) noexcept : m_hwnd(hwnd), m_hdc(::GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (m_hdc) ::ReleaseDC(m_hwnd, m_hdc);
    }
    HDC get() const noexcept { return m_hdc; }

private:
    HWND m_hwnd;
    HDC m_hdc;
};

// BeginPaint / EndPaint pair.
class PaintDc {
public:
    explicit PaintDc(HWND hwnd) noexcept : m_hwnd(hwnd) { m_hdc = ::BeginPaint(hwnd, &m_ps); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { ::EndPaint(m_hwnd, &m_ps); }
    HDC get() const noexcept { return m_hdc; }
    const PAINTSTRUCT& ps() const noexcept { return m_ps; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_hdc;
};

// Selects an object into a DC and puts the previous one back.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC hdc, HGDIOBJ obj) noexcept : m_hdc(hdc), m_old(::SelectObject(hdc, obj)) {}
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;
    // False when the object could not be selected (a bitmap already selected into another DC).
    bool selected() const noexcept { return m_old && m_old != HGDI_ERROR; }
    ~SelectObjectGuard() {
        if (m_old && m_old != HGDI_ERROR) ::SelectObject(m_hdc, m_old);
    }

private:
    HDC m_hdc;
    HGDIOBJ m_old;
};

// Marks a platform result that the code ignores on purpose.
template <class T>
inline void Ignore(T&&) noexcept {}

} // namespace fw
