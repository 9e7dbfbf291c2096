#include "framework/UiScale.h"

#include "framework/Handles.h"

namespace {

// Floor division for a positive divisor.
long long FloorDiv(long long a, long long b) noexcept {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

int UiScale::Round(int x) const noexcept {
    return static_cast<int>(FloorDiv(static_cast<long long>(x) * m_quarters + 2, 4));
}

int UiScale::Ceil(int x) const noexcept {
    return static_cast<int>(-FloorDiv(-static_cast<long long>(x) * m_quarters, 4));
}

RECT UiScale::Rect(const RECT& r) const noexcept {
    return RECT{Round(r.left), Round(r.top), Ceil(r.right), Ceil(r.bottom)};
}

UINT SystemDpi() noexcept {
    // Not imported: the program also runs on systems older than the function.
    using GetDpiForSystemProc = UINT(WINAPI*)();
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    FARPROC proc = user32 ? ::GetProcAddress(user32, "GetDpiForSystem") : nullptr;
    // Through void (*)(): GCC's -Wcast-function-type takes it as the generic function pointer.
    if (auto getDpi = reinterpret_cast<GetDpiForSystemProc>(reinterpret_cast<void (*)()>(proc))) {
        if (const UINT dpi = getDpi()) return dpi;
    }
    fw::WindowDc screen(nullptr);
    const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UiScale ScaleForDpi(UINT dpi) noexcept {
    // Quarters of 96 DPI, rounded down: 24 DPI each.
    const UINT quarters = dpi / 24;
    return UiScale::FromQuarters(quarters > 64 ? 64 : static_cast<int>(quarters));
}

UiScale FitScale(UINT dpi, SIZE size, const RECT& workArea, UiScale largest, SIZE frame) noexcept {
    const long long workWidth = static_cast<long long>(workArea.right) - workArea.left;
    const long long workHeight = static_cast<long long>(workArea.bottom) - workArea.top;
    const int start = ScaleForDpi(dpi).Quarters();
    for (int quarters = start < largest.Quarters() ? start : largest.Quarters(); quarters > 4; --quarters) {
        const UiScale s = UiScale::FromQuarters(quarters);
        if (s.Ceil(size.cx) + static_cast<long long>(frame.cx) <= workWidth &&
            s.Ceil(size.cy) + static_cast<long long>(frame.cy) <= workHeight) {
            return s;
        }
    }
    return UiScale();
}
