// Game window keys and display modes, driven through the window's own modal loop.
#include "GameTestSupport.h"
#include "TestSupport.h"
#include "framework/CWinApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using gametest::IsFramedStyle;
using gametest::IsFullScreenStyle;
using gametest::RunSteps;
using gametest::SpyGameDlg;
using gametest::StyleOf;

namespace {

struct Mode {
    int fullScreenFlag = -1;
    bool fullScreenStyle = false, framed = false, popup = false, zoomed = false, visible = false;
};

Mode ModeOf(const SpyGameDlg& dlg) {
    Mode m;
    m.fullScreenFlag = dlg.m_bFullScreen;
    m.fullScreenStyle = IsFullScreenStyle(dlg.m_hWnd);
    m.framed = IsFramedStyle(dlg.m_hWnd);
    m.popup = (StyleOf(dlg.m_hWnd) & WS_POPUP) != 0;
    m.zoomed = ::IsZoomed(dlg.m_hWnd) != FALSE;
    m.visible = ::IsWindowVisible(dlg.m_hWnd) != FALSE;
    return m;
}

bool IsWindowed(const Mode& m) {
    return m.fullScreenFlag == 0 && m.framed && !m.fullScreenStyle && m.zoomed && m.visible;
}
bool IsFullScreen(const Mode& m) {
    return m.fullScreenFlag == 1 && m.fullScreenStyle && m.zoomed && m.visible;
}

void PostKey(HWND h, UINT vk, LPARAM lParam = 1) {
    ::PostMessageW(h, WM_KEYDOWN, vk, lParam);
}

class GameKeys : public gametest::ModalGameTest {};

TEST_F(GameKeys, F11EntersFullScreenAndLeavesItThroughTheMetricsFrame) {
    Mode initial, full, windowed;
    size_t leaveStart = 0;
    Run({
        [&] {
            initial = ModeOf(dlg);
            PostKey(dlg.m_hWnd, VK_F11);
        },
        [&] {
            full = ModeOf(dlg);
            leaveStart = dlg.events.size();
            PostKey(dlg.m_hWnd, VK_F11);
        },
        [&] { windowed = ModeOf(dlg); },
    });
    EXPECT_TRUE(IsWindowed(initial));
    EXPECT_TRUE(initial.popup) << "the template's popup bit stays until the first full screen";
    EXPECT_TRUE(IsFullScreen(full));
    EXPECT_TRUE(full.popup);
    EXPECT_FALSE(full.framed);
    EXPECT_TRUE(IsWindowed(windowed));
    EXPECT_FALSE(windowed.popup) << "leaving full screen drops WS_POPUP";

    // Leaving: the frame is first put at 0,0 with the full-screen metrics (height + 22),
    // then maximised.
    const int cx = ::GetSystemMetrics(SM_CXFULLSCREEN);
    const int cy = ::GetSystemMetrics(SM_CYFULLSCREEN) + 22;
    int metricsFrame = -1, lastMaximised = -1;
    for (size_t i = leaveStart; i < dlg.events.size(); ++i) {
        const auto& e = dlg.events[i];
        const bool moved = e.message == WM_WINDOWPOSCHANGED && !(e.pos.flags & (SWP_NOMOVE | SWP_NOSIZE));
        if (moved && metricsFrame < 0 && e.pos.x == 0 && e.pos.y == 0 && e.pos.cx == cx && e.pos.cy == cy) {
            metricsFrame = static_cast<int>(i);
        }
        if (e.message == WM_SIZE && e.wParam == SIZE_MAXIMIZED) lastMaximised = static_cast<int>(i);
    }
    EXPECT_GE(metricsFrame, 0) << "no frame of " << cx << " x " << cy << " at 0,0";
    EXPECT_GT(lastMaximised, metricsFrame);
}

TEST_F(GameKeys, F11ActsOnEveryKeyDownWhateverTheModifiersAndRepeat) {
    BYTE saved[256] = {}, pressed[256] = {};
    ASSERT_TRUE(::GetKeyboardState(saved));
    std::copy(std::begin(saved), std::end(saved), std::begin(pressed));
    pressed[VK_CONTROL] = pressed[VK_SHIFT] = 0x80;
    constexpr LPARAM kRepeat = 0x40000001; // previous key state: down
    std::vector<int> flags;
    Run({
        [&] {
            ::SetKeyboardState(pressed);
            PostKey(dlg.m_hWnd, VK_F11);
            PostKey(dlg.m_hWnd, VK_F11, kRepeat);
            PostKey(dlg.m_hWnd, VK_F11, kRepeat);
        },
        [&] {
            flags.push_back(dlg.m_bFullScreen);
            PostKey(dlg.m_hWnd, VK_F11, kRepeat);
        },
        [&] {
            flags.push_back(dlg.m_bFullScreen);
            ::SetKeyboardState(saved);
        },
    });
    ::SetKeyboardState(saved);
    EXPECT_EQ(flags, (std::vector<int>{1, 0}));
}

TEST_F(GameKeys, EscapeLeavesFullScreenReachesItsTargetOnceAndNeverEndsTheDialog) {
    std::unique_ptr<gametest::KeyTarget> target;
    Mode afterWindowedEsc, full, afterFullEsc;
    std::vector<WPARAM> keysAtTarget;
    int escAtDialog = -1;
    Run({
        [&] {
            target = std::make_unique<gametest::KeyTarget>(dlg.m_hWnd);
            PostKey(target->m_hWnd, VK_ESCAPE);
            PostKey(dlg.m_hWnd, VK_ESCAPE);
        },
        [&] {
            afterWindowedEsc = ModeOf(dlg);
            PostKey(dlg.m_hWnd, VK_F11);
        },
        [&] {
            full = ModeOf(dlg);
            PostKey(target->m_hWnd, VK_ESCAPE);
        },
        [&] {
            afterFullEsc = ModeOf(dlg);
            keysAtTarget = target->keyDowns;
            escAtDialog = dlg.CountKey(VK_ESCAPE);
            target.reset();
        },
    });
    EXPECT_TRUE(IsWindowed(afterWindowedEsc));
    EXPECT_TRUE(afterWindowedEsc.popup) << "Escape in windowed mode changes nothing";
    EXPECT_TRUE(IsFullScreen(full));
    EXPECT_TRUE(IsWindowed(afterFullEsc));
    EXPECT_FALSE(afterFullEsc.popup);
    EXPECT_EQ(keysAtTarget, (std::vector<WPARAM>{VK_ESCAPE, VK_ESCAPE}));
    EXPECT_EQ(escAtDialog, 1);
}

TEST_F(GameKeys, EnterAndF10GoStraightToTheirTargetOnceAndNeverEndTheDialog) {
    std::unique_ptr<gametest::KeyTarget> target;
    std::vector<WPARAM> keysAtTarget;
    int enterAtDialog = -1, f10AtDialog = -1;
    Mode after;
    Run({
        [&] {
            target = std::make_unique<gametest::KeyTarget>(dlg.m_hWnd);
            ::SetFocus(target->m_hWnd);
            PostKey(target->m_hWnd, VK_RETURN);
            PostKey(target->m_hWnd, VK_F10);
            PostKey(dlg.m_hWnd, VK_RETURN);
            PostKey(dlg.m_hWnd, VK_F10);
        },
        [&] {
            keysAtTarget = target->keyDowns;
            enterAtDialog = dlg.CountKey(VK_RETURN);
            f10AtDialog = dlg.CountKey(VK_F10);
            after = ModeOf(dlg);
            target.reset();
        },
    });
    EXPECT_EQ(keysAtTarget, (std::vector<WPARAM>{VK_RETURN, VK_F10}));
    EXPECT_EQ(enterAtDialog, 1);
    EXPECT_EQ(f10AtDialog, 1);
    EXPECT_TRUE(IsWindowed(after));
}

TEST_F(GameKeys, F12HidesAndThePostedTrayClickBringsBackTheRecordedMode) {
    Mode hiddenWindowed, backWindowed, hiddenFull, backFull;
    LRESULT clickResult = -1;
    Run({
        [&] { PostKey(dlg.m_hWnd, VK_F12); },
        [&] {
            hiddenWindowed = ModeOf(dlg);
            ::PostMessageW(dlg.m_hWnd, WM_GAME_TRAYICON, 155, WM_LBUTTONUP);
        },
        [&] {
            backWindowed = ModeOf(dlg);
            PostKey(dlg.m_hWnd, VK_F11);
            PostKey(dlg.m_hWnd, VK_F12);
        },
        [&] {
            hiddenFull = ModeOf(dlg);
            clickResult = ::SendMessageW(dlg.m_hWnd, 0x401, 155, WM_LBUTTONUP);
            backFull = ModeOf(dlg);
        },
    });
    EXPECT_FALSE(hiddenWindowed.visible);
    EXPECT_EQ(hiddenWindowed.fullScreenFlag, 0);
    EXPECT_TRUE(IsWindowed(backWindowed));
    EXPECT_FALSE(hiddenFull.visible);
    EXPECT_EQ(hiddenFull.fullScreenFlag, 1) << "hiding keeps the mode";
    EXPECT_EQ(clickResult, 0);
    EXPECT_TRUE(IsFullScreen(backFull));
}

TEST_F(GameKeys, ClickOnWinesTrayIconBringsBackTheRecordedMode) {
    std::vector<HWND> icons;
    bool shownWindowed = false, shownFull = false;
    Mode windowed, full;
    auto clickIcon = [&] {
        icons = gametest::WineTrayIcons();
        if (icons.size() != 1) return;
        ::PostMessageW(icons[0], WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        ::PostMessageW(icons[0], WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    };
    auto visible = [&] { return ::IsWindowVisible(dlg.m_hWnd) != FALSE; };
    auto end = [&] { dlg.EndDialog(static_cast<int>(kEndedByTest)); };
    RunSteps({
        [&] { PostKey(dlg.m_hWnd, VK_F12); },
        [&] {
            ASSERT_FALSE(visible());
            clickIcon();
            gametest::WaitThen(visible, [&](bool ok) {
                shownWindowed = ok;
                windowed = ModeOf(dlg);
                RunSteps({
                    [&] {
                        PostKey(dlg.m_hWnd, VK_F11);
                        PostKey(dlg.m_hWnd, VK_F12);
                    },
                    [&] {
                        ASSERT_FALSE(visible());
                        clickIcon();
                        gametest::WaitThen(visible, [&](bool ok2) {
                            shownFull = ok2;
                            full = ModeOf(dlg);
                            end();
                        });
                    },
                });
            });
        },
    });
    test::Deadline deadline("clicks on Wine's tray icon to show the hidden game window, windowed then full screen");
    EXPECT_EQ(dlg.DoModal(), kEndedByTest);
    EXPECT_EQ(icons.size(), 1u);
    EXPECT_TRUE(shownWindowed);
    EXPECT_TRUE(IsWindowed(windowed));
    EXPECT_TRUE(shownFull);
    EXPECT_TRUE(IsFullScreen(full));
}

TEST_F(GameKeys, TrayNotificationsOfOtherIdsOrButtonsChangeNothing) {
    std::vector<LRESULT> results;
    std::vector<bool> visible;
    Run({
        [&] { PostKey(dlg.m_hWnd, VK_F12); },
        [&] {
            results.push_back(::SendMessageW(dlg.m_hWnd, 0x401, 154, WM_LBUTTONUP));
            visible.push_back(::IsWindowVisible(dlg.m_hWnd));
            // (A right-button release opens the tray menu: its own test.)
            results.push_back(::SendMessageW(dlg.m_hWnd, 0x401, 155, WM_RBUTTONDOWN));
            results.push_back(::SendMessageW(dlg.m_hWnd, 0x401, 155, WM_MOUSEMOVE));
            results.push_back(::SendMessageW(dlg.m_hWnd, 0x401, 155, WM_LBUTTONDOWN));
            results.push_back(::SendMessageW(dlg.m_hWnd, 0x401, 155, WM_LBUTTONDBLCLK));
            visible.push_back(::IsWindowVisible(dlg.m_hWnd));
            // Every left-button release acts, also on a window already shown.
            results.push_back(::SendMessageW(dlg.m_hWnd, 0x401, 155, WM_LBUTTONUP));
            visible.push_back(::IsWindowVisible(dlg.m_hWnd));
            dlg.ShowWindow(SW_MINIMIZE);
            results.push_back(::SendMessageW(dlg.m_hWnd, 0x401, 155, WM_LBUTTONUP));
            visible.push_back(::IsZoomed(dlg.m_hWnd));
        },
    });
    EXPECT_EQ(results, (std::vector<LRESULT>{1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(visible, (std::vector<bool>{false, false, true, true}));
}

TEST_F(GameKeys, F5GoesBackToTheHandOffAddressInEveryMode) {
    Mode afterF5;
    Run({
        [&] {
            dlg.NavigateElsewhere(L"http://game.example/elsewhere");
            PostKey(dlg.m_hWnd, VK_F5);
        },
        [&] {
            PostKey(dlg.m_hWnd, VK_F11);
            PostKey(dlg.m_hWnd, VK_F5);
        },
        [&] { afterF5 = ModeOf(dlg); },
    });
    ASSERT_EQ(dlg.navigations.size(), 4u);
    EXPECT_EQ(dlg.navigations[1].url, L"http://game.example/elsewhere");
    for (size_t i : {size_t{2}, size_t{3}}) {
        const auto& n = dlg.navigations[i];
        EXPECT_EQ(n.url, L"http://game.example/play?sid=3");
        EXPECT_EQ(n.flags, 0u);
        EXPECT_FALSE(n.target);
        EXPECT_FALSE(n.headers);
        EXPECT_FALSE(n.postData);
        EXPECT_EQ(n.postDataLen, 0u);
    }
    EXPECT_TRUE(IsFullScreen(afterF5)) << "F5 keeps the mode";
    EXPECT_EQ(dlg.CountKey(VK_F5), 0) << "F5 is consumed";
}

TEST_F(GameKeys, F12IsRefusedWhileTheTrayIconIsGone) {
    bool visibleWithoutIcon = false, visibleAfterReadd = true;
    int iconsWithout = -1, iconsAfterReadd = -1;
    Run({
        [&] {
            // Gone behind the window's back, as when the shell loses its icons.
            ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &g_trayIconData));
            iconsWithout = gametest::WineTrayIconCount();
            PostKey(dlg.m_hWnd, VK_F12);
        },
        [&] {
            visibleWithoutIcon = ::IsWindowVisible(dlg.m_hWnd);
            // The shell announces its restart: the icon is added again and F12 hides.
            ::SendMessageW(dlg.m_hWnd, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
            iconsAfterReadd = gametest::WineTrayIconCount();
            PostKey(dlg.m_hWnd, VK_F12);
        },
        [&] { visibleAfterReadd = ::IsWindowVisible(dlg.m_hWnd); },
    });
    EXPECT_EQ(iconsWithout, 0);
    EXPECT_TRUE(visibleWithoutIcon);
    EXPECT_EQ(iconsAfterReadd, 1);
    EXPECT_FALSE(visibleAfterReadd);
    EXPECT_EQ(dlg.CountKey(VK_F12), 0) << "F12 is consumed either way";
}

} // namespace
