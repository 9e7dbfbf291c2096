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
#include "game/PageZoom.h"
#include "game/Screenshot.h"
#include "game/TrayMenu.h"

#include <gtest/gtest.h>

#include <wininet.h>

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
    const std::vector<std::wstring> texts{L"显示游戏", L"静音", L"截图", L"清除缓存并刷新", L"复制诊断信息", L"", L"退出游戏"};
    ASSERT_EQ(shown.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(shown[i].text, texts[i]) << i;
    EXPECT_TRUE(shown[5].separator);
    EXPECT_EQ(shown[0].id, ID_TRAY_SHOW);
    EXPECT_EQ(shown[4].id, ID_TRAY_COPY_DIAGNOSIS);
    EXPECT_EQ(shown[6].id, ID_TRAY_EXIT);
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
// written off the window's thread into the player's Pictures folder, the cache cleared before the
// reload; and log-off while hidden, which gives the sound back and finishes the shot being written.
TEST_F(GameComforts, MenuCommandsMixerAndLogOff) {
    AfxOleInit(); // as the application does before any window
    gametest::PrivatePictures pictures;
    ASSERT_TRUE(pictures.ok()) << "the Pictures folder cannot be moved for the test";
    ASSERT_TRUE(gametest::FolderListing(pictures.folder()).empty());
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
    ASSERT_EQ(whileMuted.size(), 7u);
    EXPECT_TRUE(whileMuted[1].checked) << "静音 is ticked while muted";
    EXPECT_FALSE(whileMuted[1].grayed);
    ASSERT_TRUE(mixerSet);
    ASSERT_EQ(afterMixer.size(), 7u);
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

    // The screenshots: the page area's size, in the player's Pictures folder, announced on the
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

// The longest the window may take to answer while a long comfort runs, beyond what must happen on
// its thread: far below what the work itself takes there (seconds for a 3840 x 2160 PNG or
// thousands of cache entries), well above the noise of a loaded machine.
constexpr double kAnswerLimitMs = 400;

// A 3840 x 2160 screenshot and a clear of thousands of the game's cache entries leave the window
// answering; the clear is whole, its item greyed meanwhile, and a result with another ticket (meant
// for another game window) changes nothing.
TEST_F(GameComforts, LongComfortsLeaveTheWindowAnswering) {
    constexpr int kEntries = 3000;
    gametest::PrivatePictures pictures;
    ASSERT_TRUE(pictures.ok());
    test::GdiplusSession gdiplus;
    // Index entries, as the engine's: the walk meets and deletes each one.
    wchar_t headers[] = L"HTTP/1.1 200 OK\r\n\r\n";
    const FILETIME never{};
    const auto url = [](int i) { return L"http://game.example/res/" + std::to_wstring(i) + L".js"; };
    for (int i = 0; i < kEntries; ++i) {
        ASSERT_TRUE(::CommitUrlCacheEntryW(url(i).c_str(), nullptr, never, never, NORMAL_CACHE_ENTRY, headers,
                                           static_cast<DWORD>(std::size(headers) - 1), nullptr, nullptr))
            << i << ": " << ::GetLastError();
    }
    double shotMs = 0, clearMs = 0, takeMs = 0, writeMs = 0;
    bool pendingOnReturn = false;
    int shotSamples = 0, clearSamples = 0;
    bool written = false, cleared = false, foreignIgnored = false;
    std::vector<MenuItem> whileClearing;
    std::wstring shotBalloon, clearBalloon;
    size_t navigationsBefore = 0;
    test::Deadline deadline("the screenshot and the clear", 120000);
    Run({
        [&] {
            // A page area of 3840 x 2160 (larger than this screen: what lies beyond is black).
            ::MoveWindow(dlg.m_wndBrowser.m_hWnd, 0, 0, 3840, 2160, FALSE);
            // Timed alone: what must stay on the window's thread (the capture and the clipboard
            // copy; under Wine a capture from the X server is slow, 0.7 s at this size: the bound is
            // on top of it), and the file, which must not.
            ULONGLONG start = ::GetTickCount64();
            const screenshot::Shot alone = screenshot::Take(dlg.m_wndBrowser.m_hWnd, dlg.m_hWnd);
            takeMs = static_cast<double>(::GetTickCount64() - start);
            start = ::GetTickCount64();
            fw::Ignore(screenshot::Write(alone, pictures.folder() + L"\\alone"));
            writeMs = static_cast<double>(::GetTickCount64() - start);

            gametest::RemoveFilesAndFolder(pictures.folder() + L"\\alone", L"Orvane-");
            gametest::AnswerTimeProbe probe(dlg.m_hWnd);
            dlg.SaveScreenshot();
            pendingOnReturn = dlg.ScreenshotsPending();
            written = test::PumpUntil([&] { return !dlg.ScreenshotsPending(); }, 60000);
            test::PumpFor(50);
            shotMs = probe.Stop();
            shotSamples = probe.Samples();
            shotBalloon = dlg.m_strLastBalloon;
        },
        [&] {
            navigationsBefore = dlg.navigations.size();
            gametest::AnswerTimeProbe probe(dlg.m_hWnd);
            dlg.OnTrayCommand(ID_TRAY_CLEAR_CACHE);
            WithTrayMenu([&](HWND, HMENU menu) {
                whileClearing = ItemsOf(menu);
                ::EndMenu();
            });
            ::SendMessageW(dlg.m_hWnd, WM_GAME_CACHE_CLEARED, 0x7FFFFFF0, 0);
            foreignIgnored = dlg.CacheClearRunning() && dlg.navigations.size() == navigationsBefore;
            cleared = test::PumpUntil([&] { return !dlg.CacheClearRunning(); }, 60000);
            test::PumpFor(50);
            clearMs = probe.Stop();
            clearSamples = probe.Samples();
            clearBalloon = dlg.m_strLastBalloon;
        },
    });
    std::printf("longest answer: %.0f ms during the 3840x2160 screenshot (its capture and clipboard copy alone "
                "%.0f ms, its file alone %.0f ms), %.0f ms during the clear of %d entries\n",
                shotMs, takeMs, writeMs, clearMs, kEntries);

    ASSERT_TRUE(written);
    EXPECT_EQ(shotBalloon.rfind(L"截图已保存\n", 0), 0u) << testing::PrintToString(shotBalloon);
    const std::vector<std::wstring> files = ShotsIn(pictures.folder() + L"\\Orvane");
    ASSERT_EQ(files.size(), 1u) << testing::PrintToString(files);
    {
        Gdiplus::Bitmap image((pictures.folder() + L"\\Orvane\\" + files[0]).c_str());
        EXPECT_EQ(image.GetWidth(), 3840u);
        EXPECT_EQ(image.GetHeight(), 2160u);
    }
    EXPECT_GT(shotSamples, 3);
    // Under Wine what lies beyond the screen is captured flat, and a flat PNG is quick to write:
    // the file is still being written when the command returns.
    EXPECT_TRUE(pendingOnReturn) << "the file is written off the window's thread";
    EXPECT_LT(shotMs, takeMs + kAnswerLimitMs) << "the PNG is encoded and written off the window's thread";

    ASSERT_EQ(whileClearing.size(), 7u);
    EXPECT_EQ(whileClearing[3].text, L"清除缓存并刷新");
    EXPECT_TRUE(whileClearing[3].grayed) << "no second clear while one runs";
    EXPECT_TRUE(foreignIgnored) << "a result with another ticket is not this window's";
    ASSERT_TRUE(cleared);
    EXPECT_EQ(clearBalloon, L"缓存已清除\n已删除 " + std::to_wstring(kEntries) + L" 项");
    int left = 0;
    for (int i = 0; i < kEntries; ++i) {
        DWORD size = 0;
        left += !::GetUrlCacheEntryInfoW(url(i).c_str(), nullptr, &size) && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    }
    EXPECT_EQ(left, 0) << "the whole clear is done";
    EXPECT_EQ(dlg.navigations.size(), navigationsBefore + 1) << "one reload, after the clear";
    EXPECT_GT(clearSamples, 3);
    EXPECT_LT(clearMs, kAnswerLimitMs) << "the cache is walked off the window's thread";
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

// The zoom steps stay within what the engine takes at the DPI, so that every step shows; a Ctrl +
// wheel turn back drops what the other way left over.
TEST(PageZoomSteps, StayWithinTheEnginesRangeAndATurnBackIsOneStep) {
    EXPECT_EQ(PageZoom::MaxPercent(96), 300);
    EXPECT_EQ(PageZoom::MaxPercent(336), 280) << "290 % would be 1015 % for the engine";
    PageZoom zoom;
    for (int i = 0; i < 30; ++i) zoom.Apply(PageZoom::Action::In, 336);
    EXPECT_EQ(zoom.PlayerPercent(), 280);
    EXPECT_EQ(zoom.EnginePercent(336), 980);
    EXPECT_TRUE(zoom.Apply(PageZoom::Action::Out, 336)) << "the first step back from the top shows";
    EXPECT_EQ(zoom.EnginePercent(336), 945);
    // Whatever the DPI, every value sent is one the engine takes.
    for (UINT dpi : {96u, 120u, 144u, 192u, 336u, 480u, 1200u}) {
        PageZoom z;
        for (int i = 0; i < 30; ++i) {
            z.Apply(PageZoom::Action::In, dpi);
            EXPECT_LE(z.EnginePercent(dpi), PageZoom::kEngineMaxPercent) << dpi;
        }
        for (int i = 0; i < 40; ++i) {
            z.Apply(PageZoom::Action::Out, dpi);
            EXPECT_GE(z.EnginePercent(dpi), PageZoom::kEngineMinPercent) << dpi;
        }
    }
    PageZoom wheel;
    const auto turn = [&wheel](short delta) {
        MSG msg{};
        msg.message = WM_MOUSEWHEEL;
        msg.wParam = MAKEWPARAM(MK_CONTROL, static_cast<WORD>(delta));
        return wheel.FromMessage(msg, true, false);
    };
    EXPECT_EQ(turn(60), PageZoom::Action::Pending);
    EXPECT_EQ(turn(-120), PageZoom::Action::Out) << "+60 then -120 is one step out";
    EXPECT_EQ(turn(60), PageZoom::Action::Pending);
    EXPECT_EQ(turn(60), PageZoom::Action::In);
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
