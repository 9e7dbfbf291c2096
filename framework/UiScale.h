#pragma once
// How much larger than its 96-DPI pixel geometry the launcher is drawn on a high-DPI screen.
// Kept in quarters (4 is 1.0, 6 is 1.5, 8 is 2.0): every scaled coordinate is then an exact
// integer sum, with no floating-point rounding to disagree between the skin and the controls.
#include <windows.h>

class UiScale {
public:
    constexpr UiScale() noexcept = default;
    static constexpr UiScale FromQuarters(int quarters) noexcept { return UiScale(quarters < 4 ? 4 : quarters); }

    constexpr int Quarters() const noexcept { return m_quarters; }
    constexpr bool IsOne() const noexcept { return m_quarters == 4; }
    // As a page zoom: 100, 125, 150, ...
    constexpr int Percent() const noexcept { return m_quarters * 25; }
    double Value() const noexcept { return m_quarters / 4.0; }

    // x * s to the nearest pixel, halves away from the origin's side (up).
    int Round(int x) const noexcept;
    // x * s rounded up.
    int Ceil(int x) const noexcept;
    // A rectangle of the 96-DPI layout at this scale. Left and top go to the nearest pixel, so
    // each edge lands where the scaled art has it; right and bottom round up, so the rectangle
    // is never smaller than its 96-DPI size times s (a page made for 658 x 426 CSS pixels still
    // gets them at a zoom of s).
    RECT Rect(const RECT& r) const noexcept;

    constexpr bool operator==(const UiScale& o) const noexcept { return m_quarters == o.m_quarters; }
    constexpr bool operator!=(const UiScale& o) const noexcept { return m_quarters != o.m_quarters; }

private:
    explicit constexpr UiScale(int quarters) noexcept : m_quarters(quarters) {}
    int m_quarters = 4;
};

// The system DPI: GetDpiForSystem where the system has it (looked up at run time: Windows 10
// 1607 and later), else LOGPIXELSX of the screen. 96 when neither answers.
UINT SystemDpi() noexcept;

// The system's own scale, dpi / 96 rounded down to a quarter and never below 1.
UiScale ScaleForDpi(UINT dpi) noexcept;

// The launcher's scale: ScaleForDpi(dpi), at most largest, lowered a quarter at a time (never
// below 1) until a window of size (its 96-DPI size) times s, plus frame (what a frame around it
// adds, in pixels), fits inside workArea.
UiScale FitScale(UINT dpi, SIZE size, const RECT& workArea, UiScale largest, SIZE frame = SIZE{0, 0}) noexcept;
