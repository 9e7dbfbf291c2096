#pragma once
// The game page's zoom: the player's own choice (Ctrl + wheel, Ctrl + '+' / '=', Ctrl + '-',
// Ctrl + '0') on top of the zoom the window's DPI asks for. Only the arithmetic and the reading
// of keys and wheel live here; the game window sends the result to its browser.
#include <windows.h>

class PageZoom {
public:
    // The player's zoom, in percent of the page's normal size.
    static constexpr int kMinPercent = 50;
    static constexpr int kMaxPercent = 300;
    static constexpr int kStepPercent = 10;

    // None: not a zoom gesture (the page gets it). Pending: Ctrl + wheel short of a whole notch
    // (kept from the page, which would zoom on its own, but no step yet).
    enum class Action { None, Pending, In, Out, Reset };

    // What a queued message asks of the zoom: a key-down of '+', '=', '-' or '0' (main keyboard or
    // keypad) with Ctrl held and Alt not, or a wheel turn with MK_CONTROL. Wheel turns add up, so a
    // fine-grained wheel steps once per WHEEL_DELTA, not once per message; ctrlDown is the state
    // of Ctrl when the message was queued (GetKeyState).
    Action FromMessage(const MSG& msg, bool ctrlDown, bool altDown) noexcept;

    // What the engine takes (OLECMDID_OPTICAL_ZOOM).
    static constexpr int kEngineMinPercent = 10;
    static constexpr int kEngineMaxPercent = 1000;

    // Applies an action at the system's dpi; true when the player's zoom changed. The steps stay
    // within what the engine can be given at that DPI (at 336 DPI, 280 % at most), so that every
    // step, the next Ctrl + '-' from the top included, changes what the page shows.
    bool Apply(Action action, UINT dpi = 96) noexcept;

    int PlayerPercent() const noexcept { return m_playerPercent; }

    // The player's zoom bounds at dpi: whole steps from 100 %, within kMinPercent..kMaxPercent,
    // whose engine value lies within kEngineMinPercent..kEngineMaxPercent.
    static int MaxPercent(UINT dpi) noexcept;
    static int MinPercent(UINT dpi) noexcept;

    // The value the engine is given: the player's zoom times the DPI's own (dpi / 96), rounded to
    // the nearest percent, never outside what the engine takes. With DOCHOSTUIFLAG_DPI_AWARE the
    // engine takes it as the page's exact scale.
    int EnginePercent(UINT dpi) const noexcept;

private:
    int m_playerPercent = 100;
    int m_wheelRest = 0;
};
