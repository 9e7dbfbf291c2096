#include "game/CVxGameDlg.h"

#include "app/CTranslucentApp.h"
#include "app/ConfigStore.h"
#include "diag/DiagnosisCopy.h"
#include "framework/CWinApp.h"
#include "framework/Handles.h"
#include "framework/OpticalZoom.h"
#include "framework/Trace.h"
#include "framework/UiScale.h"
#include "framework/Variant.h"
#include "game/CacheCleaner.h"
#include "game/GameAudio.h"
#include "game/Screenshot.h"
#include "game/TrayMenu.h"
#include "resource.h"

#include <algorithm>
#include <atomic>
#include <cwchar>

#include <windowsx.h>

#include <utility>

NOTIFYICONDATAW g_trayIconData{};

// The record the shell reads is the version-3 one, up to guidItem; its size differs by platform.
static_assert(sizeof(void*) != 4 || NOTIFYICONDATAW_V3_SIZE == 952, "32-bit version-3 tray record");
static_assert(sizeof(void*) != 8 || NOTIFYICONDATAW_V3_SIZE == 968, "64-bit version-3 tray record");

namespace {

constexpr wchar_t kKeyHints[] = L"  【F5刷新】【F11全屏】【F12最小托盘】";

// Leaving full screen first sets a frame this many pixels taller than the full-screen client area.
constexpr int kWindowedExtraHeight = 22;

// Broadcast by the shell when its taskbar (re)starts; all tray icons are gone by then.
UINT TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// The timer that holds the menu's screenshot until the system's fade of the chosen item is over.
constexpr UINT_PTR kScreenshotTimerId = 0x5C;
// Longer than the fade Windows draws when SPI_GETSELECTIONFADE is on.
constexpr UINT kSelectionFadeMs = 400;

// Tickets of worker jobs: unique in the process, so that a result never matches a job of another
// window.
WPARAM NextTicket() noexcept {
    static std::atomic<WPARAM> last{0};
    return ++last;
}

// TranslateMessage and DispatchMessageW on the key itself, bypassing the dialog manager.
void DeliverDirectly(const MSG* pMsg) {
    fw::Ignore(::TranslateMessage(pMsg));
    fw::Ignore(::DispatchMessageW(pMsg));
}

} // namespace

std::wstring BuildGameTitle(const std::wstring& serverName) {
    std::wstring title = L"Orvane";
    if (!serverName.empty()) {
        if (serverName.find_first_of(L"sS") == std::wstring::npos) title += L's';
        title += serverName;
        title += L"服";
    }
    title += kKeyHints;
    return title;
}

CVxGameDlg::CVxGameDlg(CWnd* pParent) noexcept : CDHtmlDialog(IDD_VXGAME_DIALOG, IDR_HTML_GAME, pParent) {
    // Above 96 DPI the game page follows the system scale, as the system's own browser zooms
    // pages there. The engine reads the host's flags when it makes each document, so every page
    // of this window (reloads and the game's own navigations included) is zoomed without a call
    // after each load. At 96 DPI the flags stay as they were.
    if (SystemDpi() > 96) m_dwHostFlags |= DOCHOSTUIFLAG_DPI_AWARE;
}

// A shot taken on the window's thread, its file written on a worker thread.
struct CVxGameDlg::PendingShot {
    WPARAM ticket = 0;
    screenshot::Shot shot;
    std::wstring folder;
    screenshot::Written written; // set by the worker before it posts
};

// A clear of the game's cache on a worker thread.
struct CVxGameDlg::PendingClear {
    WPARAM ticket = 0;
    std::wstring url;
    CacheClearResult result; // set by the worker before it posts
};

CVxGameDlg::~CVxGameDlg() {
    // A shot still being written is finished, never left as a temporary file.
    fw::Ignore(FinishBackgroundWork(kScreenshotExitWaitMs, kCacheClearExitWaitMs));
}

bool CVxGameDlg::FinishBackgroundWork(DWORD shotMs, DWORD clearMs) noexcept {
    const bool shots = m_shotWork.Finish(shotMs);
    const bool clear = m_cacheWork.Finish(clearMs);
    if (!shots) fw::Trace(L"a screenshot was still being written after ", std::to_wstring(shotMs), L" ms");
    return shots && clear;
}

void CVxGameDlg::SetParams(std::wstring first, std::wstring second) {
    m_strGameUrl = std::move(first);
    std::wstring serviceKey = ReadConfigValue(L"service_key");
    if (serviceKey == kConfigMissing) serviceKey = L"server";
    // Read for its fallback only; nothing in the window uses it.
    fw::Ignore(serviceKey);
    m_strExtraParam = std::move(second);
}

BEGIN_EVENTSINK_MAP(CVxGameDlg, CDHtmlDialog)
    ON_EVENT(CVxGameDlg, CDHtmlDialog::kBrowserId, 271 /* NavigateError */, OnNavigateError,
             VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
END_EVENTSINK_MAP()

void CVxGameDlg::OnNavigateError(IDispatch*, VARIANT* URL, VARIANT*, VARIANT* StatusCode, VARIANT_BOOL*) {
    // For the trace only: what the browser does about the error stays its own.
    fw::Trace(L"game page: navigation error ", fw::TraceStatus(StatusCode), L" at ", fw::Quoted(fw::VariantText(URL)));
}

const DHtmlEventMapEntry* CVxGameDlg::GetDHtmlEventMap() {
    // No element of the game page has a handler here: only the end marker.
    static const DHtmlEventMapEntry kEventMap[] = {DHtmlEventMapEntry{}};
    return kEventMap;
}

BOOL CVxGameDlg::OnInitDialog() {
    CDHtmlDialog::OnInitDialog();
    // A base that could not host the browser has taken the window down: nothing to set up.
    if (!m_hWnd) return TRUE;

    AddTrayIcon();

    CWinApp* pApp = AfxGetApp();
    m_hIcon = pApp ? pApp->LoadIcon(IDR_MAINFRAME)
                   : ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    fw::Ignore(::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon)));
    fw::Ignore(::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon)));

    // The template is a popup with caption; add the full resizable frame (no frame refresh:
    // the maximise below recomputes it).
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    fw::Ignore(::SetWindowLongW(m_hWnd, GWL_STYLE, style | static_cast<LONG>(WS_OVERLAPPEDWINDOW)));

    // Silent: script errors and other browser dialogs stay hidden. The value is 1, not VARIANT_TRUE.
    if (m_pBrowserApp) fw::Ignore(m_pBrowserApp->put_Silent(static_cast<VARIANT_BOOL>(1)));

    fw::Ignore(ShowWindow(SW_MAXIMIZE));
    SetWindowText(BuildGameTitle(m_strServerName));
    NavigateBrowser(m_strGameUrl.c_str(), 0, nullptr, nullptr, nullptr, 0);
    return TRUE;
}

void CVxGameDlg::NavigateBrowser(LPCWSTR lpszURL, DWORD dwFlags, LPCWSTR lpszTargetFrameName, LPCWSTR lpszHeaders,
                                 LPVOID lpvPostData, DWORD dwPostDataLen) {
    CDHtmlDialog::Navigate(lpszURL, dwFlags, lpszTargetFrameName, lpszHeaders, lpvPostData, dwPostDataLen);
}

void CVxGameDlg::ReloadGame() {
    // Back to the hand-off address, whatever the page shows now.
    fw::Trace(L"F5 reloads ", fw::Quoted(m_strGameUrl));
    NavigateBrowser(m_strGameUrl.c_str(), 0, nullptr, nullptr, nullptr, 0);
}

BOOL CVxGameDlg::PreTranslateMessage(MSG* pMsg) {
    // Ctrl + wheel and Ctrl + '+', '=', '-', '0' zoom the page and never reach it (the engine would
    // zoom on its own and store the zoom); every other Ctrl key goes on as before.
    if (pMsg && (pMsg->message == WM_KEYDOWN || pMsg->message == WM_MOUSEWHEEL)) {
        const PageZoom::Action action =
            m_zoom.FromMessage(*pMsg, ::GetKeyState(VK_CONTROL) < 0, ::GetKeyState(VK_MENU) < 0);
        if (action != PageZoom::Action::None) {
            if (action != PageZoom::Action::Pending) {
                if (m_zoom.Apply(action, SystemDpi())) {
                    ApplyZoom(false);
                } else {
                    fw::Trace(L"game page zoom stays at ", std::to_wstring(m_zoom.PlayerPercent()), L" %");
                }
            }
            return TRUE;
        }
    }
    if (pMsg && pMsg->message == WM_KEYDOWN) {
        switch (pMsg->wParam) {
        case VK_RETURN:
        case VK_F10:
            // Kept from the dialog manager, which would take Enter as the default button.
            DeliverDirectly(pMsg);
            return TRUE;
        case VK_ESCAPE:
            if (m_bFullScreen == 1) ToggleFullScreen();
            // Kept from the dialog manager, which would cancel the dialog.
            DeliverDirectly(pMsg);
            return TRUE;
        case VK_F5:
            ReloadGame();
            return TRUE;
        case VK_F11:
            ToggleFullScreen();
            break;
        case VK_F12:
            HideToTray();
            return TRUE;
        default:
            break;
        }
    }
    return CDHtmlDialog::PreTranslateMessage(pMsg);
}

void CVxGameDlg::OnDocumentComplete(IDispatch* pDisp, const std::wstring&) {
    // A frame's document keeps the zoom of the page around it.
    if (IsOwnBrowser(pDisp)) ApplyZoom(true);
}

void CVxGameDlg::ApplyZoom(bool afterLoad) {
    const UINT dpi = SystemDpi();
    const int percent = m_zoom.EnginePercent(dpi);
    if (afterLoad) {
        // At 96 DPI a page at its normal size needs no call.
        if (dpi <= 96 && m_zoom.PlayerPercent() == 100) return;
        // The engine may not apply DOCHOSTUIFLAG_DPI_AWARE to a new document; its documented
        // remedy is to set the zoom to one less than wanted, then to the zoom wanted.
        if (dpi > 96) fw::Ignore(SendZoom(percent - 1));
    }
    if (SendZoom(percent)) {
        fw::Trace(L"game page zoom ", std::to_wstring(m_zoom.PlayerPercent()), L" % (", std::to_wstring(percent),
                  L" % at ", std::to_wstring(dpi), L" DPI)", afterLoad ? L" for the new page" : L"");
    }
}

bool CVxGameDlg::SendZoom(int percent) {
    if (!m_wndBrowser.m_hWnd) return false;
    const HRESULT refused = fw::SetOpticalZoom(m_wndBrowser, percent);
    if (SUCCEEDED(refused)) return true;
    fw::Trace(L"game page zoom ", std::to_wstring(percent), L" % refused: ", fw::TraceHresult(refused));
    return false;
}

void CVxGameDlg::ToggleFullScreen() {
    const int wasFullScreen = std::exchange(m_bFullScreen, 0);
    if (wasFullScreen != 0) {
        const int cx = ::GetSystemMetrics(SM_CXFULLSCREEN);
        const int cy = ::GetSystemMetrics(SM_CYFULLSCREEN) + kWindowedExtraHeight;
        fw::Ignore(MoveWindow(0, 0, cx, cy, TRUE));
        fw::Ignore(ModifyStyle(WS_POPUP, WS_OVERLAPPEDWINDOW, 0));
        fw::Ignore(ShowWindow(SW_RESTORE));
        // The restore may have touched the style again.
        fw::Ignore(ModifyStyle(WS_POPUP, WS_OVERLAPPEDWINDOW, 0));
        fw::Ignore(ShowWindow(SW_MAXIMIZE));
    } else {
        fw::Ignore(ShowWindow(SW_RESTORE));
        m_bFullScreen = 1;
        fw::Ignore(ModifyStyle(WS_OVERLAPPEDWINDOW, WS_POPUP, 0));
        fw::Ignore(ShowWindow(SW_MAXIMIZE));
    }
}

void CVxGameDlg::HideToTray() {
    // Hidden, the window has no taskbar button: without the tray icon nothing could show it again.
    if (!TrayIconPresent()) return;
    fw::Ignore(ShowWindow(SW_HIDE));
    // Out of sight, out of hearing: the point of hiding the game.
    GameAudio::Instance().SetHidden(true);
}

void CVxGameDlg::EndHiddenSilence() {
    GameAudio& audio = GameAudio::Instance();
    if (audio.Hidden()) audio.SetHidden(false);
}

bool CVxGameDlg::TrayIconPresent() const {
    if (!m_bTrayIcon || g_trayIconData.hWnd != m_hWnd) return false;
    // A modify succeeds only for an icon the shell still has (it loses all of them when it restarts).
    return ::Shell_NotifyIconW(NIM_MODIFY, &g_trayIconData) != FALSE;
}

void CVxGameDlg::AddTrayIcon() {
    g_trayIconData.cbSize = static_cast<DWORD>(NOTIFYICONDATAW_V3_SIZE);
    g_trayIconData.hWnd = m_hWnd;
    g_trayIconData.uID = kGameTrayIconId;
    g_trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP; // the tip text stays empty
    g_trayIconData.uCallbackMessage = WM_GAME_TRAYICON;
    g_trayIconData.hIcon = TrayIcon();
    m_bTrayIcon = ::Shell_NotifyIconW(NIM_ADD, &g_trayIconData) != FALSE;
}

HICON CVxGameDlg::TrayIcon() {
    HINSTANCE hInstance = AfxGetInstanceHandle();
    // LoadIconW gives the large-icon size, which the shell shrinks. Above 96 DPI the icon is made
    // at the small-icon size the system asks for at its DPI, from the resource's own image
    // rather than from a large icon scaled first. Shared, like the one LoadIconW gives.
    if (SystemDpi() > 96) {
        if (HANDLE icon = ::LoadImageW(hInstance, MAKEINTRESOURCEW(kGameTrayIconId), IMAGE_ICON,
                                       ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED)) {
            return static_cast<HICON>(icon);
        }
    }
    return ::LoadIconW(hInstance, MAKEINTRESOURCEW(kGameTrayIconId));
}

void CVxGameDlg::DeleteTrayIcon() {
    fw::Ignore(::Shell_NotifyIconW(NIM_DELETE, &g_trayIconData));
    m_bTrayIcon = false;
}

LRESULT CVxGameDlg::OnTrayIconNotify(WPARAM wParam, LPARAM lParam) {
    if (wParam != kGameTrayIconId) return 1;
    if (lParam == WM_LBUTTONUP) ShowGame();
    if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU) ShowTrayMenu();
    return 0;
}

void CVxGameDlg::ShowGame() {
    fw::Ignore(ShowWindow(SW_MAXIMIZE));
    fw::Ignore(BringWindowToTop());
    EndHiddenSilence();
}

void CVxGameDlg::ShowTrayMenu() {
    // One menu at a time: a second right-click while it shows is the menu's own business.
    if (m_bTrayMenuOpen || !m_hWnd) return;
    fw::UniqueMenu menu = BuildTrayMenu(CurrentTrayMenuState());
    if (!menu) {
        fw::Trace(L"tray menu not shown: no memory for it");
        return;
    }
    POINT at{};
    fw::Ignore(::GetCursorPos(&at));
    m_bTrayMenuOpen = true;
    const UINT command = TrackTrayMenu(m_hWnd, menu.get(), at);
    m_bTrayMenuOpen = false;
    if (command != 0) OnTrayCommand(command);
}

TrayMenuState CVxGameDlg::CurrentTrayMenuState() {
    TrayMenuState state;
    GameAudio& audio = GameAudio::Instance();
    state.soundAvailable = audio.Available();
    // Read from the session each time: the player may have changed it in the volume mixer.
    state.muted = state.soundAvailable && audio.PlayerMuted();
    state.clearingCache = CacheClearRunning();
    state.canScreenshot = m_hWnd && ::IsWindowVisible(m_hWnd) && !::IsIconic(m_hWnd);
    return state;
}

void CVxGameDlg::ToggleMute() {
    GameAudio& audio = GameAudio::Instance();
    // Without a device the item is greyed; the sound switch says why in its own line.
    if (audio.Available()) fw::Ignore(audio.SetPlayerMuted(!audio.PlayerMuted()));
}

void CVxGameDlg::ScreenshotFromMenu() {
    // The menu itself opens without animation (TrackTrayMenu) and is gone when its call returns,
    // but with the system's selection fade on, a copy of the chosen item fades out over the page
    // for a moment after: the shot waits until that is over.
    BOOL fade = FALSE;
    if (::SystemParametersInfoW(SPI_GETSELECTIONFADE, 0, &fade, 0) && fade &&
        ::SetTimer(m_hWnd, kScreenshotTimerId, kSelectionFadeMs, nullptr)) {
        return;
    }
    SaveScreenshot();
}

void CVxGameDlg::SaveScreenshot() {
    if (!m_wndBrowser.m_hWnd) return;
    // What the screen shows: paint first whatever the closed menu uncovered.
    fw::Ignore(::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN));
    auto job = std::make_shared<PendingShot>();
    job->ticket = NextTicket();
    // At once, here: the picture and the clipboard copy (a copy of the pixels, as quick as the
    // capture itself).
    job->shot = screenshot::Take(m_wndBrowser.m_hWnd, m_hWnd);
    if (!job->shot.image) {
        ShowBalloon(job->shot.refused.balloonTitle, job->shot.refused.balloonText, true);
        return;
    }
    job->folder = ScreenshotFolder();
    const HWND target = m_hWnd;
    const bool started = m_shotWork.Post([job, target] {
        job->written = screenshot::Write(job->shot, job->folder);
        fw::Ignore(::PostMessageW(target, WM_GAME_SCREENSHOT_WRITTEN, job->ticket, 0));
    });
    if (!started) {
        // No thread to be had: written here, late but written.
        const ScreenshotResult result = screenshot::Save(job->shot, job->folder);
        ShowBalloon(result.balloonTitle, result.balloonText, !result.saved);
        return;
    }
    m_shots.push_back(std::move(job));
}

void CVxGameDlg::OnScreenshotWritten(WPARAM ticket) {
    const auto it = std::find_if(m_shots.begin(), m_shots.end(),
                                 [ticket](const std::shared_ptr<PendingShot>& job) { return job->ticket == ticket; });
    if (it == m_shots.end()) return; // another window's, or taken already
    const std::shared_ptr<PendingShot> job = *it;
    m_shots.erase(it);
    const ScreenshotResult result = screenshot::Announce(job->shot, job->folder, job->written);
    ShowBalloon(result.balloonTitle, result.balloonText, !result.saved);
}

void CVxGameDlg::ClearCacheAndReload() {
    // The item is greyed meanwhile; a command that comes all the same waits for nothing.
    if (m_clear) {
        fw::Trace(L"cache clear asked while one runs: ignored");
        return;
    }
    auto job = std::make_shared<PendingClear>();
    job->ticket = NextTicket();
    job->url = m_strGameUrl;
    const HWND target = m_hWnd;
    const bool started = m_cacheWork.Post([job, target] {
        try {
            job->result = WalkGameCache(job->url, kCacheClearLimitMs);
        } catch (...) {
            job->result.walkError = ERROR_NOT_ENOUGH_MEMORY;
        }
        fw::Ignore(::PostMessageW(target, WM_GAME_CACHE_CLEARED, job->ticket, 0));
    });
    if (!started) {
        fw::Trace(L"cache not cleared: no worker thread (error ", std::to_wstring(::GetLastError()), L")");
        ShowBalloon(L"缓存未清除", L"无法启动清除，请稍后再试", true);
        return;
    }
    m_clear = std::move(job);
}

void CVxGameDlg::OnCacheCleared(WPARAM ticket) {
    if (!m_clear || m_clear->ticket != ticket) return; // another window's, or taken already
    const std::shared_ptr<PendingClear> job = std::move(m_clear);
    const CacheClearResult& result = job->result;
    TraceCacheClear(job->url, result);
    const std::wstring count = L"已删除 " + std::to_wstring(result.deleted) + L" 项";
    if (result.host.empty()) {
        ShowBalloon(L"缓存未清除", L"游戏地址中没有主机名", true);
    } else if (result.timedOut) {
        ShowBalloon(L"缓存未完全清除", count + L"；清除超过 " + std::to_wstring(result.budgetMs / 1000) + L" 秒，已停止",
                    true);
    } else if (result.walkError) {
        ShowBalloon(L"缓存未完全清除", count + L"；读取缓存出错（错误 " + std::to_wstring(result.walkError) + L"）", true);
    } else if (result.failed) {
        ShowBalloon(L"缓存未完全清除", count + L"；" + std::to_wstring(result.failed) + L" 项无法删除", true);
    } else {
        ShowBalloon(L"缓存已清除", count, false);
    }
    ReloadGame();
}

void CVxGameDlg::OnEndSession(bool ending) {
    if (!ending) return;
    fw::Trace(L"the Windows session ends: the sound given back, screenshots finished");
    // Windows ends the process once this returns: nothing after it runs, so the end of the run
    // happens here.
    fw::Ignore(FinishBackgroundWork(kScreenshotExitWaitMs, 0));
    EndHiddenSilence();
    GameAudio::Instance().Shutdown();
}

void CVxGameDlg::ShowBalloon(const std::wstring& title, const std::wstring& text, bool failure) {
    m_strLastBalloon = title + L"\n" + text;
    m_bLastBalloonShown = false;
    if (!TrayIconPresent()) return;
    // A copy: the record the other calls use keeps its own flags.
    NOTIFYICONDATAW balloon = g_trayIconData;
    balloon.uFlags = NIF_INFO;
    fw::Ignore(wcsncpy_s(balloon.szInfoTitle, title.c_str(), _TRUNCATE));
    fw::Ignore(wcsncpy_s(balloon.szInfo, text.c_str(), _TRUNCATE));
    balloon.dwInfoFlags = failure ? NIIF_WARNING : NIIF_INFO;
    m_bLastBalloonShown = ::Shell_NotifyIconW(NIM_MODIFY, &balloon) != FALSE;
}

void CVxGameDlg::OnTrayCommand(UINT id) {
    switch (id) {
    case ID_TRAY_SHOW:
        fw::Trace(L"tray menu: show the game");
        ShowGame();
        break;
    case ID_TRAY_MUTE:
        ToggleMute();
        break;
    case ID_TRAY_SCREENSHOT:
        ScreenshotFromMenu();
        break;
    case ID_TRAY_CLEAR_CACHE:
        fw::Trace(L"tray menu: clear the cache and reload");
        ClearCacheAndReload();
        break;
    case ID_TRAY_COPY_DIAGNOSIS:
        fw::Trace(L"tray menu: copy the diagnosis");
        // On its own thread; WM_DIAGNOSIS_COPIED comes back when it is on the clipboard.
        fw::Ignore(StartDiagnosisCopy(m_hWnd, CurrentDiagnosisSettings()));
        break;
    case ID_TRAY_EXIT:
        // As the close box: the same confirmation, asked once the menu's call has returned.
        fw::Trace(L"tray menu: leave the game");
        fw::Ignore(::PostMessageW(m_hWnd, WM_CLOSE, 0, 0));
        break;
    default:
        break;
    }
}

void CVxGameDlg::OnTaskbarCreated() {
    // Only the window the record describes owns an icon to restore.
    if (g_trayIconData.hWnd != m_hWnd || !m_hWnd) return;
    // An icon the shell kept makes the add fail; the modify then confirms it is there.
    m_bTrayIcon = ::Shell_NotifyIconW(NIM_ADD, &g_trayIconData) != FALSE ||
                  ::Shell_NotifyIconW(NIM_MODIFY, &g_trayIconData) != FALSE;
}

void CVxGameDlg::OnRButton(UINT, POINT) {
    // Swallowed: default processing would raise WM_CONTEXTMENU on the dialog's own surface.
}

void CVxGameDlg::OnSize(UINT nType, int cx, int cy) {
    CDHtmlDialog::OnSize(nType, cx, cy);
    fw::Ignore(::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon)));
}

void CVxGameDlg::OnDestroy() {
    CDHtmlDialog::OnDestroy();
    DeleteTrayIcon();
    EndHiddenSilence();
}

void CVxGameDlg::OnClose() {
    // One confirmation at a time: a close request that arrives while the box is up is dropped.
    if (!m_exitConfirmation.Ask(m_hWnd)) return;
    // The icon goes before the launcher shows, and the launcher is heard even if the game was hidden.
    DeleteTrayIcon();
    EndHiddenSilence();
    // The game ends with its window: its page (script, timers, connections, sound) is closed
    // before the launcher comes. The switch detaches this object, so no destroy handling of ours
    // would ever close it; the control objects themselves go with this object.
    CloseHostedControls();
    if (CTranslucentApp* pApp = AfxGetTranslucentApp()) pApp->SwitchToLauncher();
    // After a switch this object owns no window any more: there is nothing left to process.
    if (m_hWnd) fw::Ignore(Default());
}

LRESULT CVxGameDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TaskbarCreatedMessage() && message != 0) {
        OnTaskbarCreated();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        return Default();
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        OnRButton(static_cast<UINT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_GAME_TRAYICON:
        return OnTrayIconNotify(wParam, lParam);
    case WM_DIAGNOSIS_COPIED:
        ShowBalloon(wParam ? L"诊断信息已复制" : L"诊断信息复制失败",
                    wParam ? L"可粘贴到聊天或邮件中发给运营方" : L"剪贴板被其他程序占用, 请稍后再试", wParam == FALSE);
        return 0;
    case WM_ACTIVATE:
        return Default();
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_GAME_SCREENSHOT_WRITTEN:
        OnScreenshotWritten(wParam);
        return 0;
    case WM_GAME_CACHE_CLEARED:
        OnCacheCleared(wParam);
        return 0;
    case WM_TIMER:
        if (wParam != kScreenshotTimerId) break;
        fw::Ignore(::KillTimer(m_hWnd, kScreenshotTimerId));
        SaveScreenshot();
        return 0;
    case WM_QUERYENDSESSION:
        // The game never holds the system up.
        return TRUE;
    case WM_ENDSESSION:
        OnEndSession(wParam != FALSE);
        return 0;
    default:
        break;
    }
    return CDHtmlDialog::WindowProc(message, wParam, lParam);
}
