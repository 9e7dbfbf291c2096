// The game window: caption, icons, tray record and Wine's tray, frame, exit confirmation, and
// the launcher-game cycle through the real application object.
#include "GameTestSupport.h"
#include "TestSupport.h"
#include "app/CTranslucentApp.h"
#include "game/GameAudio.h"
#include "framework/CWinApp.h"
#include "framework/ComPtr.h"
#include "framework/COleControlSite.h"
#include "framework/Handles.h"
#include "framework/OleInit.h"
#include "framework/Trace.h"
#include "framework/Variant.h"
#include "framework/UiScale.h"
#include "launcher/CVxTranslucentDlg.h"
#include "resource.h"

#include <gtest/gtest.h>
#include <exdisp.h>
#include <mshtmhst.h>

#include <string>
#include <utility>
#include <vector>

using gametest::SpyGameDlg;
using gametest::WineTrayIconCount;

namespace {

const std::wstring kHints = L"  \u3010F5\u5237\u65b0\u3011\u3010F11\u5168\u5c4f\u3011\u3010F12\u6700\u5c0f\u6258\u76d8\u3011";
const std::wstring kExitText = L"\u5373\u5c06\u9000\u51faOrvane\uff0c\u662f\u5426\u7ee7\u7eed\uff1f";
const std::wstring kExitCaption = L"\u9000\u51fa\u6e38\u620f";

static_assert(sizeof(void*) != 4 || NOTIFYICONDATAW_V3_SIZE == 952, "32-bit tray record size");
static_assert(sizeof(void*) != 8 || NOTIFYICONDATAW_V3_SIZE == 968, "64-bit tray record size");

TEST(GameTitle, ServerNameRule) {
    EXPECT_EQ(BuildGameTitle(L""), L"Orvane" + kHints);
    EXPECT_EQ(BuildGameTitle(L"12"), L"Orvanes12\u670d" + kHints);
    EXPECT_EQ(BuildGameTitle(L"s12"), L"Orvanes12\u670d" + kHints);
    EXPECT_EQ(BuildGameTitle(L"S12"), L"OrvaneS12\u670d" + kHints);
    EXPECT_EQ(BuildGameTitle(L"12s"), L"Orvane12s\u670d" + kHints);
    // Two ASCII spaces, then the brackets U+3010 / U+3011.
    EXPECT_EQ(kHints.substr(0, 3), L"  \u3010");
}

TEST(GameWindow, InitialisationSetsTrayIconsFrameCaptionThenNavigates) {
    CWinApp app;
    SpyGameDlg dlg;
    dlg.SetParams(L"http://game.example/play?sid=7", L"extra-7");
    app.m_pMainWnd = &dlg;
    const int traysBefore = WineTrayIconCount();

    HWND hWnd = nullptr;
    NOTIFYICONDATAW record{};
    DWORD style = 0, exStyle = 0;
    bool zoomed = false, visible = false;
    RECT rect{};
    std::wstring caption;
    int traysDuring = -1;
    HICON bigIcon = nullptr, smallIcon = nullptr;
    test::Deadline deadline("the test's first step in the game window's modal loop to end it");
    test::RunSoon([&] {
        hWnd = dlg.m_hWnd;
        record = g_trayIconData;
        style = gametest::StyleOf(hWnd);
        exStyle = static_cast<DWORD>(::GetWindowLongW(hWnd, GWL_EXSTYLE));
        zoomed = ::IsZoomed(hWnd);
        visible = ::IsWindowVisible(hWnd);
        ::GetWindowRect(hWnd, &rect);
        caption = dlg.GetWindowText();
        traysDuring = WineTrayIconCount();
        bigIcon = reinterpret_cast<HICON>(::SendMessageW(hWnd, WM_GETICON, ICON_BIG, 0));
        smallIcon = reinterpret_cast<HICON>(::SendMessageW(hWnd, WM_GETICON, ICON_SMALL, 0));
        dlg.EndDialog(77);
    });
    EXPECT_EQ(dlg.DoModal(), 77);
    ASSERT_NE(hWnd, nullptr);

    // Caption and frame.
    EXPECT_EQ(caption, L"Orvane" + kHints);
    EXPECT_EQ(style & WS_POPUP, static_cast<DWORD>(WS_POPUP));
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_TRUE(zoomed);
    EXPECT_TRUE(visible);
    // Maximised over the screen, although the template asks for an 835 x 415 unit box.
    EXPECT_LE(rect.left, 0);
    EXPECT_LE(rect.top, 0);
    EXPECT_GE(rect.right, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_GE(rect.bottom, ::GetSystemMetrics(SM_CYSCREEN));

    // Tray record.
    EXPECT_EQ(record.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V3_SIZE));
    EXPECT_EQ(record.cbSize, 968u);
    EXPECT_EQ(record.hWnd, hWnd);
    EXPECT_EQ(record.uID, 155u);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 0x401u);
    EXPECT_NE(record.hIcon, nullptr);
    EXPECT_EQ(record.hIcon, ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(155)));
    EXPECT_EQ(record.szTip[0], L'\0');
    EXPECT_EQ(traysDuring, traysBefore + 1) << "one real icon in Wine's tray";

    // Window icons: both are icon 155 of the executable.
    EXPECT_NE(dlg.m_hIcon, nullptr);
    EXPECT_EQ(dlg.m_hIcon, record.hIcon);
    EXPECT_EQ(bigIcon, dlg.m_hIcon);
    EXPECT_EQ(smallIcon, dlg.m_hIcon);

    // Order inside initialisation: big then small icon, caption set once the window is visible
    // and maximised, then the game address is requested.
    int init = -1, big = -1, small = -1, text = -1, nav = -1;
    for (int i = 0; i < static_cast<int>(dlg.events.size()); ++i) {
        const auto& e = dlg.events[static_cast<size_t>(i)];
        if (e.message == WM_INITDIALOG && init < 0) init = i;
        if (init < 0) continue;
        if (e.message == WM_SETICON && e.wParam == ICON_BIG && big < 0) big = i;
        if (e.message == WM_SETICON && e.wParam == ICON_SMALL && small < 0) small = i;
        if (e.message == WM_SETTEXT && e.text == L"Orvane" + kHints && text < 0) {
            text = i;
            EXPECT_TRUE(e.visible && e.zoomed) << "caption after the maximise";
        }
        if (e.message == SpyGameDlg::kNavigated && nav < 0) nav = i;
    }
    ASSERT_GE(init, 0);
    EXPECT_LT(init, big);
    EXPECT_LT(big, small);
    EXPECT_LT(small, text);
    EXPECT_LT(text, nav);
    ASSERT_EQ(dlg.navigations.size(), 1u);
    EXPECT_EQ(dlg.navigations[0].url, L"http://game.example/play?sid=7");
    EXPECT_EQ(dlg.navigations[0].flags, 0u);
    EXPECT_FALSE(dlg.navigations[0].target || dlg.navigations[0].headers || dlg.navigations[0].postData);
    EXPECT_EQ(dlg.m_strExtraParam, L"extra-7");
    EXPECT_TRUE(dlg.m_strServerName.empty());
    EXPECT_EQ(dlg.m_bFullScreen, 0);

    // The WM_SIZE of the creation arrives before the icon is loaded: it sends a null big icon.
    int firstSize = -1;
    for (int i = 0; i < init && firstSize < 0; ++i) {
        if (dlg.events[static_cast<size_t>(i)].message == WM_SIZE) firstSize = i;
    }
    ASSERT_GE(firstSize, 0);
    const auto& afterSize = dlg.events[static_cast<size_t>(firstSize) + 1];
    EXPECT_EQ(afterSize.message, static_cast<UINT>(WM_SETICON));
    EXPECT_EQ(afterSize.wParam, static_cast<WPARAM>(ICON_BIG));
    EXPECT_EQ(afterSize.lParam, 0);

    // Destroyed through its object: the icon is deleted.
    EXPECT_EQ(WineTrayIconCount(), traysBefore);
}

TEST(GameWindow, WithoutApplicationObjectTheIconComesFromTheResourceModule) {
    ASSERT_EQ(AfxGetApp(), nullptr);
    SpyGameDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    EXPECT_NE(dlg.m_hIcon, nullptr);
    EXPECT_EQ(dlg.m_hIcon, ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(dlg.m_hWnd, WM_GETICON, ICON_BIG, 0)), dlg.m_hIcon);
    EXPECT_TRUE(dlg.TrayIconPresent());
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_FALSE(dlg.TrayIconPresent());
}

// Records the value of every IWebBrowser2::put_Silent call on this process's browsers while it
// lives. Wine's control keeps only whether the flag is set and reports VARIANT_TRUE for any
// non-zero value, so asking it back cannot tell 1 from VARIANT_TRUE; the recorder sees what was
// sent. It points the put_Silent entry of the browser's interface table (one table shared by
// every browser object) at itself and passes each call on.
class PutSilentRecorder {
public:
    PutSilentRecorder() {
        AfxOleInit();
        fw::ComPtr<IWebBrowser2> probe;
        if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                      probe.put_void()))) {
            return;
        }
        PutSilentFn* slot = *reinterpret_cast<PutSilentFn**>(probe.get()) + kPutSilentSlot;
        if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &m_protect)) return;
        m_slot = slot;
        s_original = *slot;
        s_values = &values;
        *slot = &Record;
        // The entry is the right one when a call through the interface lands here.
        probe->put_Silent(VARIANT_TRUE);
        installed = values == std::vector<VARIANT_BOOL>{VARIANT_TRUE};
        values.clear();
    }
    ~PutSilentRecorder() {
        if (!m_slot) return;
        *m_slot = s_original;
        DWORD ignored = 0;
        ::VirtualProtect(m_slot, sizeof *m_slot, m_protect, &ignored);
        s_values = nullptr;
    }
    PutSilentRecorder(const PutSilentRecorder&) = delete;
    PutSilentRecorder& operator=(const PutSilentRecorder&) = delete;
    bool installed = false;
    std::vector<VARIANT_BOOL> values;

private:
    using PutSilentFn = HRESULT(STDMETHODCALLTYPE*)(IWebBrowser2*, VARIANT_BOOL);
    // IUnknown (3), IDispatch (4), IWebBrowser (25), IWebBrowserApp (20), then IWebBrowser2's
    // Navigate2 ... get_Silent, put_Silent.
    static constexpr size_t kPutSilentSlot = 60;
    static HRESULT STDMETHODCALLTYPE Record(IWebBrowser2* self, VARIANT_BOOL value) {
        if (s_values) s_values->push_back(value);
        return s_original(self, value);
    }
    static inline PutSilentFn s_original = nullptr;
    static inline std::vector<VARIANT_BOOL>* s_values = nullptr;
    PutSilentFn* m_slot = nullptr;
    DWORD m_protect = 0;
};

std::vector<std::wstring> g_gameTrace;
void KeepGameTraceLine(std::wstring_view line) {
    g_gameTrace.emplace_back(line);
}

// NavigateError(pDisp, &URL, &TargetFrameName, &StatusCode, &Cancel) fired into the window's
// event sink as the browser fires it.
HRESULT FireNavigateError(CDHtmlDialog& dlg, const wchar_t* url, VARIANT status, VARIANT_BOOL* cancel) {
    if (!dlg.m_wndBrowser.m_pCtrlSite) return E_POINTER;
    IDispatch* sink = dlg.m_wndBrowser.m_pCtrlSite->GetEventSink();
    if (!sink) return E_POINTER;
    fw::Bstr address(url);
    VARIANT target, frame;
    target.vt = VT_BSTR;
    target.bstrVal = address.get();
    frame.vt = VT_EMPTY;
    VARIANT args[5];
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = cancel;
    args[1].vt = VT_BYREF | VT_VARIANT;
    args[1].pvarVal = &status;
    args[2].vt = VT_BYREF | VT_VARIANT;
    args[2].pvarVal = &frame;
    args[3].vt = VT_BYREF | VT_VARIANT;
    args[3].pvarVal = &target;
    args[4].vt = VT_DISPATCH;
    args[4].pdispVal = nullptr;
    DISPPARAMS params{args, nullptr, 5, 0};
    return sink->Invoke(271, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

// The browser is silent, and a failed navigation is the browser's to handle: the window only
// traces it (the status quoted when it is not a number) and never cancels it.
TEST(GameWindow, BrowserIsSilentAndNavigationErrorsAreOnlyTraced) {
    PutSilentRecorder silent;
    ASSERT_TRUE(silent.installed) << "cannot watch the browser's put_Silent";
    SpyGameDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    ASSERT_TRUE(dlg.m_pBrowserApp) << "the game window hosts no browser";
    // Sent once, as 1 (not VARIANT_TRUE, which is -1).
    EXPECT_EQ(silent.values, (std::vector<VARIANT_BOOL>{1}));
    VARIANT_BOOL reported = VARIANT_FALSE;
    ASSERT_EQ(dlg.m_pBrowserApp->get_Silent(&reported), S_OK);
    EXPECT_NE(reported, VARIANT_FALSE) << "the browser took it as set";

    const fw::TraceSink old = fw::SetTraceSink(&KeepGameTraceLine);
    g_gameTrace.clear();
    VARIANT code, text;
    code.vt = VT_I4;
    code.lVal = static_cast<LONG>(0x800C0005);
    fw::Bstr textStatus(L"404\" at \"http://forged/");
    text.vt = VT_BSTR;
    text.bstrVal = textStatus.get();
    VARIANT_BOOL cancelCode = VARIANT_FALSE, cancelText = VARIANT_FALSE;
    const HRESULT hrCode = FireNavigateError(dlg, L"http://game.example/\x2028", code, &cancelCode);
    const HRESULT hrText = FireNavigateError(dlg, L"http://game.example/", text, &cancelText);
    fw::SetTraceSink(old);
    EXPECT_EQ(hrCode, S_OK);
    EXPECT_EQ(hrText, S_OK);
    EXPECT_EQ(cancelCode, VARIANT_FALSE);
    EXPECT_EQ(cancelText, VARIANT_FALSE);
    EXPECT_EQ(g_gameTrace,
              (std::vector<std::wstring>{
                  LR"(Orvane: game page: navigation error 0x800C0005 at "http://game.example/\u2028")",
                  LR"(Orvane: game page: navigation error "404\" at \"http://forged/" at "http://game.example/")"}));
}

// Notes which buttons the next message box of this thread carries.
class ButtonProbe {
public:
    ButtonProbe() {
        s_self = this;
        m_hook = ::SetWindowsHookExW(WH_CBT, &Hook, nullptr, ::GetCurrentThreadId());
    }
    ~ButtonProbe() {
        ::UnhookWindowsHookEx(m_hook);
        s_self = nullptr;
    }
    ButtonProbe(const ButtonProbe&) = delete;
    ButtonProbe& operator=(const ButtonProbe&) = delete;
    bool seen = false, yes = false, no = false, cancel = false, ok = false, icon = false;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        HWND box = reinterpret_cast<HWND>(wParam);
        // A message box: a dialog with the text item 0xFFFF, seen for the first time.
        if (code == HCBT_ACTIVATE && s_self && !s_self->seen && test::ClassNameOf(box) == L"#32770" &&
            ::GetDlgItem(box, 0xFFFF)) {
            s_self->seen = true;
            s_self->yes = ::GetDlgItem(box, IDYES) != nullptr;
            s_self->no = ::GetDlgItem(box, IDNO) != nullptr;
            s_self->cancel = ::GetDlgItem(box, IDCANCEL) != nullptr;
            s_self->ok = ::GetDlgItem(box, IDOK) != nullptr;
            for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
                const bool iconStatic = _wcsicmp(test::ClassNameOf(c).c_str(), L"Static") == 0 &&
                                        (::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
                s_self->icon = s_self->icon || (iconStatic && ::IsWindowVisible(c));
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline ButtonProbe* s_self = nullptr;
    HHOOK m_hook = nullptr;
};

TEST(GameWindow, AnsweringNoKeepsWindowModeCaptionAndTrayIcon) {
    CWinApp app;
    SpyGameDlg dlg;
    dlg.SetParams(L"http://game.example/", L"");
    app.m_pMainWnd = &dlg;
    test::MessageBoxAnswerer no(IDNO);
    ButtonProbe buttons;
    const int traysBefore = WineTrayIconCount();
    std::wstring captionBefore, captionAfter;
    bool fullBefore = false, fullAfter = false, visible = false, zoomed = false, present = false;
    int traysAfter = -1;
    HWND hWnd = nullptr;
    test::Deadline deadline("the answered confirmation and the test's steps to end the game window's modal run");
    gametest::RunSteps({
        [&] {
            hWnd = dlg.m_hWnd;
            ::PostMessageW(dlg.m_hWnd, WM_KEYDOWN, VK_F11, 0);
        },
        [&] {
            fullBefore = dlg.m_bFullScreen == 1 && gametest::IsFullScreenStyle(dlg.m_hWnd);
            captionBefore = dlg.GetWindowText();
            ::PostMessageW(dlg.m_hWnd, WM_CLOSE, 0, 0);
        },
        [&] {
            fullAfter = dlg.m_bFullScreen == 1 && gametest::IsFullScreenStyle(dlg.m_hWnd);
            captionAfter = dlg.GetWindowText();
            visible = ::IsWindowVisible(dlg.m_hWnd);
            zoomed = ::IsZoomed(dlg.m_hWnd);
            traysAfter = WineTrayIconCount();
            present = dlg.TrayIconPresent();
            dlg.EndDialog(5);
        },
    });
    EXPECT_EQ(dlg.DoModal(), 5) << "the close did not end the dialog";
    ASSERT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(no.boxes[0].text, kExitText);
    EXPECT_EQ(no.boxes[0].caption, kExitCaption);
    EXPECT_EQ(no.boxes[0].owner, hWnd);
    EXPECT_TRUE(buttons.yes && buttons.no && !buttons.cancel && !buttons.ok) << "MB_YESNO";
    EXPECT_FALSE(buttons.icon) << "no icon flag";
    EXPECT_TRUE(fullBefore);
    EXPECT_TRUE(fullAfter);
    EXPECT_EQ(captionAfter, captionBefore);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(zoomed);
    EXPECT_EQ(traysAfter, traysBefore + 1);
    EXPECT_TRUE(present);
    EXPECT_EQ(dlg.navigations.size(), 1u) << "the page is left alone";
}

TEST(GameWindow, ACloseRequestWhileTheConfirmationShowsOpensNoSecondBox) {
    CWinApp app;
    SpyGameDlg dlg;
    app.m_pMainWnd = &dlg;
    test::MessageBoxAnswerer yes(IDYES);
    // The close box clicked again while the (first) box shows: handled before the answer reaches
    // the box. Once only, so that a second box fails the count below at once instead of each box
    // asking for the next until the deadline.
    bool clickedAgain = false;
    yes.onShow = [&](const test::MessageBoxAnswerer::Box&) {
        if (!std::exchange(clickedAgain, true)) ::PostMessageW(dlg.m_hWnd, WM_CLOSE, 0, 0);
    };
    test::RunSoon([&] { ::PostMessageW(dlg.m_hWnd, WM_CLOSE, 0, 0); });
    test::Deadline deadline("the one Yes to end the game window's modal run");
    // No launcher to switch to: the one Yes passes the close on, which cancels the dialog.
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.Count(WM_CLOSE), 2) << "both requests reached the window";
    EXPECT_EQ(yes.boxes.size(), 1u);
}

TEST(GameWindow, YesWithoutControllerDeletesTheTrayIconThenPassesTheCloseOn) {
    // Notes the tray when the passed-on close arrives: the dialog's default processing of
    // WM_CLOSE turns it into the cancel command, while the window is still there.
    class CloseSpy : public SpyGameDlg {
    public:
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
            if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && traysAtCancel < 0) {
                traysAtCancel = WineTrayIconCount();
                iconKnownAtCancel = TrayIconPresent();
            }
            return SpyGameDlg::WindowProc(message, wParam, lParam);
        }
        int traysAtCancel = -1;
        bool iconKnownAtCancel = true;
    };
    CWinApp app;
    CloseSpy dlg;
    app.m_pMainWnd = &dlg;
    const int traysBefore = WineTrayIconCount();
    test::MessageBoxAnswerer yes(IDYES);
    int traysAtBox = -1;
    yes.onShow = [&](const test::MessageBoxAnswerer::Box&) { traysAtBox = WineTrayIconCount(); };
    test::Deadline deadline("Yes to the game window's exit confirmation to end its modal run");
    test::RunSoon([&] { ::PostMessageW(dlg.m_hWnd, WM_CLOSE, 0, 0); });
    // No launcher to switch to: default processing of the close cancels the dialog.
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(yes.boxes.size(), 1u);
    EXPECT_EQ(traysAtBox, traysBefore + 1);
    // Gone from Wine's tray before the close went on (the window's destruction would delete it
    // too, but only after the dialog has ended).
    EXPECT_EQ(dlg.traysAtCancel, traysBefore) << "the icon was still in the tray when the close passed on";
    EXPECT_FALSE(dlg.iconKnownAtCancel);
    EXPECT_EQ(WineTrayIconCount(), traysBefore);
}

TEST(GameWindow, RightButtonOnTheDialogRaisesNoContextMenu) {
    SpyGameDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    ::SendMessageW(dlg.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    ::SendMessageW(dlg.m_hWnd, WM_RBUTTONUP, 0, MAKELPARAM(40, 40));
    EXPECT_EQ(dlg.Count(WM_RBUTTONUP), 1);
    EXPECT_EQ(dlg.Count(WM_CONTEXTMENU), 0);

    // The same template without the handler does raise it.
    class Plain : public CDialog {
    public:
        Plain() : CDialog(IDD_VXGAME_DIALOG) {}
        LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
            contextMenus += m == WM_CONTEXTMENU;
            return CDialog::WindowProc(m, w, l);
        }
        int contextMenus = 0;
    } plain;
    ASSERT_TRUE(plain.Create(IDD_VXGAME_DIALOG));
    ::SendMessageW(plain.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    ::SendMessageW(plain.m_hWnd, WM_RBUTTONUP, 0, MAKELPARAM(40, 40));
    EXPECT_EQ(plain.contextMenus, 1);
}

TEST(GameWindow, EveryWmSizeSendsTheBigIconAgain) {
    SpyGameDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    ASSERT_NE(dlg.m_hIcon, nullptr);
    dlg.events.clear();
    ::SendMessageW(dlg.m_hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    dlg.ShowWindow(SW_MINIMIZE);
    dlg.ShowWindow(SW_RESTORE);
    dlg.ShowWindow(SW_MAXIMIZE);
    dlg.MoveWindow(10, 10, 400, 300);
    int sizes = 0, bigIcons = 0, others = 0;
    for (const auto& e : dlg.events) {
        if (e.message == WM_SIZE) ++sizes;
        if (e.message != WM_SETICON) continue;
        if (e.wParam == ICON_BIG && e.lParam == reinterpret_cast<LPARAM>(dlg.m_hIcon)) {
            ++bigIcons;
        } else {
            ++others;
        }
    }
    // Restoring from minimised goes back to maximised, so the final maximise changes nothing.
    EXPECT_GE(sizes, 4);
    EXPECT_EQ(bigIcons, sizes);
    EXPECT_EQ(others, 0);
    // Each WM_SIZE is followed by its icon before the next WM_SIZE (the browser's move in between
    // may make the dialog erase its background first).
    for (size_t i = 0; i < dlg.events.size(); ++i) {
        if (dlg.events[i].message != WM_SIZE) continue;
        bool iconBeforeNextSize = false;
        for (size_t k = i + 1; k < dlg.events.size() && dlg.events[k].message != WM_SIZE; ++k) {
            iconBeforeNextSize = iconBeforeNextSize || dlg.events[k].message == WM_SETICON;
        }
        EXPECT_TRUE(iconBeforeNextSize) << "WM_SIZE #" << i;
    }
}

TEST(GameWindow, TaskbarCreatedAddsTheTrayIconAgain) {
    SpyGameDlg dlg;
    const int traysBefore = WineTrayIconCount();
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    ASSERT_EQ(WineTrayIconCount(), traysBefore + 1);

    // The shell still has the icon: no second one, and it is still known.
    ::SendMessageW(dlg.m_hWnd, taskbarCreated, 0, 0);
    EXPECT_EQ(WineTrayIconCount(), traysBefore + 1);
    EXPECT_TRUE(dlg.TrayIconPresent());

    // The shell lost it (as after a restart): it comes back.
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &g_trayIconData));
    EXPECT_EQ(WineTrayIconCount(), traysBefore);
    EXPECT_FALSE(dlg.TrayIconPresent());
    ::SendMessageW(dlg.m_hWnd, taskbarCreated, 0, 0);
    EXPECT_EQ(WineTrayIconCount(), traysBefore + 1);
    EXPECT_TRUE(dlg.TrayIconPresent());
    EXPECT_EQ(g_trayIconData.hWnd, dlg.m_hWnd);

    dlg.DestroyWindow();
    EXPECT_EQ(WineTrayIconCount(), traysBefore);
}

// Records the tray at the creation of each launcher window, before anything of it shows.
class LauncherCreationProbe {
public:
    LauncherCreationProbe() {
        s_self = this;
        m_hook = ::SetWindowsHookExW(WH_CBT, &Hook, nullptr, ::GetCurrentThreadId());
    }
    ~LauncherCreationProbe() {
        ::UnhookWindowsHookEx(m_hook);
        s_self = nullptr;
    }
    LauncherCreationProbe(const LauncherCreationProbe&) = delete;
    LauncherCreationProbe& operator=(const LauncherCreationProbe&) = delete;
    std::vector<int> traysAtCreation;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND && s_self) {
            const auto* cbt = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
            const bool topLevel = !(cbt->lpcs->style & WS_CHILD);
            CWnd* pMain = AfxGetMainWnd();
            // The framework's own creation hook may have attached the window to its object already.
            const bool launcher = pMain && dynamic_cast<CVxTranslucentDlg*>(pMain) &&
                                  (!pMain->m_hWnd || pMain->m_hWnd == reinterpret_cast<HWND>(wParam));
            if (topLevel && launcher) {
                s_self->traysAtCreation.push_back(WineTrayIconCount());
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline LauncherCreationProbe* s_self = nullptr;
    HHOOK m_hook = nullptr;
};

TEST(GameCycle, LauncherGameLauncherGameKeepsExactlyOneTrayIcon) {
    const int traysBefore = WineTrayIconCount();
    ASSERT_EQ(traysBefore, 0) << "another test left an icon behind";
    CTranslucentApp app;
    test::MessageBoxAnswerer yes(IDYES);
    LauncherCreationProbe probe;
    std::vector<std::string> trace;
    std::vector<HWND> games;
    std::vector<int> traysInGame, traysInLauncher;
    // The player's mute in the first game holds in the second; the end of the run gives it back.
    fw::ComPtr<ISimpleAudioVolume> session;
    bool mutedInFirst = false, tickedInSecond = false;
    test::Deadline deadline("the first launcher to show");

    auto isLauncherUp = [] {
        auto* l = dynamic_cast<CVxTranslucentDlg*>(AfxGetMainWnd());
        return l && l->m_hWnd && ::IsWindowVisible(l->m_hWnd);
    };
    auto isGameUp = [] {
        auto* g = dynamic_cast<CVxGameDlg*>(AfxGetMainWnd());
        return g && g->m_hWnd && ::IsWindowVisible(g->m_hWnd);
    };

    // In a game window: check the tray, then close it (the answerer says Yes).
    std::function<void(bool)> inGame = [&](bool ok) {
        trace.push_back(ok ? "game" : "no game");
        if (!ok) return;
        auto* g = dynamic_cast<CVxGameDlg*>(AfxGetMainWnd());
        games.push_back(g->m_hWnd);
        traysInGame.push_back(WineTrayIconCount());
        EXPECT_EQ(g_trayIconData.hWnd, g->m_hWnd);
        EXPECT_EQ(g_trayIconData.uID, 155u);
        EXPECT_EQ(g->m_strGameUrl, L"http://game.example/" + std::to_wstring(games.size()));
        if (games.size() == 1) {
            g->OnTrayCommand(ID_TRAY_MUTE);
            session = GameAudio::Instance().HeldSession();
            mutedInFirst = GameAudio::Instance().SessionMuted();
        } else {
            tickedInSecond = g->CurrentTrayMenuState().muted && GameAudio::Instance().SessionMuted();
        }
        deadline.Restart("Yes on game window " + std::to_string(games.size()) + "'s close to bring back a launcher");
        ::PostMessageW(g->m_hWnd, WM_CLOSE, 0, 0);
    };
    // In a launcher: switch to a game twice, then close it.
    std::function<void(bool)> inLauncher = [&](bool ok) {
        trace.push_back(ok ? "launcher" : "no launcher");
        if (!ok) return;
        traysInLauncher.push_back(WineTrayIconCount());
        if (games.size() < 2) {
            gametest::WaitThen(isGameUp, inGame);
            // Runs this launcher's successors nested inside this call.
            const size_t n = games.size() + 1;
            gametest::WaitThen([&, n] { return games.size() == n && isLauncherUp(); }, inLauncher, 6000);
            deadline.Restart("the switch to game window " + std::to_string(n));
            AfxGetTranslucentApp()->SwitchToGame(L"http://game.example/" + std::to_wstring(n), L"extra");
        } else {
            deadline.Restart("the last launcher's close to end the run");
            ::PostMessageW(AfxGetMainWnd()->m_hWnd, WM_CLOSE, 0, 0);
        }
    };
    gametest::WaitThen(isLauncherUp, inLauncher);
    AfxWinMain(::GetModuleHandleW(nullptr));

    EXPECT_EQ(trace, (std::vector<std::string>{"launcher", "game", "launcher", "game", "launcher"}));
    EXPECT_EQ(traysInLauncher, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(traysInGame, (std::vector<int>{1, 1}));
    EXPECT_EQ(probe.traysAtCreation, (std::vector<int>{0, 0, 0})) << "the icon goes before a launcher is created";
    ASSERT_EQ(games.size(), 2u);
    EXPECT_NE(games[0], games[1]);
    EXPECT_FALSE(::IsWindow(games[0]));
    EXPECT_FALSE(::IsWindow(games[1]));
    ASSERT_EQ(yes.boxes.size(), 2u) << "one confirmation per game close, none for the switches";
    EXPECT_EQ(yes.boxes[0].owner, games[0]);
    EXPECT_EQ(yes.boxes[1].owner, games[1]);
    EXPECT_EQ(WineTrayIconCount(), 0);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_TRUE(test::TakeQuitMessage());
    EXPECT_TRUE(mutedInFirst) << "a default audio device (the test command starts PulseAudio)";
    EXPECT_TRUE(tickedInSecond) << "the mute holds across the launcher into the second game";
    BOOL mutedAtEnd = TRUE;
    ASSERT_TRUE(session && SUCCEEDED(session->GetMute(&mutedAtEnd)));
    EXPECT_FALSE(mutedAtEnd) << "the application's end leaves the session as it was found";
    EXPECT_FALSE(GameAudio::Instance().HeldSession());
}

} // namespace

namespace {

// The document host flags the game window's browser gets from its site.
DWORD GameHostFlags(CVxGameDlg& dlg) {
    if (!dlg.m_wndBrowser.m_pCtrlSite) return 0;
    auto object = fw::QueryAs<IOleObject>(dlg.m_wndBrowser.m_pCtrlSite->GetControlUnknown(), IID_IOleObject);
    fw::ComPtr<IOleClientSite> client;
    if (!object || FAILED(object->GetClientSite(client.put())) || !client) return 0;
    auto host = fw::QueryAs<IDocHostUIHandler>(client.get(), IID_IDocHostUIHandler);
    DOCHOSTUIINFO info{sizeof info, 0, 0, nullptr, nullptr};
    return host && host->GetHostInfo(&info) == S_OK ? info.dwFlags : 0;
}

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon, &info)) return SIZE{};
    fw::UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    return SIZE{bm.bmWidth, info.hbmColor ? bm.bmHeight : bm.bmHeight / 2};
}

} // namespace

// Run at 96 DPI with the other tests, and again at 144 and 192 DPI (label "dpi").
TEST(HighDpiGame, PageFollowsTheSystemScaleAndTheTrayIconHasTheSmallIconSize) {
    struct Case {
        UINT dpi;
        DWORD hostFlags;
        int trayIcon;
    };
    // 0x40000000: DOCHOSTUIFLAG_DPI_AWARE. At 96 DPI the tray gets the large icon LoadIconW gives.
    const Case cases[] = {{96, 12, 32}, {144, 12 | 0x40000000u, 24}, {192, 12 | 0x40000000u, 32}};
    // The run was started for a DPI: a prefix that did not take it must not pass at 96.
    if (const UINT want = test::ExpectedDpi()) {
        ASSERT_EQ(SystemDpi(), want) << "the system DPI of this run";
    }
    const Case* expected = nullptr;
    for (const Case& c : cases) {
        if (c.dpi == SystemDpi()) expected = &c;
    }
    ASSERT_NE(expected, nullptr) << "no case for " << SystemDpi() << " DPI";
    CWinApp app;
    SpyGameDlg dlg;
    dlg.SetParams(L"http://game.example/play?sid=7", L"");
    app.m_pMainWnd = &dlg;
    DWORD flags = 0;
    SIZE tray{};
    test::Deadline deadline("the test's step in the game window's modal loop to end it");
    test::RunSoon([&] {
        flags = GameHostFlags(dlg);
        tray = IconSize(g_trayIconData.hIcon);
        dlg.EndDialog(1);
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_EQ(flags, expected->hostFlags);
    EXPECT_EQ(tray.cx, expected->trayIcon);
    EXPECT_EQ(tray.cy, expected->trayIcon);
}
