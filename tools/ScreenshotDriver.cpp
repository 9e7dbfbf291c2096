// Drives the real application in-process for the README screenshots (tools/screenshots.sh):
// the launcher as it starts, then the game window after a hand-off made the way the page makes
// it (window.external.outLink through the browser site's external object), with its exit
// confirmation open, and with its tray menu open. The screen is read back through GDI and saved
// as PNG.
// Usage: OrvaneScreens.exe <launcher.png> <game.png> [<game-menu.png>]
#include "app/CTranslucentApp.h"
#include "framework/COleControlSite.h"
#include "framework/ComPtr.h"
#include "framework/Handles.h"
#include "game/CVxGameDlg.h"
#include "game/TrayMenu.h"
#include "launcher/CVxStandardDlg.h"
#include "launcher/CVxTranslucentDlg.h"

#include <windows.h>
#include "framework/GdiPlus.h"
#include <mshtmhst.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The server the sample launcher page lists first.
constexpr wchar_t kServerName[] = L"Server 1";
constexpr wchar_t kGameAddress[] = L"http://s1.example.com/play?server=1";
constexpr DWORD kSettleMs = 1500;   // first presentation, button images, message box painting
constexpr DWORD kDeadlineMs = 90000;

enum class Step { Launcher, HandOff, Game, Menu, Box, BackToLauncher, Done };

struct Driver {
    std::wstring launcherShot, gameShot, menuShot;
    Step step = Step::Launcher;
    DWORD started = 0;
    DWORD since = 0; // when the current step's window was first seen
    int result = 1;
};
Driver g_driver;

void Fail(const char* what) {
    std::fprintf(stderr, "screenshots: %s\n", what);
    std::fflush(stderr);
    ::ExitProcess(2);
}

CVxStandardDlg* CompanionOf(HWND background) {
    HWND h = nullptr;
    while ((h = ::FindWindowExW(nullptr, h, nullptr, nullptr)) != nullptr) {
        if (::GetWindow(h, GW_OWNER) != background) continue;
        if (auto* p = dynamic_cast<CVxStandardDlg*>(CWnd::FromHandlePermanent(h))) return p;
    }
    return nullptr;
}

HWND MessageBoxOf(HWND owner) {
    HWND h = nullptr;
    while ((h = ::FindWindowExW(nullptr, h, L"#32770", nullptr)) != nullptr) {
        if (::GetWindow(h, GW_OWNER) == owner && ::IsWindowVisible(h)) return h;
    }
    return nullptr;
}

bool EncoderFor(const wchar_t* mime, CLSID& clsid) {
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == mime) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

RECT ScreenRect() {
    return RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

// What the screen shows inside area, as a PNG file. Only the part on the screen can be read.
bool SaveScreen(const RECT& area, const std::wstring& path) {
    RECT rect{};
    const RECT screenRect = ScreenRect();
    if (!::IntersectRect(&rect, &area, &screenRect)) return false;
    const int cx = rect.right - rect.left, cy = rect.bottom - rect.top;
    fw::WindowDc screen(nullptr);
    fw::UniqueDc memory(::CreateCompatibleDC(screen.get()));
    fw::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), cx, cy));
    if (!memory || !bitmap) return false;
    {
        fw::SelectObjectGuard select(memory.get(), bitmap.get());
        if (!::BitBlt(memory.get(), 0, 0, cx, cy, screen.get(), rect.left, rect.top, SRCCOPY | CAPTUREBLT)) return false;
    }
    CLSID png{};
    if (!EncoderFor(L"image/png", png)) return false;
    Gdiplus::Bitmap image(bitmap.get(), nullptr);
    return image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

bool Settled(bool ready) {
    if (!ready) {
        g_driver.since = 0;
        return false;
    }
    if (g_driver.since == 0) g_driver.since = ::GetTickCount();
    return ::GetTickCount() - g_driver.since >= kSettleMs;
}

void Advance(Step next) {
    g_driver.step = next;
    g_driver.since = 0;
}

// window.external.outLink(name, address) as the browser's script engine calls it.
void CallOutLink(CVxStandardDlg* companion) {
    fw::ComPtr<IDispatch> external;
    if (companion->m_browser.m_pCtrlSite) {
        auto handler = fw::QueryAs<IDocHostUIHandler>(
            static_cast<IOleClientSite*>(companion->m_browser.m_pCtrlSite), IID_IDocHostUIHandler);
        if (handler) fw::Ignore(handler->GetExternal(external.put()));
    }
    if (!external) Fail("the launcher page has no external object");
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"outLink")};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) Fail("no outLink");
    // Script passes the arguments last first.
    VARIANT args[2];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = ::SysAllocString(kGameAddress);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = ::SysAllocString(kServerName);
    DISPPARAMS params{args, nullptr, 2, 0};
    // Returns when the game window has ended.
    const HRESULT hr = external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                        nullptr, nullptr);
    ::VariantClear(&args[0]);
    ::VariantClear(&args[1]);
    if (FAILED(hr)) Fail("outLink failed");
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (::GetTickCount() - g_driver.started > kDeadlineMs) Fail("timed out");
    CWnd* pMain = AfxGetMainWnd();
    HWND main = pMain ? pMain->m_hWnd : nullptr;
    switch (g_driver.step) {
    case Step::Launcher: {
        CVxStandardDlg* companion = dynamic_cast<CVxTranslucentDlg*>(pMain) ? CompanionOf(main) : nullptr;
        if (!Settled(companion && ::IsWindowVisible(main) && ::IsWindowVisible(companion->m_hWnd))) return;
        RECT rect{};
        fw::Ignore(::GetWindowRect(main, &rect));
        std::printf("screenshots: launcher at %ld,%ld %ldx%ld\n", rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top);
        if (!SaveScreen(rect, g_driver.launcherShot)) Fail("could not save the launcher screenshot");
        Advance(Step::HandOff);
        return;
    }
    case Step::HandOff: {
        CVxStandardDlg* companion = CompanionOf(main);
        if (!companion) Fail("launcher companion gone");
        Advance(Step::Game);
        CallOutLink(companion);
        return;
    }
    case Step::Game:
        if (!Settled(dynamic_cast<CVxGameDlg*>(pMain) && ::IsWindowVisible(main))) return;
        if (!g_driver.menuShot.empty()) {
            // A right-click on the tray icon, with the cursor over the page so the menu shows there.
            const RECT screen = ScreenRect();
            fw::Ignore(::SetCursorPos(screen.right - 360, screen.bottom - 120));
            fw::Ignore(::PostMessageW(main, WM_GAME_TRAYICON, kGameTrayIconId, WM_RBUTTONUP));
            Advance(Step::Menu);
            return;
        }
        // The frame's close button: the game window asks before it goes.
        fw::Ignore(::PostMessageW(main, WM_CLOSE, 0, 0));
        Advance(Step::Box);
        return;
    case Step::Menu: {
        // This timer runs inside the menu's own loop while it shows.
        HWND menu = ::FindWindowW(L"#32768", nullptr);
        if (!Settled(menu != nullptr && ::IsWindowVisible(menu))) return;
        if (!SaveScreen(ScreenRect(), g_driver.menuShot)) Fail("could not save the tray menu screenshot");
        fw::Ignore(::EndMenu());
        fw::Ignore(::PostMessageW(main, WM_CLOSE, 0, 0));
        Advance(Step::Box);
        return;
    }
    case Step::Box: {
        HWND box = dynamic_cast<CVxGameDlg*>(pMain) ? MessageBoxOf(main) : nullptr;
        if (!Settled(box != nullptr)) return;
        if (!SaveScreen(ScreenRect(), g_driver.gameShot)) Fail("could not save the game screenshot");
        fw::Ignore(::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0));
        Advance(Step::BackToLauncher);
        return;
    }
    case Step::BackToLauncher: {
        CVxStandardDlg* companion = dynamic_cast<CVxTranslucentDlg*>(pMain) ? CompanionOf(main) : nullptr;
        if (!companion) return;
        // The companion's cancel command closes the launcher without asking: the run ends.
        fw::Ignore(::PostMessageW(companion->m_hWnd, WM_COMMAND, IDCANCEL, 0));
        g_driver.result = 0;
        Advance(Step::Done);
        return;
    }
    case Step::Done:
        return;
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: OrvaneScreens.exe <launcher.png> <game.png> [<game-menu.png>]\n");
        return 2;
    }
    g_driver.launcherShot = argv[1];
    g_driver.gameShot = argv[2];
    if (argc == 4) g_driver.menuShot = argv[3];
    g_driver.started = ::GetTickCount();
    CTranslucentApp app;
    // A thread timer: every modal loop of the run, message boxes included, dispatches it.
    if (!::SetTimer(nullptr, 0, 100, &Tick)) return 2;
    fw::Ignore(AfxWinMain(::GetModuleHandleW(nullptr)));
    if (g_driver.result == 0) std::printf("screenshots: %ls, %ls\n", argv[1], argv[2]);
    return g_driver.result;
}
