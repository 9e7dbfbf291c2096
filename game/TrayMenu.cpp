#include "game/TrayMenu.h"

#include "framework/Trace.h"

#include <string>

fw::UniqueMenu BuildTrayMenu(const TrayMenuState& state) {
    fw::UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return menu;
    const auto flags = [](bool enabled, bool checked) {
        return MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED) | (checked ? MF_CHECKED : MF_UNCHECKED);
    };
    const bool built = ::AppendMenuW(menu.get(), MF_STRING, ID_TRAY_SHOW, L"显示游戏") &&
                       ::AppendMenuW(menu.get(), flags(state.soundAvailable, state.muted), ID_TRAY_MUTE, L"静音") &&
                       ::AppendMenuW(menu.get(), flags(state.canScreenshot, false), ID_TRAY_SCREENSHOT, L"截图") &&
                       ::AppendMenuW(menu.get(), flags(!state.clearingCache, false), ID_TRAY_CLEAR_CACHE, L"清除缓存并刷新") &&
                       ::AppendMenuW(menu.get(), MF_STRING, ID_TRAY_COPY_DIAGNOSIS, L"复制诊断信息") &&
                       ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr) &&
                       ::AppendMenuW(menu.get(), MF_STRING, ID_TRAY_EXIT, L"退出游戏") &&
                       ::SetMenuDefaultItem(menu.get(), ID_TRAY_SHOW, FALSE);
    if (!built) menu.reset();
    return menu;
}

UINT TrackTrayMenu(HWND owner, HMENU menu, POINT pt) {
    // Without the foreground the menu stays open after a click elsewhere.
    fw::Ignore(::SetForegroundWindow(owner));
    const UINT align = ::GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    ::SetLastError(ERROR_SUCCESS);
    const BOOL command = ::TrackPopupMenuEx(menu, align | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD |
                                                      TPM_NONOTIFY | TPM_NOANIMATION,
                                            pt.x, pt.y, owner, nullptr);
    if (command == 0 && ::GetLastError() != ERROR_SUCCESS) {
        fw::Trace(L"tray menu not shown: error ", std::to_wstring(::GetLastError()));
    }
    // The task switch the documentation asks for, so a second click opens the menu again.
    fw::Ignore(::PostMessageW(owner, WM_NULL, 0, 0));
    return static_cast<UINT>(command);
}
