#pragma once
// The menu of the game window's tray icon: its items and their states, and showing it at the
// cursor so that it closes when the player clicks elsewhere.
#include "framework/Handles.h"

#include <windows.h>

// Commands of the menu, in its order.
constexpr UINT ID_TRAY_SHOW = 0x8101;
constexpr UINT ID_TRAY_MUTE = 0x8102;
constexpr UINT ID_TRAY_SCREENSHOT = 0x8103;
constexpr UINT ID_TRAY_CLEAR_CACHE = 0x8104;
constexpr UINT ID_TRAY_EXIT = 0x8105;
constexpr UINT ID_TRAY_COPY_DIAGNOSIS = 0x8106;

struct TrayMenuState {
    bool soundAvailable = false; // an audio device whose session the program holds
    bool muted = false;          // the player's own mute
    bool canScreenshot = false;  // the window is on screen, neither hidden nor minimised
    bool clearingCache = false;  // a cache clear runs: not a second one
};

// "显示游戏" (default, bold), "静音" (checked while muted, greyed without sound), "截图" (greyed
// when there is nothing on screen), "清除缓存并刷新" (greyed while a clear runs), "复制诊断信息",
// a separator, "退出游戏". Null when the system has no memory for it.
fw::UniqueMenu BuildTrayMenu(const TrayMenuState& state);

// Shows menu at pt for owner and returns the command chosen (0: none). Owner is made the
// foreground window first and gets a WM_NULL after, as the shell's documentation asks of a
// notification icon's menu, or the menu would not close on a click elsewhere. Shown without
// animation, so that nothing of it is left moving on the screen once a command is chosen.
UINT TrackTrayMenu(HWND owner, HMENU menu, POINT pt);
