#include "app/ExitConfirmation.h"

namespace {

constexpr wchar_t kExitText[] = L"即将退出Orvane，是否继续？";
constexpr wchar_t kExitCaption[] = L"退出游戏";

} // namespace

bool ExitConfirmation::Ask(HWND owner) {
    if (m_open) return false;
    m_open = true;
    const int answer = ::MessageBoxW(owner, kExitText, kExitCaption, MB_YESNO);
    m_open = false;
    return answer == IDYES;
}
