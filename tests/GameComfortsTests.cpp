// What the game window offers the player beyond its keys: the tray icon's menu and the page zoom.
#include "GameTestSupport.h"
#include "TestControl.h"
#include "TestSupport.h"
#include "framework/CWinApp.h"
#include "framework/COleControlSite.h"
#include "framework/ComPtr.h"
#include "framework/Handles.h"
#include "framework/OleInit.h"
#include "framework/UiScale.h"
#include "framework/Variant.h"
#include "framework/GdiPlus.h"
#include "framework/Trace.h"
#include "game/GameAudio.h"
#include "game/Screenshot.h"
#include "game/TrayMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using gametest::RunSteps;
using gametest::SpyGameDlg;

namespace {

constexpr INT_PTR kEndedByTest = 77;

// The popup menu this thread shows, if any (class #32768, visible).
HWND OpenMenuWindow() {
    for (HWND h : test::ThreadTopWindows()) {
        if (test::ClassNameOf(h) == L"#32768" && ::IsWindowVisible(h)) return h;
    }
    return nullptr;
}

struct MenuItem {
    std::wstring text;
    UINT id = 0;
    bool grayed = false, checked = false, separator = false;
    bool operator==(const MenuItem& o) const {
        return text == o.text && id == o.id && grayed == o.grayed && checked == o.checked && separator == o.separator;
    }
};

std::vector<MenuItem> ItemsOf(HMENU menu) {
    std::vector<MenuItem> items;
    const int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        wchar_t text[64] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 63;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        MenuItem item;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        if (!item.separator) {
            item.text = text;
            item.id = info.wID;
            item.grayed = (info.fState & MFS_GRAYED) != 0;
            item.checked = (info.fState & MFS_CHECKED) != 0;
        }
        items.push_back(item);
    }
    return items;
}

class GameComforts : public gametest::ModalGameTest {
protected:
    // Opens the tray menu as a right-click on the icon does; inside the menu's own loop, reads it
    // and hands it to whileOpen, which must close it (a key, or EndMenu).
    void WithTrayMenu(const std::function<void(HWND menuWindow, HMENU menu)>& whileOpen) {
        bool seen = false;
        gametest::WaitThen([] { return OpenMenuWindow() != nullptr; },
                           [&](bool open) {
                               seen = open;
                               HWND w = OpenMenuWindow();
                               if (!open) return;
                               whileOpen(w, reinterpret_cast<HMENU>(::SendMessageW(w, MN_GETHMENU, 0, 0)));
                           });
        ::SendMessageW(dlg.m_hWnd, WM_GAME_TRAYICON, kGameTrayIconId, WM_RBUTTONUP);
        EXPECT_TRUE(seen) << "the right-click opened no menu";
        EXPECT_EQ(OpenMenuWindow(), nullptr) << "the menu is closed once its call returns";
    }
};

TEST_F(GameComforts, TrayMenuItemsStatesAndCommands) {
    std::vector<MenuItem> shown, minimised;
    UINT defaultItem = 0;
    HWND window = nullptr, foreground = nullptr;
    bool zoomedAfterShowItem = false;
    TrayMenuState hidden;
    int nullsBefore = 0;
    test::MessageBoxAnswerer answerer(IDNO);
    Run({
        [&] {
            window = dlg.m_hWnd;
            nullsBefore = dlg.Count(WM_NULL);
            WithTrayMenu([&](HWND, HMENU menu) {
                shown = ItemsOf(menu);
                defaultItem = ::GetMenuDefaultItem(menu, FALSE, 0);
                foreground = ::GetForegroundWindow();
                ::EndMenu();
            });
        },
        [&] {
            // Minimised: the default item, chosen with the keyboard as a player would, brings it back.
            dlg.ShowWindow(SW_MINIMIZE);
            WithTrayMenu([&](HWND w, HMENU menu) {
                minimised = ItemsOf(menu);
                ::PostMessageW(w, WM_KEYDOWN, VK_DOWN, 1);
                ::PostMessageW(w, WM_KEYDOWN, VK_RETURN, 1);
            });
            zoomedAfterShowItem = ::IsZoomed(dlg.m_hWnd) != FALSE;
            ::PostMessageW(dlg.m_hWnd, WM_KEYDOWN, VK_F12, 1);
        },
        // Hidden, the states only: Wine ends a menu at once when its owner is hidden (Windows, where
        // a tray application's owner window is usually hidden, shows it).
        [&] { hidden = dlg.CurrentTrayMenuState(); },
        // "退出游戏" asks as the close box does; No keeps the game.
        [&] { dlg.OnTrayCommand(ID_TRAY_EXIT); },
        [&] {},
    });
    const std::vector<std::wstring> texts{L"显示游戏", L"静音", L"截图", L"清除缓存并刷新", L"", L"退出游戏"};
    ASSERT_EQ(shown.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(shown[i].text, texts[i]) << i;
    EXPECT_TRUE(shown[4].separator);
    EXPECT_EQ(shown[0].id, ID_TRAY_SHOW);
    EXPECT_EQ(shown[5].id, ID_TRAY_EXIT);
    EXPECT_EQ(defaultItem, ID_TRAY_SHOW) << "the default item is drawn bold";
    EXPECT_EQ(foreground, window) << "the menu's owner is the foreground window while it shows";
    EXPECT_GT(dlg.Count(WM_NULL), nullsBefore) << "a WM_NULL follows the menu";
    EXPECT_FALSE(shown[2].grayed) << "a screenshot is offered while the page is on screen";
    EXPECT_FALSE(shown[3].grayed);
    ASSERT_EQ(minimised.size(), texts.size());
    EXPECT_TRUE(minimised[2].grayed) << "nothing to take while minimised";
    EXPECT_TRUE(zoomedAfterShowItem) << "the default item shows the window as a left click does";
    EXPECT_FALSE(hidden.canScreenshot);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, L"即将退出Orvane，是否继续？");
    EXPECT_EQ(answerer.boxes[0].owner, window);
}

std::vector<std::wstring> g_traced;
void KeepTraceLine(std::wstring_view line) {
    g_traced.emplace_back(line);
}
bool Traced(const std::wstring& a, const std::wstring& b) {
    for (const auto& line : g_traced) {
        if (line.find(a) != std::wstring::npos && line.find(b) != std::wstring::npos) return true;
    }
    return false;
}

// Every Orvane-*.png in folder, and anything else there (a temporary file left behind).
std::vector<std::wstring> ShotsIn(const std::wstring& folder) {
    return gametest::FolderListing(folder);
}

// Log-off as the system plays it: WM_QUERYENDSESSION, then WM_ENDSESSION (TRUE), to each top-level
// window of the thread, hidden ones included. The answers to the query, by window.
std::vector<LRESULT> LogOff() {
    std::vector<LRESULT> answers;
    const std::vector<HWND> windows = test::ThreadTopWindows();
    for (HWND h : windows) answers.push_back(::SendMessageW(h, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    for (HWND h : windows) ::SendMessageW(h, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    return answers;
}

// The menu's commands as the game window carries them out: the process's sound switch (a PulseAudio
// null sink gives Wine a device in the test command) read from the session each time, a change in
// the volume mixer (played through the session the program holds) kept over F12, a screenshot
// written off the window's thread into a Pictures folder made again, the cache cleared before the
// reload; and log-off while hidden, which gives the sound back and finishes the shot being written.
TEST_F(GameComforts, MenuCommandsMixerAndLogOff) {
    AfxOleInit(); // as the application does before any window
    gametest::PrivatePictures pictures;
    ASSERT_TRUE(pictures.ok()) << "the Pictures folder cannot be moved for the test";
    ASSERT_EQ(::GetFileAttributesW(pictures.folder().c_str()), INVALID_FILE_ATTRIBUTES);
    GameAudio& audio = GameAudio::Instance();
    ASSERT_TRUE(audio.Available()) << "no default audio device (the test command starts PulseAudio)";
    ASSERT_FALSE(audio.PlayerMuted());
    test::GdiplusSession gdiplus;
    g_traced.clear();
    const fw::TraceSink oldSink = fw::SetTraceSink(&KeepTraceLine);
    struct Sound {
        bool player = false, session = false;
    };
    const auto sound = [&audio] { return Sound{audio.PlayerMuted(), audio.SessionMuted()}; };
    // The volume mixer: the session's mute, set from outside this program's sound switch.
    const auto mixer = [&audio](bool muted) {
        fw::ComPtr<ISimpleAudioVolume> session = audio.HeldSession();
        return session && SUCCEEDED(session->SetMute(muted ? TRUE : FALSE, nullptr));
    };
    Sound muted, hidden, shownOverMixer, unmuted;
    std::vector<MenuItem> whileMuted, afterMixer;
    bool mixerSet = false, clearingAtOnce = false, clearDone = false, shotDone = false;
    std::wstring shotBalloon, clearBalloon;
    bool balloonShown = false;
    SIZE page{}, png{};
    size_t navigationsBefore = 0, navigationsAtOnce = 0;
    std::vector<LRESULT> queryAnswers;
    bool hiddenAtLogOff = false, silentAtLogOff = false, pendingAtLogOff = false;
    fw::ComPtr<ISimpleAudioVolume> heldAtLogOff;
    Run({
        [&] {
            dlg.OnTrayCommand(ID_TRAY_MUTE);
            muted = sound();
            WithTrayMenu([&](HWND, HMENU menu) {
                whileMuted = ItemsOf(menu);
                ::EndMenu();
            });
            // The player unmutes in the mixer: the check mark follows the session.
            mixerSet = mixer(false);
            WithTrayMenu([&](HWND, HMENU menu) {
                afterMixer = ItemsOf(menu);
                ::EndMenu();
            });
            // ... and mutes there again, then hides the game with F12.
            mixerSet = mixerSet && mixer(true);
            ::PostMessageW(dlg.m_hWnd, WM_KEYDOWN, VK_F12, 1);
        },
        [&] {
            hidden = sound();
            ::SendMessageW(dlg.m_hWnd, WM_GAME_TRAYICON, kGameTrayIconId, WM_LBUTTONUP);
            shownOverMixer = sound();
            dlg.OnTrayCommand(ID_TRAY_MUTE);
            unmuted = sound();
        },
        [&] {
            RECT rc{};
            ::GetClientRect(dlg.m_wndBrowser.m_hWnd, &rc);
            page = SIZE{rc.right, rc.bottom};
            dlg.OnTrayCommand(ID_TRAY_SCREENSHOT);
            shotDone = test::PumpUntil([&] { return !dlg.m_strLastBalloon.empty() && !dlg.ScreenshotsPending(); });
            shotBalloon = dlg.m_strLastBalloon;
            balloonShown = dlg.m_bLastBalloonShown;
            navigationsBefore = dlg.navigations.size();
            dlg.OnTrayCommand(ID_TRAY_CLEAR_CACHE);
            clearingAtOnce = dlg.CurrentTrayMenuState().clearingCache;
            navigationsAtOnce = dlg.navigations.size();
            clearDone = test::PumpUntil([&] { return !dlg.CacheClearRunning(); });
            clearBalloon = dlg.m_strLastBalloon;
        },
        [&] {
            // A second shot, then F12 and log-off at once, while its file is being written.
            dlg.SaveScreenshot();
            pendingAtLogOff = dlg.ScreenshotsPending();
            MSG f12{dlg.m_hWnd, WM_KEYDOWN, VK_F12, 1, 0, {}};
            dlg.PreTranslateMessage(&f12);
            hiddenAtLogOff = audio.Hidden();
            silentAtLogOff = audio.SessionMuted();
            heldAtLogOff = audio.HeldSession();
            queryAnswers = LogOff();
        },
    });
    const bool hiddenAfterLogOff = audio.Hidden();
    BOOL sessionAfterLogOff = TRUE;
    const bool readAfterLogOff = heldAtLogOff && SUCCEEDED(heldAtLogOff->GetMute(&sessionAfterLogOff));
    const bool releasedAtLogOff = !audio.HeldSession();
    audio.Shutdown();
    fw::SetTraceSink(oldSink);

    EXPECT_TRUE(muted.player && muted.session);
    ASSERT_EQ(whileMuted.size(), 6u);
    EXPECT_TRUE(whileMuted[1].checked) << "静音 is ticked while muted";
    EXPECT_FALSE(whileMuted[1].grayed);
    ASSERT_TRUE(mixerSet);
    ASSERT_EQ(afterMixer.size(), 6u);
    EXPECT_FALSE(afterMixer[1].checked) << "the check mark is the session's, read when the menu opens";
    EXPECT_TRUE(hidden.session) << "hidden is silent";
    EXPECT_TRUE(shownOverMixer.session && shownOverMixer.player) << "showing gives back the mixer's mute";
    EXPECT_FALSE(unmuted.player || unmuted.session) << "one click brings the sound back";

    // Log-off while hidden: the query answered yes, the silence ended and the sound given back
    // before the process would end, the shot being written finished.
    EXPECT_TRUE(pendingAtLogOff);
    EXPECT_TRUE(hiddenAtLogOff && silentAtLogOff);
    ASSERT_FALSE(queryAnswers.empty());
    for (LRESULT answer : queryAnswers) EXPECT_EQ(answer, TRUE);
    EXPECT_FALSE(hiddenAfterLogOff);
    EXPECT_TRUE(readAfterLogOff);
    EXPECT_FALSE(sessionAfterLogOff) << "the sound is back, as the end of the run leaves it";
    EXPECT_TRUE(releasedAtLogOff) << "the end of the run's release, done at log-off";
    EXPECT_FALSE(dlg.ScreenshotsPending()) << "nothing left to write once log-off is answered";

    // The screenshots: the page area's size, in the Pictures folder made again, announced on the
    // tray icon once written; nothing else (no temporary file) there.
    const std::wstring folder = ScreenshotFolder();
    EXPECT_EQ(folder, pictures.folder() + L"\\Orvane");
    const std::vector<std::wstring> files = ShotsIn(folder);
    ASSERT_EQ(files.size(), 2u) << testing::PrintToString(files);
    for (const auto& f : files) EXPECT_EQ(f.rfind(L"Orvane-", 0), 0u) << testing::PrintToString(f);
    {
        Gdiplus::Bitmap image((folder + L"\\" + files[0]).c_str());
        png = SIZE{static_cast<LONG>(image.GetWidth()), static_cast<LONG>(image.GetHeight())};
    }
    EXPECT_EQ(png.cx, page.cx);
    EXPECT_EQ(png.cy, page.cy);
    ASSERT_TRUE(shotDone);
    EXPECT_EQ(shotBalloon.rfind(L"截图已保存\n", 0), 0u) << testing::PrintToString(shotBalloon);
    EXPECT_TRUE(shotBalloon.find(files[0]) != std::wstring::npos || shotBalloon.find(files[1]) != std::wstring::npos);
    EXPECT_TRUE(balloonShown);

    // The cache of the game's host cleared off the window's thread (the item greyed meanwhile),
    // then the hand-off address loaded again, once the clear was done.
    EXPECT_TRUE(clearingAtOnce);
    EXPECT_EQ(navigationsAtOnce, navigationsBefore) << "the reload waits for the clear";
    ASSERT_TRUE(clearDone);
    EXPECT_EQ(clearBalloon.rfind(L"缓存已清除\n已删除 ", 0), 0u) << testing::PrintToString(clearBalloon);
    EXPECT_TRUE(Traced(L"cache of ", L"game.example")) << testing::PrintToString(g_traced);
    ASSERT_EQ(dlg.navigations.size(), navigationsBefore + 1);
    EXPECT_EQ(dlg.navigations.back().url, L"http://game.example/play?sid=3");
}

// A DocumentComplete event as the browser fires it, for the top-level browser or a frame.
HRESULT FireDocumentComplete(SpyGameDlg& dlg, IDispatch* frame, const std::wstring& url) {
    if (!dlg.m_wndBrowser.m_pCtrlSite) return E_POINTER;
    IDispatch* sink = dlg.m_wndBrowser.m_pCtrlSite->GetEventSink();
    if (!sink) return E_POINTER;
    fw::Variant target;
    target.put()->vt = VT_BSTR;
    target.get()->bstrVal = ::SysAllocString(url.c_str());
    VARIANT args[2];
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = target.get();
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = frame;
    DISPPARAMS params{args, nullptr, 2, 0};
    return sink->Invoke(259 /* DocumentComplete */, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        nullptr, nullptr);
}

// The zoom calls the recording browser saw since index from: their values, in order. Each must ask
// the engine not to store the zoom (0x10002: OLECMDIDF_OPTICAL_ZOOM_NOPERSIST over
// OLECMDEXECOPT_DONTPROMPTUSER), or it shows as "stored".
std::vector<std::string> ZoomCalls(size_t from = 0) {
    std::vector<std::string> calls;
    const auto& log = test::RecordingBrowserClass::Log();
    for (size_t i = from; i < log.size(); ++i) {
        const std::string& call = log[i].call;
        if (call.rfind("ExecWB 63 ", 0) != 0) continue;
        calls.push_back(call.rfind("ExecWB 63 0x10002 ", 0) == 0 ? call.substr(18) : "stored: " + call);
    }
    return calls;
}

void SetCtrl(bool down) {
    BYTE keys[256] = {};
    fw::Ignore(::GetKeyboardState(keys));
    keys[VK_CONTROL] = down ? 0x80 : 0;
    keys[VK_LCONTROL] = down ? 0x80 : 0;
    fw::Ignore(::SetKeyboardState(keys));
}

// Runs at 96 DPI and again in the high-DPI runs: the engine is given the player's zoom times dpi / 96.
TEST(HighDpiGameZoom, KeysAndWheelStepTheZoomWhichHoldsAcrossLoads) {
    AfxOleInit();
    test::RecordingBrowserClass recorder;
    ASSERT_TRUE(recorder.ok());
    CWinApp app;
    SpyGameDlg dlg;
    dlg.SetParams(L"http://game.example/play?sid=3", L"x");
    app.m_pMainWnd = &dlg;
    const UINT dpi = SystemDpi();
    const auto engine = [dpi](int player) { return std::to_string((player * static_cast<int>(dpi) + 48) / 96); };

    std::vector<int> steps;
    std::vector<std::string> keyCalls, loadCalls, frameCalls, wheelCalls;
    gametest::KeyTarget* target = nullptr;
    size_t mark = 0;
    HRESULT fired = E_FAIL;
    test::Deadline deadline("the zoom steps to run in the game window's modal loop");
    RunSteps({
        [&] {
            target = new gametest::KeyTarget(dlg.m_hWnd);
            ::SetFocus(target->m_hWnd);
            SetCtrl(true);
            mark = test::RecordingBrowserClass::Log().size();
            for (UINT vk : {UINT{VK_OEM_PLUS}, UINT{VK_ADD}, UINT{VK_OEM_MINUS}}) {
                ::PostMessageW(target->m_hWnd, WM_KEYDOWN, vk, 1);
            }
            // Another Ctrl key is the page's.
            ::PostMessageW(target->m_hWnd, WM_KEYDOWN, 'A', 1);
        },
        [&] {
            steps.push_back(dlg.PlayerZoom());
            keyCalls = ZoomCalls(mark);
            // Half a notch twice is one step; a turn without Ctrl is the page's.
            mark = test::RecordingBrowserClass::Log().size();
            ::PostMessageW(target->m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 60), 0);
            ::PostMessageW(target->m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 60), 0);
            ::PostMessageW(target->m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
        },
        [&] {
            steps.push_back(dlg.PlayerZoom());
            wheelCalls = ZoomCalls(mark);
            for (int i = 0; i < 30; ++i) ::PostMessageW(target->m_hWnd, WM_KEYDOWN, VK_OEM_PLUS, 1);
        },
        [&] {
            steps.push_back(dlg.PlayerZoom());
            for (int i = 0; i < 30; ++i) ::PostMessageW(target->m_hWnd, WM_KEYDOWN, VK_SUBTRACT, 1);
        },
        [&] {
            steps.push_back(dlg.PlayerZoom());
            ::PostMessageW(target->m_hWnd, WM_KEYDOWN, '0', 1);
            ::PostMessageW(target->m_hWnd, WM_KEYDOWN, VK_OEM_PLUS, 1);
        },
        [&] {
            steps.push_back(dlg.PlayerZoom());
            SetCtrl(false);
            // F5, then the new document completes: the zoom is set again for it; a frame's is not.
            ::PostMessageW(target->m_hWnd, WM_KEYDOWN, VK_F5, 1);
        },
        [&] {
            mark = test::RecordingBrowserClass::Log().size();
            fw::ComPtr<IDispatch> top = fw::QueryAs<IDispatch>(dlg.m_pBrowserApp.get(), IID_IDispatch);
            test::CountedDispatch frame;
            fired = FireDocumentComplete(dlg, &frame, L"http://ads.example/frame");
            frameCalls = ZoomCalls(mark);
            FireDocumentComplete(dlg, top.get(), L"http://game.example/play?sid=3");
            loadCalls = ZoomCalls(mark);
            dlg.EndDialog(static_cast<int>(kEndedByTest));
        },
    });
    EXPECT_EQ(dlg.DoModal(), kEndedByTest);
    SetCtrl(false);
    const std::vector<WPARAM> pageKeys = target ? target->keyDowns : std::vector<WPARAM>{};
    delete target;

    EXPECT_EQ(steps, (std::vector<int>{110, 120, 300, 50, 110}));
    EXPECT_EQ(keyCalls, (std::vector<std::string>{engine(110), engine(120), engine(110)}));
    EXPECT_EQ(wheelCalls, (std::vector<std::string>{engine(120)}));
    EXPECT_EQ(pageKeys, (std::vector<WPARAM>{'A'})) << "only the key that is not a zoom or F5 reaches the page";
    EXPECT_EQ(fired, S_OK);
    EXPECT_TRUE(frameCalls.empty()) << "a frame's document leaves the zoom alone";
    // Above 96 DPI the engine's documented remedy for a new document: one less, then the zoom.
    const std::vector<std::string> afterLoad =
        dpi > 96 ? std::vector<std::string>{std::to_string(std::stoi(engine(110)) - 1), engine(110)}
                 : std::vector<std::string>{engine(110)};
    EXPECT_EQ(loadCalls, afterLoad);
    ASSERT_EQ(dlg.navigations.size(), 2u) << "the hand-off address, then F5";
}

} // namespace
