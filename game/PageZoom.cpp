#include "game/PageZoom.h"

PageZoom::Action PageZoom::FromMessage(const MSG& msg, bool ctrlDown, bool altDown) noexcept {
    if (msg.message == WM_MOUSEWHEEL) {
        if (!(GET_KEYSTATE_WPARAM(msg.wParam) & MK_CONTROL)) return Action::None;
        // A turn the other way drops what the last one left over.
        const int delta = GET_WHEEL_DELTA_WPARAM(msg.wParam);
        if ((delta > 0) != (m_wheelRest > 0)) m_wheelRest = 0;
        m_wheelRest += delta;
        if (m_wheelRest >= WHEEL_DELTA) {
            m_wheelRest -= WHEEL_DELTA;
            return Action::In;
        }
        if (m_wheelRest <= -WHEEL_DELTA) {
            m_wheelRest += WHEEL_DELTA;
            return Action::Out;
        }
        return Action::Pending;
    }
    if (msg.message != WM_KEYDOWN || !ctrlDown || altDown) return Action::None;
    switch (msg.wParam) {
    case VK_OEM_PLUS: // '=' and, with Shift, '+' on the main keyboard
    case VK_ADD:
        return Action::In;
    case VK_OEM_MINUS:
    case VK_SUBTRACT:
        return Action::Out;
    case '0':
    case VK_NUMPAD0:
        return Action::Reset;
    default:
        return Action::None;
    }
}

namespace {

int Scaled(int playerPercent, UINT dpi) noexcept {
    if (dpi < 96) dpi = 96;
    return static_cast<int>((static_cast<long long>(playerPercent) * dpi + 48) / 96);
}

} // namespace

int PageZoom::MaxPercent(UINT dpi) noexcept {
    int most = kMaxPercent;
    while (most > 100 && Scaled(most, dpi) > kEngineMaxPercent) most -= kStepPercent;
    return most;
}

int PageZoom::MinPercent(UINT dpi) noexcept {
    int least = kMinPercent;
    while (least < 100 && Scaled(least, dpi) < kEngineMinPercent) least += kStepPercent;
    return least;
}

bool PageZoom::Apply(Action action, UINT dpi) noexcept {
    int next = m_playerPercent;
    switch (action) {
    case Action::In:
        next += kStepPercent;
        break;
    case Action::Out:
        next -= kStepPercent;
        break;
    case Action::Reset:
        next = 100;
        break;
    case Action::None:
    case Action::Pending:
        return false;
    }
    const int least = MinPercent(dpi);
    const int most = MaxPercent(dpi);
    if (next < least) next = least;
    if (next > most) next = most;
    if (next == m_playerPercent) return false;
    m_playerPercent = next;
    return true;
}

int PageZoom::EnginePercent(UINT dpi) const noexcept {
    const int percent = Scaled(m_playerPercent, dpi);
    // 100 % itself may lie beyond the engine's range at an extreme DPI: never send what it refuses.
    if (percent < kEngineMinPercent) return kEngineMinPercent;
    if (percent > kEngineMaxPercent) return kEngineMaxPercent;
    return percent;
}
