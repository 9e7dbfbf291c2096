// Launcher windows and the hand-off to the game window, run through the real application
// object. The page's calls are made the way the browser makes them: outLink through the
// external object the control site hands out, NavigateComplete2 through the event sink.
#include "TestControl.h"
#include "TestSupport.h"
#include "TranslucentTestSupport.h"
#include "app/CTranslucentApp.h"
#include "app/ConfigStore.h"
#include "framework/ModulePath.h"
#include "framework/COleControlSite.h"
#include "framework/ComPtr.h"
#include "framework/Trace.h"
#include "framework/UiScale.h"
#include "framework/Variant.h"
#include "game/CVxGameDlg.h"
#include "launcher/CVxStandardDlg.h"
#include "launcher/CVxTranslucentDlg.h"
#include "launcher/HandOff.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t kStartPage[] = L"http://launcher.example/servers?list=1";
constexpr wchar_t kGameUrl[] = L"http://game.example/play?server=7";

CVxStandardDlg* CompanionOf(HWND background) {
    for (HWND h : test::ThreadTopWindows()) {
        if (background && ::GetWindow(h, GW_OWNER) == background) {
            if (auto* p = dynamic_cast<CVxStandardDlg*>(CWnd::FromHandlePermanent(h))) return p;
        }
    }
    return nullptr;
}

CVxStandardDlg* CurrentCompanion() {
    CWnd* pMain = AfxGetMainWnd();
    return pMain ? CompanionOf(pMain->m_hWnd) : nullptr;
}

// window.external as the page sees it.
fw::ComPtr<IDispatch> ExternalOf(CVxStandardDlg* dlg) {
    fw::ComPtr<IDispatch> external;
    if (!dlg || !dlg->m_browser.m_pCtrlSite) return external;
    auto handler = fw::QueryAs<IDocHostUIHandler>(
        static_cast<IOleClientSite*>(dlg->m_browser.m_pCtrlSite), IID_IDocHostUIHandler);
    if (handler) handler->GetExternal(external.put());
    return external;
}

fw::Variant Str(const std::wstring& s) {
    fw::Variant v;
    v.get()->vt = VT_BSTR;
    v.get()->bstrVal = ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return v;
}

fw::Variant Int(LONG n) {
    fw::Variant v;
    v.get()->vt = VT_I4;
    v.get()->lVal = n;
    return v;
}

// external.<name>(a, b) as script calls it: names resolved, then Invoke with the arguments reversed.
HRESULT CallOutLink(IDispatch* external, const wchar_t* name, const VARIANT& a, const VARIANT& b,
                    DISPID* pId = nullptr) {
    if (!external) return E_POINTER;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (pId) *pId = id;
    if (FAILED(hr)) return hr;
    VARIANT args[2] = {b, a};
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXCEPINFO excep{};
    hr = external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &excep, nullptr);
    ::VariantClear(&result);
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrHelpFile);
    return hr;
}

// An event of the browser with the arguments (pDisp, &url), NavigateComplete2 (252) or
// DocumentComplete (259), fired into the launcher's event sink.
HRESULT FireFrameEvent(CVxStandardDlg* dlg, DISPID event, IDispatch* frame, const std::wstring& url) {
    if (!dlg || !dlg->m_browser.m_pCtrlSite) return E_POINTER;
    IDispatch* sink = dlg->m_browser.m_pCtrlSite->GetEventSink();
    if (!sink) return E_POINTER;
    fw::Variant target = Str(url);
    VARIANT args[2];
    args[0].vt = VT_BYREF | VT_VARIANT; // URL: a VARIANT by reference
    args[0].pvarVal = target.get();
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = frame;
    DISPPARAMS params{args, nullptr, 2, 0};
    return sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

HRESULT FireNavigateComplete2(CVxStandardDlg* dlg, IDispatch* frame, const std::wstring& url) {
    return FireFrameEvent(dlg, 252, frame, url);
}

// config.ini beside the test executable, and a run of the application object.
class Launcher : public testing::Test {
protected:
    void SetUp() override {
        m_config = ModuleFolder(fw::ModuleFileName(nullptr)) + L"config.ini";
        WriteConfig("[mw]\r\nclient_web=http://launcher.example/servers?list=1\r\n");
    }
    void TearDown() override { ::DeleteFileW(m_config.c_str()); }

    void WriteConfig(const std::string& text) {
        HANDLE h = ::CreateFileW(m_config.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
        ::CloseHandle(h);
    }

    // Runs the application; script runs inside the first launcher's loop.
    int Run(std::function<void()> script) {
        CTranslucentApp app;
        test::Deadline deadline("the test's script to end the run by closing the last launcher");
        test::RunSoon(std::move(script), 20);
        return AfxWinMain(::GetModuleHandleW(nullptr));
    }

    // Ends whatever launcher is current through its companion's cancel command.
    static void CloseCurrentLauncher() {
        if (CVxStandardDlg* c = CurrentCompanion()) ::PostMessageW(c->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    }

    std::wstring m_config;
};

// The launcher's 96-DPI size.
constexpr SIZE kSkinSize{1257, 877};

TEST(LauncherScale, SystemScaleFitsTheWorkAreaInQuarterSteps) {
    const UiScale two = CTranslucentDialog::kLargestScale;
    EXPECT_EQ(two.Quarters(), 8);
    // 1920 x 1080 at 150 %: neither 1.5 nor 1.25 fits (1316 and 1097 rows), so 1.
    EXPECT_EQ(FitScale(144, kSkinSize, RECT{0, 0, 1920, 1040}, two).Quarters(), 4);
    // 2560 x 1440 at 150 %.
    EXPECT_EQ(FitScale(144, kSkinSize, RECT{0, 0, 2560, 1400}, two).Quarters(), 6);
    // The same with a frame of 16 x 39 pixels around the window: 1316 + 39 rows do not fit.
    EXPECT_EQ(FitScale(144, kSkinSize, RECT{0, 0, 2560, 1340}, two).Quarters(), 6);
    EXPECT_EQ(FitScale(144, kSkinSize, RECT{0, 0, 2560, 1340}, two, SIZE{16, 39}).Quarters(), 5);
    // 2880 x 1800 at 200 % with a taskbar (80 rows): 1754 rows do not fit, 1535 do.
    EXPECT_EQ(FitScale(192, kSkinSize, RECT{0, 0, 2880, 1720}, two).Quarters(), 7);
    // 3840 x 2160 at 200 %, the work area anywhere on the desktop.
    EXPECT_EQ(FitScale(192, kSkinSize, RECT{-3840, 0, 0, 2080}, two).Quarters(), 8);
    // 3840 x 2160 at 250 % and 300 %: never above the art's own 2.
    EXPECT_EQ(FitScale(240, kSkinSize, RECT{0, 0, 3840, 2080}, two).Quarters(), 8);
    EXPECT_EQ(FitScale(288, kSkinSize, RECT{0, 0, 3840, 2080}, two).Quarters(), 8);
    // Rounded down to a quarter, never below 1, whatever the screen.
    EXPECT_EQ(FitScale(191, kSkinSize, RECT{0, 0, 3840, 2160}, two).Quarters(), 7);
    EXPECT_EQ(FitScale(120, kSkinSize, RECT{0, 0, 3840, 2160}, two).Quarters(), 5);
    EXPECT_EQ(FitScale(96, kSkinSize, RECT{0, 0, 3840, 2160}, two).Quarters(), 4);
    EXPECT_EQ(FitScale(72, kSkinSize, RECT{0, 0, 3840, 2160}, two).Quarters(), 4);
    EXPECT_EQ(FitScale(288, kSkinSize, RECT{0, 0, 800, 600}, two).Quarters(), 4);
    EXPECT_EQ(ScaleForDpi(288).Quarters(), 12);
    EXPECT_EQ(ScaleForDpi(143).Quarters(), 5);
}

TEST(LauncherScale, RectanglesKeepTheirEdgesAndNeverShrink) {
    const RECT browser{363, 308, 363 + 658, 308 + 426};
    const UiScale one = UiScale::FromQuarters(4), half = UiScale::FromQuarters(6), two = UiScale::FromQuarters(8);
    const RECT at1 = one.Rect(browser);
    EXPECT_TRUE(::EqualRect(&browser, &at1));
    const RECT at2 = two.Rect(browser);
    EXPECT_EQ(at2.left, 726);
    EXPECT_EQ(at2.top, 616);
    EXPECT_EQ(at2.right, 2042);
    EXPECT_EQ(at2.bottom, 1468);
    // 544.5 to the nearest pixel; 987 x 639 is 658 x 426 at 1.5 exactly.
    const RECT at15 = half.Rect(browser);
    EXPECT_EQ(at15.left, 545);
    EXPECT_EQ(at15.top, 462);
    EXPECT_EQ(at15.right - at15.left, 987);
    EXPECT_EQ(at15.bottom - at15.top, 639);
    // At 1.25 and 1.75 the far edges round up: never less than the 96-DPI size times s.
    for (int q : {5, 7}) {
        const UiScale s = UiScale::FromQuarters(q);
        const RECT r = s.Rect(browser);
        EXPECT_GE((r.right - r.left) * 4, 658 * q) << q;
        EXPECT_GE((r.bottom - r.top) * 4, 426 * q) << q;
        EXPECT_LE((r.right - r.left) * 4, 658 * q + 4) << q;
    }
    EXPECT_EQ(half.Percent(), 150);
    EXPECT_EQ(UiScale().Quarters(), 4);
}

TEST(LauncherStartPage, FallsBackOnlyOnTheExactSentinel) {
    EXPECT_EQ(DefaultStartPage(), std::wstring(L"http://") + ORVANE_DEFAULT_HOST + L"/Home/GameServer/micro?name=ov22");
    EXPECT_EQ(StartPageFor(L"error"), DefaultStartPage());
    EXPECT_EQ(StartPageFor(L"Error"), L"Error");
    EXPECT_EQ(StartPageFor(L""), L"");
    EXPECT_EQ(StartPageFor(L"http://x/"), L"http://x/");
}

TEST(LauncherHandOffText, ArgumentsBecomeTextSafely) {
    EXPECT_EQ(HandOffArgumentText(*Str(L"abc").get()), L"abc");
    EXPECT_EQ(HandOffArgumentText(*Int(12345).get()), L"12345");
    EXPECT_EQ(HandOffArgumentText(*Str(std::wstring(L"http://a/\0tail", 14)).get()), L"http://a/");
    fw::Variant v;
    EXPECT_EQ(HandOffArgumentText(*v.get()), L"");
    v.get()->vt = VT_NULL;
    EXPECT_EQ(HandOffArgumentText(*v.get()), L"");
    v.get()->vt = VT_ERROR;
    v.get()->scode = DISP_E_PARAMNOTFOUND; // an omitted argument
    EXPECT_EQ(HandOffArgumentText(*v.get()), L"");
    test::MessageBoxAnswerer unused(IDNO);
    fw::Variant obj;
    obj.get()->vt = VT_DISPATCH;
    obj.get()->pdispVal = nullptr;
    EXPECT_EQ(HandOffArgumentText(*obj.get()), L"");
    fw::Variant arr;
    arr.get()->vt = VT_ARRAY | VT_BSTR;
    arr.get()->parray = ::SafeArrayCreateVector(VT_BSTR, 0, 2);
    EXPECT_EQ(HandOffArgumentText(*arr.get()), L"");
    fw::Variant b;
    b.get()->vt = VT_BOOL;
    b.get()->boolVal = VARIANT_TRUE;
    EXPECT_FALSE(HandOffArgumentText(*b.get()).empty());
}

TEST(LauncherHandOffText, OnlyAbsoluteHttpAddressesOpenTheGame) {
    for (const wchar_t* ok : {L"http://game.example/", L"HTTPS://game.example:8443/p?q#f", L"http://user@host/",
                              L"http://[::1]:80/", L"http://10.0.0.1"}) {
        EXPECT_TRUE(IsGameAddress(ok)) << ok;
    }
    for (const wchar_t* bad : {L"", L"javascript:alert(1)", L"file:///C:/Windows/notepad.exe", L"res://shdoclc.dll/x",
                               L"about:blank", L"http:/relative", L"http://", L"http:///path", L"//game.example/",
                               L"C:\\game.html", L"http://host/a b", L"http://host/\x0001", L"ftp://host/",
                               L"mailto:a@b", L"http://:80/", L"https:/game.example/", L"https:game.example/",
                               L"HTTPS:/game.example/", L"http://host/\x001F", L"http://host/\x007F",
                               L"http://host\\evil/", L"https://game.example\\c$/", L"http://host/\u202Egnp.exe",
                               L"http://host/\x0085", L"http://host/\u2028", L"http://host/\u2066x\u2069"}) {
        EXPECT_FALSE(IsGameAddress(bad)) << bad;
    }
    // Text that is not a control keeps its place in an address.
    EXPECT_TRUE(IsGameAddress(L"http://game.example/\u533A/\u00E9"));
}

TEST_F(Launcher, StartsSkinnedWithItsPageAndButtonsInPlace) {
    HWND background = nullptr, companion = nullptr;
    RECT bgRect{}, coRect{}, browser{}, closeBtn{}, minBtn{};
    DWORD bgStyle = 0, bgExStyle = 0, coExStyle = 0;
    HWND owner = nullptr;
    std::wstring location;
    SIZE closeImage{}, minImage{};
    Run([&] {
        CWnd* pMain = AfxGetMainWnd();
        ASSERT_TRUE(dynamic_cast<CVxTranslucentDlg*>(pMain));
        background = pMain->m_hWnd;
        CVxStandardDlg* c = CompanionOf(background);
        ASSERT_NE(c, nullptr);
        companion = c->m_hWnd;
        ::GetWindowRect(background, &bgRect);
        ::GetWindowRect(companion, &coRect);
        bgStyle = static_cast<DWORD>(::GetWindowLongW(background, GWL_STYLE));
        bgExStyle = static_cast<DWORD>(::GetWindowLongW(background, GWL_EXSTYLE));
        coExStyle = static_cast<DWORD>(::GetWindowLongW(companion, GWL_EXSTYLE));
        owner = ::GetWindow(companion, GW_OWNER);
        auto childRect = [&](int id) {
            RECT r{};
            HWND h = ::GetDlgItem(companion, id);
            ::GetWindowRect(h, &r);
            ::MapWindowPoints(nullptr, companion, reinterpret_cast<POINT*>(&r), 2);
            return r;
        };
        browser = childRect(IDC_BROWSER);
        closeBtn = childRect(IDC_BTN_CLOSE);
        minBtn = childRect(IDC_BTN_MINIMIZE);
        EXPECT_EQ(::GetDlgItem(companion, IDC_BROWSER), c->m_browser.m_hWnd);
        location = c->m_browser.GetLocationURL();
        closeImage = {c->m_btnClose.GetNormalImage().Width(), c->m_btnClose.GetNormalImage().Height()};
        minImage = {c->m_btnMinimize.GetNormalImage().Width(), c->m_btnMinimize.GetNormalImage().Height()};
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(companion, IDC_BTN_SITE)));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(companion, IDC_BTN_HIDDEN)));
        EXPECT_TRUE(c->m_btnClose.m_bTransparent);
        EXPECT_TRUE(c->m_btnMinimize.m_bTransparent);
        CloseCurrentLauncher();
    });
    EXPECT_EQ(bgRect.right - bgRect.left, 1257);
    EXPECT_EQ(bgRect.bottom - bgRect.top, 877);
    EXPECT_TRUE(bgStyle & WS_POPUP);
    EXPECT_FALSE(bgStyle & WS_CAPTION);
    EXPECT_TRUE(bgExStyle & WS_EX_LAYERED);
    EXPECT_TRUE(coExStyle & WS_EX_LAYERED);
    EXPECT_EQ(owner, background);
    EXPECT_TRUE(::EqualRect(&bgRect, &coRect)) << "the companion lies exactly over the background";
    EXPECT_EQ(browser.left, 363);
    EXPECT_EQ(browser.top, 308);
    EXPECT_EQ(browser.right - browser.left, 658);
    EXPECT_EQ(browser.bottom - browser.top, 426);
    EXPECT_EQ(closeBtn.left, 1018);
    EXPECT_EQ(closeBtn.top, 249);
    EXPECT_EQ(closeBtn.right - closeBtn.left, 58);
    EXPECT_EQ(closeBtn.bottom - closeBtn.top, 88);
    EXPECT_EQ(minBtn.left, 962);
    EXPECT_EQ(minBtn.top, 237);
    EXPECT_EQ(minBtn.right - minBtn.left, 62);
    EXPECT_EQ(minBtn.bottom - minBtn.top, 59);
    EXPECT_EQ(location, kStartPage);
    EXPECT_EQ(closeImage.cx, 52);
    EXPECT_EQ(closeImage.cy, 80);
    EXPECT_EQ(minImage.cx, 57);
    EXPECT_EQ(minImage.cy, 61);
    EXPECT_FALSE(::IsWindow(background));
    EXPECT_FALSE(::IsWindow(companion));
}

TEST_F(Launcher, MissingConfigOpensTheDefaultPage) {
    ::DeleteFileW(m_config.c_str());
    std::wstring location;
    Run([&] {
        location = CurrentCompanion()->m_browser.GetLocationURL();
        CloseCurrentLauncher();
    });
    EXPECT_EQ(location, DefaultStartPage());
}

// The browsers' calls as "<number in creation order> <call>".
std::vector<std::string> BrowserCalls() {
    std::vector<std::string> calls;
    for (const auto& e : test::RecordingBrowserClass::Log()) calls.push_back(std::to_string(e.browser) + " " + e.call);
    return calls;
}

TEST_F(Launcher, OutLinkOpensTheGameOnItsSecondArgumentAndTheCycleEndsCleanly) {
    // COM before the application starts, so that the browsers can be recorded.
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    struct OleEnd {
        ~OleEnd() { ::OleUninitialize(); }
    } oleEnd;
    test::RecordingBrowserClass browsers;
    ASSERT_TRUE(browsers.ok());
    std::vector<std::string> callsAtSecondLauncher;
    test::MessageBoxAnswerer yes(IDYES);
    DISPID id = 0;
    HRESULT hr = E_FAIL;
    HWND background = nullptr, companion = nullptr;
    std::wstring gameUrl, extra;
    bool launcherGone = false, gameIsMain = false, skinReleased = false, closePosted = false;
    int launchers = 0;
    test::Deadline deadline("outLink to open the game window and Yes on its close to bring back a launcher");
    const int code = Run([&] {
        ++launchers;
        CVxStandardDlg* c = CurrentCompanion();
        ASSERT_NE(c, nullptr);
        background = AfxGetMainWnd()->m_hWnd;
        companion = c->m_hWnd;
        fw::ComPtr<IDispatch> external = ExternalOf(c);
        ASSERT_TRUE(external);
        auto* oldLauncher = dynamic_cast<CVxTranslucentDlg*>(AfxGetMainWnd());
        ASSERT_TRUE(oldLauncher && oldLauncher->HasSkin());
        test::RunSoon([&, oldLauncher] {
            // Inside the game window's loop. The retired launcher holds no reference to the skin.
            skinReleased = !oldLauncher->HasSkin();
            auto* game = dynamic_cast<CVxGameDlg*>(AfxGetMainWnd());
            gameIsMain = game != nullptr;
            if (game) {
                gameUrl = game->m_strGameUrl;
                extra = game->m_strExtraParam;
            }
            launcherGone = test::PumpUntil([&] { return !::IsWindow(background) && !::IsWindow(companion); }, 3000);
            deadline.Restart("Yes on the game window's close to bring back a launcher, then that launcher's close");
            test::RunSoon([&] {
                // The new launcher after the confirmed close of the game.
                ++launchers;
                callsAtSecondLauncher = BrowserCalls();
                EXPECT_TRUE(dynamic_cast<CVxTranslucentDlg*>(AfxGetMainWnd()));
                CloseCurrentLauncher();
            }, 50);
            // Alt+F4 with the focus in the page: the browser's window passes the key to default
            // processing, which posts SC_CLOSE to the game window; the close then runs from the game
            // window's own loop, and the confirmation shows only once that loop fetches it.
            if (game && game->m_wndBrowser.m_hWnd) {
                ::SendMessageW(game->m_wndBrowser.m_hWnd, WM_SYSKEYDOWN, VK_F4, 0x20000001);
                MSG pending{};
                closePosted = yes.boxes.empty() && ::PeekMessageW(&pending, game->m_hWnd, WM_SYSCOMMAND,
                                                                  WM_SYSCOMMAND, PM_NOREMOVE) &&
                              (pending.wParam & 0xFFF0) == SC_CLOSE;
            }
        }, 20);
        hr = CallOutLink(external.get(), L"OUTLINK", *Str(L"s1").get(), *Str(kGameUrl).get(), &id);
    });
    EXPECT_EQ(id, 1) << "the first entry of the table";
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(gameIsMain);
    EXPECT_EQ(gameUrl, kGameUrl);
    EXPECT_EQ(extra, L"s1");
    EXPECT_TRUE(launcherGone);
    EXPECT_TRUE(skinReleased);
    EXPECT_TRUE(closePosted) << "Alt+F4 in the page: SC_CLOSE posted to the game window, no box yet";
    EXPECT_EQ(launchers, 2);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(yes.boxes.size(), 1u);
    EXPECT_EQ(yes.boxes[0].text, L"即将退出Orvane，是否继续？");
    // Browsers: 1 the launcher's, 2 the game's, 3 the second launcher's. The launcher's page was
    // stopped before the game's browser existed, and otherwise left as it was (its script call
    // is still on the stack); the game's page was closed and cut from its site before the second
    // launcher's browser existed.
    EXPECT_EQ(callsAtSecondLauncher,
              (std::vector<std::string>{"1 new", "1 Stop", "2 new", "2 Close", "2 SetClientSite(null)", "3 new"}));
    // At the end every browser has been closed exactly once and let go.
    const std::vector<std::string> calls = BrowserCalls();
    for (const char* closed : {"1 Close", "2 Close", "3 Close"}) {
        EXPECT_EQ(std::count(calls.begin(), calls.end(), closed), 1) << closed;
    }
    EXPECT_EQ(test::RecordingBrowserClass::Live(), 0);
}

// Runs a hand-off attempt in the first launcher; reports whether a game window came up.
struct Attempt {
    bool gameOpened = false;
    std::wstring gameUrl, extra;
    bool launcherStayed = false;
};

TEST_F(Launcher, NavigationWithTheKeyOpensTheGameOnTheTopLevelAddress) {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    struct OleEnd {
        ~OleEnd() { ::OleUninitialize(); }
    } oleEnd;
    test::RecordingBrowserClass browsers;
    ASSERT_TRUE(browsers.ok());
    std::vector<std::string> callsInGame;
    Attempt a;
    test::MessageBoxAnswerer no(IDNO);
    fw::ComPtr<IDispatch> frame(static_cast<IDispatch*>(nullptr));
    HRESULT upper = E_FAIL, plain = E_FAIL, hit = E_FAIL;
    test::Deadline deadline("the keyed navigation to hand off to the game window");
    Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        ASSERT_NE(c, nullptr);
        // No key: nothing happens. The key in upper case is another text.
        plain = FireNavigateComplete2(c, nullptr, L"http://launcher.example/servers?page=2");
        upper = FireNavigateComplete2(c, nullptr, L"http://frame.example/x?FULLSCN=1");
        a.launcherStayed = AfxGetMainWnd() && dynamic_cast<CVxTranslucentDlg*>(AfxGetMainWnd()) && !c->HasHandedOff();
        test::RunSoon([&] {
            if (auto* game = dynamic_cast<CVxGameDlg*>(AfxGetMainWnd())) {
                callsInGame = BrowserCalls();
                a.gameOpened = true;
                a.gameUrl = game->m_strGameUrl;
                a.extra = game->m_strExtraParam;
                deadline.Restart("Yes on the game window's close to bring back a launcher, then that launcher's close");
                // Leave the run: close the game (Yes), then the launcher that follows.
                no.SetAnswer(IDYES);
                test::RunSoon([] { CloseCurrentLauncher(); }, 50);
                ::PostMessageW(game->m_hWnd, WM_CLOSE, 0, 0);
            }
        }, 20);
        // A frame of the page completes a navigation whose address holds the key.
        hit = FireNavigateComplete2(c, nullptr, L"http://frame.example/enter#fullscn=1");
    });
    EXPECT_EQ(plain, S_OK);
    EXPECT_EQ(upper, S_OK);
    EXPECT_EQ(hit, S_OK);
    EXPECT_TRUE(a.launcherStayed);
    EXPECT_TRUE(a.gameOpened);
    EXPECT_EQ(a.gameUrl, kStartPage) << "the browser's top-level address, not the frame's";
    EXPECT_EQ(a.extra, L"http://frame.example/enter#fullscn=1");
    // The launcher's page was stopped before the game's browser was made.
    EXPECT_EQ(callsInGame, (std::vector<std::string>{"1 new", "1 Stop", "2 new"}));
}

TEST_F(Launcher, EmptyKeyHandsOffOnTheFirstCompletedNavigation) {
    WriteConfig("[mw]\r\nclient_web=http://launcher.example/servers?list=1\r\nfullscn_key=\r\n");
    test::MessageBoxAnswerer yes(IDYES);
    bool opened = false;
    test::Deadline deadline("the first completed navigation to hand off to the game window");
    Run([&] {
        test::RunSoon([&] {
            if (auto* game = dynamic_cast<CVxGameDlg*>(AfxGetMainWnd())) {
                opened = game->m_strGameUrl == kStartPage;
                deadline.Restart("Yes on the game window's close to bring back a launcher, then that launcher's close");
                test::RunSoon([] { CloseCurrentLauncher(); }, 50);
                ::PostMessageW(game->m_hWnd, WM_CLOSE, 0, 0);
            }
        }, 20);
        FireNavigateComplete2(CurrentCompanion(), nullptr, L"about:blank");
    });
    EXPECT_TRUE(opened);
}

TEST_F(Launcher, RefusedArgumentsLeaveTheLauncherAsItWas) {
    std::vector<std::wstring> failures;
    Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        ASSERT_NE(c, nullptr);
        HWND background = AfxGetMainWnd()->m_hWnd;
        fw::ComPtr<IDispatch> external = ExternalOf(c);
        ASSERT_TRUE(external);
        fw::Variant null, dispatch, array, missing;
        null.get()->vt = VT_NULL;
        dispatch.get()->vt = VT_DISPATCH;
        dispatch.get()->pdispVal = external.get();
        external->AddRef();
        array.get()->vt = VT_ARRAY | VT_BSTR;
        array.get()->parray = ::SafeArrayCreateVector(VT_BSTR, 0, 1);
        missing.get()->vt = VT_ERROR;
        missing.get()->scode = DISP_E_PARAMNOTFOUND;
        std::vector<std::pair<std::wstring, const VARIANT*>> cases;
        fw::Variant js = Str(L"javascript:alert(document.cookie)"), file = Str(L"file:///C:/Windows/win.ini"),
                    res = Str(L"res://Orvane.exe/23/106"), about = Str(L"about:blank"), empty = Str(L""),
                    relative = Str(L"/Home/Game");
        for (auto* v : {&null, &dispatch, &array, &missing, &js, &file, &res, &about, &empty, &relative}) {
            const HRESULT hr = CallOutLink(external.get(), L"outLink", *Str(L"s1").get(), *v->get());
            const bool stayed = AfxGetMainWnd() && AfxGetMainWnd()->m_hWnd == background && ::IsWindow(c->m_hWnd) &&
                                c->m_browser.m_hWnd && !c->HasHandedOff();
            if (hr != S_OK || !stayed) failures.push_back(L"case " + std::to_wstring(v->get()->vt));
        }
        CloseCurrentLauncher();
    });
    EXPECT_TRUE(failures.empty()) << (failures.empty() ? "" : std::string(failures[0].begin(), failures[0].end()));
}

TEST_F(Launcher, KeyedNavigationOfALocalPageOpensNothing) {
    WriteConfig("[mw]\r\nclient_web=file:///C:/windows/win.ini\r\n");
    std::wstring location;
    bool stayed = false;
    Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        location = c->m_browser.GetLocationURL();
        FireNavigateComplete2(c, nullptr, L"file:///C:/windows/win.ini?fullscn=1");
        stayed = !c->HasHandedOff() && dynamic_cast<CVxTranslucentDlg*>(AfxGetMainWnd()) && ::IsWindow(c->m_hWnd);
        CloseCurrentLauncher();
    });
    EXPECT_EQ(location.compare(0, 5, L"file:"), 0) << std::string(location.begin(), location.end());
    EXPECT_TRUE(stayed);
}

// Trace lines of this thread, while a test listens.
std::vector<std::wstring> g_traced;
void KeepTraceLine(std::wstring_view line) {
    g_traced.emplace_back(line);
}

// The launcher retires before anything at the hand-off can call back into it: its browser
// completes a navigation with the key from inside the Stop that ends its page, and its page
// calls outLink again from the game window; each is refused, and one game window opens.
TEST_F(Launcher, ALauncherHandsOffAtMostOnce) {
    // COM before the application starts, so that the browsers can be recorded.
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    struct OleEnd {
        ~OleEnd() { ::OleUninitialize(); }
    } oleEnd;
    test::RecordingBrowserClass browsers;
    ASSERT_TRUE(browsers.ok());
    test::MessageBoxAnswerer yes(IDYES);
    int games = 0;
    HRESULT second = E_FAIL, event = E_FAIL, duringStop = E_FAIL;
    bool sameGame = false;
    const fw::TraceSink oldSink = fw::SetTraceSink(&KeepTraceLine);
    g_traced.clear();
    test::Deadline deadline("outLink to hand off to the game window");
    Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        fw::ComPtr<IDispatch> external = ExternalOf(c);
        ASSERT_TRUE(external);
        test::RecordingBrowserClass::OnStop() = [&, c](int) {
            test::RecordingBrowserClass::OnStop() = nullptr;
            duringStop = FireNavigateComplete2(c, nullptr, L"http://frame.example/enter?fullscn=1");
        };
        test::RunSoon([&] {
            auto* game = dynamic_cast<CVxGameDlg*>(AfxGetMainWnd());
            ++games;
            // A second game window would run its loop inside the calls below: from there this
            // fails the test at once and ends the run (Yes on that game's close, then the
            // launcher that follows). Otherwise it finds the first game window, or a launcher.
            test::RunSoon([&games, game] {
                auto* now = dynamic_cast<CVxGameDlg*>(AfxGetMainWnd());
                if (!now || now == game) return;
                ++games;
                ADD_FAILURE() << "the retired launcher opened a second game window";
                test::RunSoon([] { CloseCurrentLauncher(); }, 50);
                ::PostMessageW(now->m_hWnd, WM_CLOSE, 0, 0);
            }, 1);
            // The old launcher's page and browser still call in: nothing happens.
            second = CallOutLink(external.get(), L"outLink", *Str(L"again").get(), *Str(L"http://other.example/").get());
            event = FireNavigateComplete2(c, nullptr, L"http://other.example/?fullscn=1");
            sameGame = AfxGetMainWnd() == game;
            deadline.Restart("Yes on the game window's close to bring back a launcher, then that launcher's close");
            test::RunSoon([] { CloseCurrentLauncher(); }, 50);
            if (game) ::PostMessageW(game->m_hWnd, WM_CLOSE, 0, 0);
        }, 20);
        CallOutLink(external.get(), L"outLink", *Str(L"s1").get(), *Str(kGameUrl).get());
    });
    fw::SetTraceSink(oldSink);
    EXPECT_EQ(games, 1);
    EXPECT_EQ(second, S_OK);
    EXPECT_TRUE(sameGame);
    EXPECT_EQ(duringStop, S_OK);
    (void)event;
    // In order: the hand-off, the event from inside Stop refused, the page stopped, one switch to
    // a game window.
    const std::vector<std::wstring> steps = {
        L"Orvane: outLink handed over: address ",
        L"Orvane: launcher navigation refused: already handed over: completed \"http://frame.example/enter?fullscn=1\"",
        L"Orvane: launcher page stopped for the hand-off",
        L"Orvane: switch to the game window at "};
    size_t at = 0;
    for (const std::wstring& step : steps) {
        while (at < g_traced.size() && g_traced[at].rfind(step, 0) != 0) ++at;
        EXPECT_LT(at, g_traced.size()) << "no line " << std::string(step.begin(), step.end());
    }
    EXPECT_EQ(std::count_if(g_traced.begin(), g_traced.end(),
                            [](const std::wstring& line) { return line.rfind(L"Orvane: switch to the game window", 0) == 0; }),
              1);
}

// One quoted text of a trace line read back: the units it stands for, and the full length
// noted after a cut text (0 for a whole one).
struct ReadBack {
    bool ok = false;
    std::wstring text;
    unsigned long fullLength = 0;
};

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Reads the quoted text at line[at] and moves at past it and its length note. Only \", \\,
// \xNN and \uNNNN are read; anything else makes the quote unreadable (ok false).
ReadBack ReadQuoted(std::wstring_view line, size_t& at) {
    ReadBack r;
    if (at >= line.size() || line[at] != L'"') return r;
    for (size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == L'"') {
            at = i + 1;
            constexpr std::wstring_view note = L"... (", unit = L" characters)";
            if (line.substr(at, note.size()) == note) {
                const size_t end = line.find(unit, at);
                if (end == std::wstring_view::npos) return r;
                const std::wstring digits(line.substr(at + note.size(), end - at - note.size()));
                r.fullLength = std::wcstoul(digits.c_str(), nullptr, 10);
                at = end + unit.size();
            }
            r.ok = true;
            return r;
        }
        if (line[i] != L'\\') {
            r.text += line[i];
            continue;
        }
        if (++i == line.size()) return r;
        if (line[i] == L'"' || line[i] == L'\\') {
            r.text += line[i];
            continue;
        }
        const size_t digits = line[i] == L'x' ? 2 : line[i] == L'u' ? 4 : 0;
        if (digits == 0 || i + digits >= line.size()) return r;
        unsigned value = 0;
        for (size_t d = 1; d <= digits; ++d) {
            const int h = HexDigit(line[i + d]);
            if (h < 0) return r;
            value = value * 16 + static_cast<unsigned>(h);
        }
        r.text += static_cast<wchar_t>(value);
        i += digits;
    }
    return r;
}

// Whether the line holds, as it is, a unit that could end it, hide text or reorder it on
// screen: C0 and C1 controls, DEL, the line and paragraph separators, the bidirectional
// controls, or half a surrogate pair.
bool HasRawHazard(std::wstring_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || c == 0x2028 ||
            c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
            (c >= 0xDC00 && c <= 0xDFFF)) {
            return true;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == line.size() || line[i + 1] < 0xDC00 || line[i + 1] > 0xDFFF) return true;
            ++i;
        }
    }
    return false;
}

// The code page the trace checks quoted text against, for one test.
struct TraceCodePage {
    explicit TraceCodePage(UINT codePage) : old(fw::SetTraceCodePage(codePage)) {}
    ~TraceCodePage() { fw::SetTraceCodePage(old); }
    TraceCodePage(const TraceCodePage&) = delete;
    TraceCodePage& operator=(const TraceCodePage&) = delete;
    UINT old;
};

// What an operator reads about each outLink call: the decision first (with the reason for a
// refusal), then the address and the first argument, each quoted so that the line reads back
// into exactly the page's text, whatever that text holds. The first launcher gets every case;
// one hands over, and the retired launcher's page then calls again.
TEST_F(Launcher, OutLinkTracesEachDecisionWithItsReason) {
    test::MessageBoxAnswerer yes(IDYES);
    const std::wstring longText(3000, L'x');
    // 511 units, then a pair across the 512-unit cut.
    const std::wstring pairAtTheCut = std::wstring(511, L'y') + L"\xD83D\xDE00" + std::wstring(100, L'z');
    const std::wstring longAddress = L"http://game.example/play?sig=" + std::wstring(3000, L's') + L" ";
    const std::wstring notAbsolute = L"refused: not an absolute http or https address";
    const std::wstring badCharacter = L"refused: a space, backslash or control character";
    const struct {
        std::wstring a, b, decision;
    } cases[] = {
        {L"s1", L"/Home/Game", notAbsolute},
        {L"s1", L"https:/game.example/", notAbsolute},
        {L"s1", L"http://:80/", L"refused: no host"},
        {L"s1", L"http://game.example/a b", badCharacter},
        {L"s1", L"http://game.example\\c$/", badCharacter},
        {L"s1", L"http://game.example/\x0001", badCharacter},
        {longText, L"about:blank", notAbsolute},
        // Texts that would forge a decision, an escape, a line or the reading order.
        {L"s1\", \"http://x/\"): handed over", L"/x", notAbsolute},
        {L"\\x0A \\u2028 \\", L"http://game.example/\r\nOrvane: outLink handed over", badCharacter},
        {L"\x85\x9B\x7F\u2028\u2029\u202E\u2066\u2069\u200E\u200F\u061C\u202A\t", L"\xD800http://x/", notAbsolute},
        {L"\xDC00 lone, pair \xD83D\xDE00, lone \xD83D", L"javascript:\"\\", notAbsolute},
        // A long signed address: the decision still comes first, each text cut at 512 units.
        {pairAtTheCut, longAddress, badCharacter},
        {L"s1", kGameUrl, L"handed over"},
        {L"again", L"http://other.example/", L"refused: already handed over"},
    };
    std::vector<std::wstring> lines;
    const fw::TraceSink old = fw::SetTraceSink(&KeepTraceLine);
    // The expected escapes below are those of code page 1252 (other code pages: next test).
    const TraceCodePage western(1252);
    g_traced.clear();
    // Text the page cannot pass (a NUL ends an argument) is quoted the same way.
    fw::Trace(L"probe ", fw::Quoted(std::wstring_view(L"a\0b", 3)));
    test::Deadline deadline("outLink to hand off to the game window");
    Run([&] {
        fw::ComPtr<IDispatch> external = ExternalOf(CurrentCompanion());
        ASSERT_TRUE(external);
        const size_t last = std::size(cases) - 1;
        test::RunSoon([&] {
            // In the game window: the retired launcher's page calls once more.
            const auto& c = cases[last];
            CallOutLink(external.get(), L"outLink", *Str(c.a).get(), *Str(c.b).get());
            deadline.Restart("Yes on the game window's close to bring back a launcher, then that launcher's close");
            test::RunSoon([] { CloseCurrentLauncher(); }, 50);
            if (CWnd* game = AfxGetMainWnd()) ::PostMessageW(game->m_hWnd, WM_CLOSE, 0, 0);
        }, 20);
        for (size_t i = 0; i < last; ++i) {
            CallOutLink(external.get(), L"outLink", *Str(cases[i].a).get(), *Str(cases[i].b).get());
        }
    });
    fw::SetTraceSink(old);
    ASSERT_FALSE(g_traced.empty());
    EXPECT_EQ(g_traced[0], LR"(Orvane: probe "a\x00b")");
    for (const std::wstring& line : g_traced) {
        EXPECT_FALSE(HasRawHazard(line)) << "line " << (&line - g_traced.data());
        if (line.rfind(L"Orvane: outLink ", 0) == 0) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), std::size(cases));
    // Each line: the decision, then exactly two quoted texts that read back into the arguments
    // (the first 512 units of a longer one, never half a pair, with its full length).
    std::vector<ReadBack> addresses, firsts;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto& c = cases[i];
        const std::wstring_view line = lines[i];
        const std::wstring head = L"Orvane: outLink " + c.decision + L": address ";
        constexpr std::wstring_view between = L", first argument ";
        size_t at = head.size();
        addresses.push_back(line.substr(0, at) == head ? ReadQuoted(line, at) : ReadBack{});
        firsts.push_back(addresses.back().ok && line.substr(at, between.size()) == between
                             ? ReadQuoted(line, at += between.size())
                             : ReadBack{});
        EXPECT_TRUE(addresses.back().ok && firsts.back().ok) << "case " << i;
        EXPECT_EQ(at, line.size()) << "case " << i << ": nothing after the first argument";
        for (const auto& [text, read] : {std::pair{c.b, addresses.back()}, std::pair{c.a, firsts.back()}}) {
            if (text.size() <= fw::kTraceQuoteMax) {
                EXPECT_TRUE(read.text == text && read.fullLength == 0) << "case " << i;
            } else {
                EXPECT_EQ(read.fullLength, text.size()) << "case " << i;
                EXPECT_EQ(text.compare(0, read.text.size(), read.text), 0) << "case " << i;
            }
        }
    }
    // The cut, written out: 512 units, 511 where the 512th would be half a pair.
    EXPECT_EQ(fw::kTraceQuoteMax, 512u);
    EXPECT_EQ(firsts[6].text.size(), 512u);
    EXPECT_EQ(firsts[11].text, std::wstring(511, L'y'));
    EXPECT_EQ(firsts[11].fullLength, 613u);
    EXPECT_EQ(addresses[11].text.size(), 512u);
    EXPECT_EQ(addresses[11].fullLength, 3030u);
    // The escapes, written out.
    const std::wstring notAbsoluteHead = L"Orvane: outLink " + notAbsolute + L": address ";
    EXPECT_EQ(lines[7], notAbsoluteHead + LR"("/x", first argument "s1\", \"http://x/\"): handed over")");
    EXPECT_EQ(lines[8], L"Orvane: outLink " + badCharacter +
                            LR"(: address "http://game.example/\x0D\x0AOrvane: outLink handed over", )"
                            LR"(first argument "\\x0A \\u2028 \\")");
    EXPECT_EQ(lines[9], notAbsoluteHead + LR"("\uD800http://x/", first argument )"
                                          LR"("\x85\x9B\x7F\u2028\u2029\u202E\u2066\u2069\u200E\u200F\u061C\u202A\x09")");
    EXPECT_EQ(lines[10], notAbsoluteHead + LR"("javascript:\"\\", first argument )"
                                           LR"("\uDC00 lone, pair \uD83D\uDE00, lone \uD83D")");
    // The rest of the run's decisions are there too, in order; Wine's browser fails every
    // navigation here (no network, no HTML engine), which both pages' error handlers report.
    const std::wstring game = std::wstring(L"\"") + kGameUrl + L"\"";
    const std::wstring startPage = std::wstring(L"\"") + kStartPage + L"\"";
    size_t at = 0;
    const std::vector<std::wstring> steps = {
        L"Orvane: config.ini: client_web = " + startPage + L" from \"",
        L"Orvane: launcher navigates to its start page " + startPage,
        L"Orvane: launcher page: navigation error ",
        L"Orvane: outLink handed over: address " + game,
        L"Orvane: launcher page stopped for the hand-off",
        L"Orvane: switch to the game window at " + game,
        L"Orvane: game page: navigation error ",
        L"Orvane: switch from the game window back to a launcher"};
    for (const std::wstring& step : steps) {
        while (at < g_traced.size() && g_traced[at].rfind(step, 0) != 0) ++at;
        EXPECT_LT(at, g_traced.size()) << "no line " << std::string(step.begin(), step.end());
    }
}

// A debug-output viewer that reads ANSI gets each line converted to the system's code page,
// with best fit (U+FF02 and U+FF3C become '"' and '\' on 1252): every character that would not
// come back unchanged is escaped, and so is one whose double-byte form holds a 0x5C (乗 on 936),
// so both forms of the line say the same; what the code page takes stays readable (Chinese on
// 936, accented letters on 1252, everything in UTF-8).
TEST(Trace, QuotedTextReadsTheSameInTheAnsiCodePage) {
    const std::wstring text = L"a\"\\ \uFF02\uFF3C \u4E2D\u6587 \u00E9\u00A5\u0160 \u4E57 \xD83D\xDE00 \u2215";
    const struct {
        UINT codePage;
        std::wstring quoted;
    } cases[] = {
        {1252, LR"("a\"\\ \uFF02\uFF3C \u4E2D\u6587 )" L"\u00E9\u00A5\u0160" LR"( \u4E57 \uD83D\uDE00 \u2215")"},
        {936, L"\"a\\\"\\\\ \uFF02\uFF3C \u4E2D\u6587 \u00E9" LR"(\xA5\u0160 \u4E57 \uD83D\uDE00 )" L"\u2215\""},
        {CP_UTF8, L"\"a\\\"\\\\ " + text.substr(4) + L"\""},
    };
    for (const auto& c : cases) {
        const TraceCodePage codePage(c.codePage);
        std::wstring line = L"Orvane: probe ";
        fw::AppendTraceQuoted(line, text);
        EXPECT_EQ(line.substr(14), c.quoted) << "code page " << c.codePage;
        size_t at = 14;
        const ReadBack read = ReadQuoted(line, at);
        EXPECT_TRUE(read.ok && read.text == text && at == line.size()) << "code page " << c.codePage;
        // The line as OutputDebugStringW converts it (best fit on), and back.
        const int size = ::WideCharToMultiByte(c.codePage, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string ansi(static_cast<size_t>(std::max(size, 1)), '\0');
        ::WideCharToMultiByte(c.codePage, 0, line.c_str(), -1, ansi.data(), size, nullptr, nullptr);
        std::wstring back(ansi.size(), L'\0');
        back.resize(static_cast<size_t>(std::max(
            ::MultiByteToWideChar(c.codePage, 0, ansi.c_str(), -1, back.data(), static_cast<int>(back.size())) - 1, 0)));
        EXPECT_EQ(back, line) << "code page " << c.codePage;
        // Byte by byte too: no '"' or '\' but the UTF-16 line's (the quotes around the text, the
        // escapes).
        EXPECT_EQ(std::count(ansi.begin(), ansi.end(), '"'), 3) << "code page " << c.codePage;
        EXPECT_EQ(std::count(ansi.begin(), ansi.end(), '\\'), std::count(line.begin(), line.end(), L'\\'))
            << "code page " << c.codePage;
    }
    // Without a code page of its own the trace takes the system's.
    const TraceCodePage system(0);
    std::wstring quoted, asSystem;
    fw::AppendTraceQuoted(quoted, text);
    {
        const TraceCodePage acp(::GetACP());
        fw::AppendTraceQuoted(asSystem, text);
    }
    EXPECT_EQ(quoted, asSystem);
}

TEST_F(Launcher, OkCommandChangesNothing) {
    bool bothOpen = false;
    Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        HWND background = AfxGetMainWnd()->m_hWnd;
        ::SendMessageW(c->m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        test::PumpFor(50);
        bothOpen = ::IsWindowVisible(c->m_hWnd) && ::IsWindowVisible(background) && AfxGetMainWnd() &&
                   AfxGetMainWnd()->m_hWnd == background;
        CloseCurrentLauncher();
    });
    EXPECT_TRUE(bothOpen);
}

std::vector<HWND>* g_minimised = nullptr;
LRESULT CALLBACK RecordMinimise(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_MINMAX && LOWORD(lParam) == SW_MINIMIZE && g_minimised) {
        g_minimised->push_back(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Launcher, MinimiseButtonMinimisesTheCompanionThenTheBackground) {
    std::vector<HWND> order;
    HWND background = nullptr, companion = nullptr;
    bool bothIconic = false;
    Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        background = AfxGetMainWnd()->m_hWnd;
        companion = c->m_hWnd;
        g_minimised = &order;
        HHOOK hook = ::SetWindowsHookExW(WH_CBT, &RecordMinimise, nullptr, ::GetCurrentThreadId());
        ::SendMessageW(c->m_btnMinimize.m_hWnd, BM_CLICK, 0, 0);
        ::UnhookWindowsHookEx(hook);
        g_minimised = nullptr;
        bothIconic = ::IsIconic(companion) && ::IsIconic(background);
        CloseCurrentLauncher();
    });
    EXPECT_EQ(order, (std::vector<HWND>{companion, background}));
    EXPECT_TRUE(bothIconic);
}

TEST_F(Launcher, RestoringTheBackgroundBringsTheCompanionBackOverIt) {
    bool companionIconic = true, companionVisible = false, sameRect = false;
    Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        HWND background = AfxGetMainWnd()->m_hWnd;
        ::SendMessageW(c->m_btnMinimize.m_hWnd, BM_CLICK, 0, 0);
        // The taskbar button restores the background, the one window the taskbar shows.
        ::SendMessageW(background, WM_SYSCOMMAND, SC_RESTORE, 0);
        test::PumpFor(50);
        companionIconic = ::IsIconic(c->m_hWnd) != FALSE;
        companionVisible = ::IsWindowVisible(c->m_hWnd) != FALSE;
        RECT a{}, b{};
        ::GetWindowRect(background, &a);
        ::GetWindowRect(c->m_hWnd, &b);
        sameRect = ::EqualRect(&a, &b) != FALSE;
        CloseCurrentLauncher();
    });
    EXPECT_FALSE(companionIconic);
    EXPECT_TRUE(companionVisible);
    EXPECT_TRUE(sameRect);
}

TEST_F(Launcher, CloseButtonAsksAndOnlyYesEndsTheProcess) {
    test::MessageBoxAnswerer answers(IDNO);
    bool stayedAfterNo = false;
    HWND companion = nullptr;
    int rounds = 0;
    test::Deadline deadline("Yes on the close button's confirmation to end the run");
    const int code = Run([&] {
        CVxStandardDlg* c = CurrentCompanion();
        companion = c->m_hWnd;
        HWND background = AfxGetMainWnd()->m_hWnd;
        // The button clicked again, once, while each round's box shows: no second box over the
        // first. (Once: a second box then fails the count below at once, instead of each box
        // asking for the next until the deadline.)
        bool clickedAgain = false;
        answers.onShow = [&clickedAgain, companion,
                          button = c->m_btnClose.m_hWnd](const test::MessageBoxAnswerer::Box&) {
            if (std::exchange(clickedAgain, true)) return;
            ::PostMessageW(companion, WM_COMMAND, MAKEWPARAM(IDC_BTN_CLOSE, BN_CLICKED),
                           reinterpret_cast<LPARAM>(button));
        };
        ::SendMessageW(c->m_btnClose.m_hWnd, BM_CLICK, 0, 0);
        ++rounds;
        stayedAfterNo = ::IsWindowVisible(background) && ::IsWindowVisible(companion) &&
                        AfxGetMainWnd() && AfxGetMainWnd()->m_hWnd == background;
        answers.SetAnswer(IDYES);
        clickedAgain = false;
        ::SendMessageW(c->m_btnClose.m_hWnd, BM_CLICK, 0, 0);
        ++rounds;
    });
    EXPECT_EQ(rounds, 2);
    EXPECT_TRUE(stayedAfterNo);
    ASSERT_EQ(answers.boxes.size(), 2u);
    for (const auto& box : answers.boxes) {
        EXPECT_EQ(box.text, L"即将退出Orvane，是否继续？");
        EXPECT_EQ(box.caption, L"退出游戏");
        EXPECT_EQ(box.owner, companion);
        EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_FALSE(box.icon);
    }
    EXPECT_EQ(code, 0);
    // The recorder does see icons and other buttons when a box has them.
    answers.onShow = nullptr;
    ::MessageBoxW(nullptr, L"probe", L"probe", MB_OKCANCEL | MB_ICONQUESTION);
    ASSERT_EQ(answers.boxes.size(), 3u);
    EXPECT_TRUE(answers.boxes[2].icon);
    EXPECT_EQ(answers.boxes[2].buttons, (std::vector<int>{IDOK, IDCANCEL}));
}

} // namespace

namespace {

// What the launcher is at one system DPI on one screen: its scale, and its window, controls and
// button images at that scale, written out (not computed with the code under test), and the
// trace line of its choice of skin.
struct DpiCase {
    UINT dpi;
    int screenWidth, screenHeight;
    int quarters;
    SIZE window;
    RECT browser, closeBtn, minBtn; // left, top, width, height
    SIZE closeImage, minImage;
    const wchar_t* skinLine; // null: none
};

const DpiCase kDpiCases[] = {
    {192, 3840, 2160, 8, {2514, 1754}, {726, 616, 1316, 852}, {2036, 498, 116, 176}, {1924, 474, 124, 118},
     {104, 160}, {114, 122}, L"Orvane: skin at scale 2 (192 DPI): the 2x art"},
    {144, 2560, 1440, 6, {1886, 1316}, {545, 462, 987, 639}, {1527, 374, 87, 132}, {1443, 356, 93, 88},
     {78, 120}, {86, 92}, L"Orvane: skin at scale 1.5 (144 DPI): the 2x art drawn at 0.75"},
    // 200 % on a screen too small for the launcher at more than 1, and 96 DPI anywhere: the 96-DPI
    // launcher.
    {192, 1920, 1080, 4, {1257, 877}, {363, 308, 658, 426}, {1018, 249, 58, 88}, {962, 237, 62, 59}, {52, 80},
     {57, 61}, L"Orvane: skin at scale 1 (192 DPI): the 1x art"},
    {96, 0, 0, 4, {1257, 877}, {363, 308, 658, 426}, {1018, 249, 58, 88}, {962, 237, 62, 59}, {52, 80}, {57, 61},
     nullptr},
};

// The case of this process's DPI and screen; null when there is none.
const DpiCase* CurrentDpiCase() {
    const UINT dpi = SystemDpi();
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    for (const DpiCase& c : kDpiCases) {
        if (c.dpi == dpi && (c.screenWidth == 0 || (c.screenWidth == w && c.screenHeight == h))) return &c;
    }
    return nullptr;
}

// The screen's pixels in r, as 0x00RRGGBB rows.
std::vector<uint32_t> ReadScreen(const RECT& r) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<uint32_t> out(static_cast<size_t>(w) * h);
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    fw::UniqueBitmap dib(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    fw::WindowDc screen(nullptr);
    fw::UniqueDc mem(::CreateCompatibleDC(screen.get()));
    if (!dib || !bits || !mem) return {};
    {
        fw::SelectObjectGuard select(mem.get(), dib.get());
        ::BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
        ::GdiFlush();
    }
    std::memcpy(out.data(), bits, out.size() * 4);
    for (uint32_t& p : out) p &= 0xFFFFFF;
    return out;
}

// Pixel (x, y) of art shown at num / den of its size, as the mean of the art's pixels under it,
// each weighed by how much of it the pixel covers (a box filter: not how the program scales, so
// the two agree only up to a tolerance). Straight 0xAARRGGBB.
uint32_t BoxFiltered(const test::DecodedImage& art, int x, int y, int num, int den) {
    double sum[4] = {};
    double total = 0;
    const double x0 = double(x) * den / num, x1 = double(x + 1) * den / num;
    const double y0 = double(y) * den / num, y1 = double(y + 1) * den / num;
    for (int sy = int(y0); sy < int(std::ceil(y1)) && sy < int(art.height); ++sy) {
        const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
        for (int sx = int(x0); sx < int(std::ceil(x1)) && sx < int(art.width); ++sx) {
            const double wgt = wy * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0));
            const uint32_t p = art.argb[static_cast<size_t>(sy) * art.width + sx];
            for (int c = 0; c < 4; ++c) sum[c] += wgt * ((p >> (8 * c)) & 0xFF);
            total += wgt;
        }
    }
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) out |= static_cast<uint32_t>(sum[c] / total + 0.5) << (8 * c);
    return out;
}

int Distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        d = std::max(d, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    }
    return d;
}

// The host flags the launcher's browser control reads from its site.
DWORD LauncherHostFlags(CVxStandardDlg* c) {
    if (!c || !c->m_browser.m_pCtrlSite) return 0;
    auto object = fw::QueryAs<IOleObject>(c->m_browser.m_pCtrlSite->GetControlUnknown(), IID_IOleObject);
    fw::ComPtr<IOleClientSite> client;
    if (!object || FAILED(object->GetClientSite(client.put())) || !client) return 0;
    auto host = fw::QueryAs<IDocHostUIHandler>(client.get(), IID_IDocHostUIHandler);
    DOCHOSTUIINFO info{sizeof info, 0, 0, nullptr, nullptr};
    return host && host->GetHostInfo(&info) == S_OK ? info.dwFlags : 0;
}

class HighDpiLauncher : public Launcher {};

TEST_F(HighDpiLauncher, WindowControlsArtAndPageZoomFollowTheScale) {
    // The run was started for a DPI: a prefix that did not take it must not pass at 96.
    if (const UINT want = test::ExpectedDpi()) {
        ASSERT_EQ(SystemDpi(), want) << "the system DPI of this run";
    }
    const DpiCase* expected = CurrentDpiCase();
    ASSERT_NE(expected, nullptr) << "no case for " << SystemDpi() << " DPI on a screen of "
                                 << ::GetSystemMetrics(SM_CXSCREEN) << " x " << ::GetSystemMetrics(SM_CYSCREEN);
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    struct OleEnd {
        ~OleEnd() { ::OleUninitialize(); }
    } oleEnd;
    test::RecordingBrowserClass browsers;
    ASSERT_TRUE(browsers.ok());
    test::GdiplusSession gdiplus;
    RECT bgRect{}, coRect{}, browser{}, closeBtn{}, minBtn{};
    SIZE closeImage{}, minImage{};
    int quarters = 0;
    DWORD hostFlags = 0;
    std::vector<uint32_t> screen;
    std::vector<std::string> callsAtStart, callsAfterFrame;
    const fw::TraceSink oldSink = fw::SetTraceSink(&KeepTraceLine);
    g_traced.clear();
    Run([&] {
        auto* background = dynamic_cast<CVxTranslucentDlg*>(AfxGetMainWnd());
        ASSERT_NE(background, nullptr);
        CVxStandardDlg* c = CompanionOf(background->m_hWnd);
        ASSERT_NE(c, nullptr);
        quarters = background->Scale().Quarters();
        EXPECT_EQ(c->LauncherScale(), background->Scale());
        hostFlags = LauncherHostFlags(c);
        ::GetWindowRect(background->m_hWnd, &bgRect);
        ::GetWindowRect(c->m_hWnd, &coRect);
        auto childRect = [&](int id) {
            RECT r{};
            ::GetWindowRect(::GetDlgItem(c->m_hWnd, id), &r);
            ::MapWindowPoints(nullptr, c->m_hWnd, reinterpret_cast<POINT*>(&r), 2);
            return RECT{r.left, r.top, r.right - r.left, r.bottom - r.top};
        };
        browser = childRect(IDC_BROWSER);
        closeBtn = childRect(IDC_BTN_CLOSE);
        minBtn = childRect(IDC_BTN_MINIMIZE);
        closeImage = {c->m_btnClose.GetNormalImage().Width(), c->m_btnClose.GetNormalImage().Height()};
        minImage = {c->m_btnMinimize.GetNormalImage().Width(), c->m_btnMinimize.GetNormalImage().Height()};
        // Each new document of the page is zoomed again: a completed navigation, and a completed
        // top-level document (a reload); a frame's document is not the page.
        FireNavigateComplete2(c, nullptr, L"http://launcher.example/servers?page=2");
        auto topLevel = fw::QueryAs<IDispatch>(c->m_browser.m_pCtrlSite->GetControlUnknown(), IID_IDispatch);
        ASSERT_TRUE(topLevel);
        FireFrameEvent(c, 259, topLevel.get(), L"http://launcher.example/servers?page=2");
        callsAtStart = BrowserCalls();
        test::CountedDispatch frame;
        FireFrameEvent(c, 259, &frame, L"http://ads.example/frame");
        FireFrameEvent(c, 259, nullptr, L"http://ads.example/frame");
        callsAfterFrame = BrowserCalls();
        test::PumpFor(300);
        screen = ReadScreen(bgRect);
        CloseCurrentLauncher();
    });
    fw::SetTraceSink(oldSink);
    EXPECT_EQ(quarters, expected->quarters);
    EXPECT_EQ(bgRect.right - bgRect.left, expected->window.cx);
    EXPECT_EQ(bgRect.bottom - bgRect.top, expected->window.cy);
    EXPECT_TRUE(::EqualRect(&bgRect, &coRect)) << "the companion lies exactly over the background";
    auto expectRect = [](const RECT& got, const RECT& want, const char* what) {
        EXPECT_EQ(got.left, want.left) << what;
        EXPECT_EQ(got.top, want.top) << what;
        EXPECT_EQ(got.right, want.right) << what << " width";
        EXPECT_EQ(got.bottom, want.bottom) << what << " height";
    };
    expectRect(browser, expected->browser, "browser");
    expectRect(closeBtn, expected->closeBtn, "close button");
    expectRect(minBtn, expected->minBtn, "minimise button");
    EXPECT_EQ(closeImage.cx, expected->closeImage.cx);
    EXPECT_EQ(closeImage.cy, expected->closeImage.cy);
    EXPECT_EQ(minImage.cx, expected->minImage.cx);
    EXPECT_EQ(minImage.cy, expected->minImage.cy);
    // Above 96 DPI the page gets the engine's high-DPI behaviour (0x40000000,
    // DOCHOSTUIFLAG_DPI_AWARE), and is zoomed by the launcher's scale, 100 % included (command
    // 63, OLECMDID_OPTICAL_ZOOM, in percent), with the do-not-store flag (1) in the high word of
    // the execute option over 2, OLECMDEXECOPT_DONTPROMPTUSER: after the start page is requested
    // and for each new document. At 96 DPI neither.
    const bool highDpi = expected->dpi > 96;
    EXPECT_EQ(hostFlags, highDpi ? 12u | 0x40000000u : 12u);
    const std::string zoom = "1 ExecWB 63 0x10002 " + std::to_string(expected->quarters * 25);
    const std::vector<std::string> want =
        highDpi ? std::vector<std::string>{"1 new", zoom, zoom, zoom} : std::vector<std::string>{"1 new"};
    EXPECT_EQ(callsAtStart, want);
    EXPECT_EQ(callsAfterFrame, want) << "a frame's document is not zoomed";
    // The choice of scale and art, for whoever reads the trace; and each refused zoom (Wine's
    // browser, without an HTML engine, has no document and refuses them all with E_UNEXPECTED).
    std::vector<std::wstring> skinLines;
    const std::wstring refusal =
        L"Orvane: launcher page zoom to " + std::to_wstring(expected->quarters * 25) + L" % refused: 0x8000FFFF";
    size_t refusals = 0;
    for (const std::wstring& line : g_traced) {
        if (line.rfind(L"Orvane: skin at scale", 0) == 0) skinLines.push_back(line);
        if (line == refusal) ++refusals;
    }
    EXPECT_EQ(skinLines, expected->skinLine ? std::vector<std::wstring>{expected->skinLine}
                                            : std::vector<std::wstring>{});
    EXPECT_EQ(refusals, highDpi ? 3u : 0u);

    // Pixels of the title plaque (no control over it) against the art as this test decodes it:
    // at 1 the 1x art itself, at 2 the 2x art itself, at 1.5 the 2x art under a box filter (to a
    // tolerance: the program filters otherwise). Never the 1x art enlarged, which differs there.
    const int w = expected->window.cx, h = expected->window.cy;
    ASSERT_EQ(screen.size(), static_cast<size_t>(w) * h);
    const int q = expected->quarters;
    const test::DecodedImage art = test::DecodeResourceImage(q == 4 ? IDB_SKIN : IDB_SKIN_2X, L"PNG");
    const test::DecodedImage art1x = test::DecodeResourceImage(IDB_SKIN, L"PNG");
    ASSERT_GT(art.width, 0u);
    ASSERT_GT(art1x.width, 0u);
    const RECT plaque = UiScale::FromQuarters(q).Rect(RECT{560, 160, 824, 214});
    int compared = 0, mismatched = 0, enlargedDiffers = 0;
    for (int y = plaque.top; y < plaque.bottom; ++y) {
        for (int x = plaque.left; x < plaque.right; ++x) {
            const uint32_t ref = q == 4 || q == 8 ? art.argb[static_cast<size_t>(y) * art.width + x]
                                                  : BoxFiltered(art, x, y, q, 8);
            if ((ref >> 24) != 255) continue;
            ++compared;
            const uint32_t got = screen[static_cast<size_t>(y) * w + x];
            if (Distance(got, ref) > (q == 4 || q == 8 ? 3 : 64)) ++mismatched;
            const uint32_t enlarged = art1x.argb[static_cast<size_t>(y * 4 / q) * art1x.width + x * 4 / q];
            if (Distance(got, enlarged) > 64) ++enlargedDiffers;
        }
    }
    EXPECT_GT(compared, 1000);
    // (At 1.5, 1 of 32,076 pixels differs by more than 64 from the box filter; the 1x art
    // enlarged differs so in 586.)
    EXPECT_LE(mismatched, q == 4 || q == 8 ? 0 : compared / 1000) << "of " << compared << " opaque pixels";
    if (q != 4) {
        EXPECT_GT(enlargedDiffers, 100) << "the 1x art enlarged would pass";
    }
}

} // namespace
