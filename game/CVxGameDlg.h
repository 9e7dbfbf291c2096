#pragma once
// The game window: an HTML dialog on the game address, with caption hint, window and tray
// icon, exit confirmation that hands back to a launcher, hotkeys and full-screen mode.
#include "app/ExitConfirmation.h"
#include "framework/CDHtmlDialog.h"
#include "game/PageZoom.h"
#include "game/TrayMenu.h"
#include "game/WorkerQueue.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

// Callback message of the tray icon.
constexpr UINT WM_GAME_TRAYICON = WM_USER + 1;
// Id of the tray icon (and of the icon resource it shows).
constexpr UINT kGameTrayIconId = 155;
// A worker thread's job is done; wParam: the ticket the window gave the job.
constexpr UINT WM_GAME_SCREENSHOT_WRITTEN = WM_APP + 0x51;
constexpr UINT WM_GAME_CACHE_CLEARED = WM_APP + 0x52;
// How long the end of the window waits for a screenshot still being written (a 3840 x 2160 PNG
// takes a few seconds on a slow machine), and for a cache clear (cut short harmlessly).
constexpr DWORD kScreenshotExitWaitMs = 15000;
constexpr DWORD kCacheClearExitWaitMs = 1000;

// The tray icon record of the current game window; zero until the first game window fills it.
extern NOTIFYICONDATAW g_trayIconData;

// Caption of the game window: product name, server name (when there is one) and the key hints.
std::wstring BuildGameTitle(const std::wstring& serverName);

class CVxGameDlg : public CDHtmlDialog {
public:
    explicit CVxGameDlg(CWnd* pParent = nullptr) noexcept;
    ~CVxGameDlg() override;

    // first: the game address; second: kept alongside, never read.
    void SetParams(std::wstring first, std::wstring second);

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    const DHtmlEventMapEntry* GetDHtmlEventMap() override;

    void ToggleFullScreen();
    void ReloadGame();
    LRESULT OnTrayIconNotify(WPARAM wParam, LPARAM lParam);

    // The tray icon's menu at the cursor, and what each of its commands does.
    void ShowTrayMenu();
    void OnTrayCommand(UINT id);
    // What the menu offers right now.
    TrayMenuState CurrentTrayMenuState();
    // The menu's commands.
    void ToggleMute();
    // The menu's "截图": the shot once nothing of the menu is left on the screen.
    void ScreenshotFromMenu();
    // Takes the page area now; the file is written on a worker thread, the balloon comes after.
    void SaveScreenshot();
    // Clears the cache on a worker thread; the reload and the balloon come after.
    void ClearCacheAndReload();
    // A cache clear or a screenshot's file is under way on a worker thread.
    bool CacheClearRunning() const noexcept { return static_cast<bool>(m_clear); }
    bool ScreenshotsPending() const noexcept { return !m_shots.empty(); }
    // Waits (bounded) for the worker threads: shots written, a clear cut short. True when done.
    bool FinishBackgroundWork(DWORD shotMs, DWORD clearMs) noexcept;

    // The last balloon the tray icon was asked to show, and whether the shell took it.
    std::wstring m_strLastBalloon;
    bool m_bLastBalloonShown = false;
    // Back from the tray, from a minimised or restored frame: maximised in the mode it had, on top.
    void ShowGame();

    // The player's page zoom in percent of the page's normal size.
    int PlayerZoom() const noexcept { return m_zoom.PlayerPercent(); }
    // A completed top-level document: the zoom is set again for it.
    void OnDocumentComplete(IDispatch* pDisp, const std::wstring& url) override;

    // Whether the tray icon was added and is still known to the shell.
    bool TrayIconPresent() const;
    // A navigation of the game page failed: traced with its status, nothing else.
    void OnNavigateError(IDispatch* pDisp, VARIANT* URL, VARIANT* TargetFrameName, VARIANT* StatusCode,
                         VARIANT_BOOL* Cancel);

    std::wstring m_strGameUrl;
    int m_bFullScreen = 0;
    std::wstring m_strServerName;
    std::wstring m_strExtraParam;
    HICON m_hIcon = nullptr; // shared resource icon: never destroyed here

    DECLARE_EVENTSINK_MAP()

protected:
    // Every navigation of this window's browser goes through here.
    virtual void NavigateBrowser(LPCWSTR lpszURL, DWORD dwFlags, LPCWSTR lpszTargetFrameName, LPCWSTR lpszHeaders,
                                 LPVOID lpvPostData, DWORD dwPostDataLen);

    void OnRButton(UINT nFlags, POINT point);
    void OnSize(UINT nType, int cx, int cy);
    void OnDestroy();
    void OnClose();
    void OnTaskbarCreated();
    void OnScreenshotWritten(WPARAM ticket);
    void OnCacheCleared(WPARAM ticket);
    // The end of the Windows session: the sound given back as at the end of the run.
    void OnEndSession(bool ending);

    // The page zoom sent to the browser (OLECMDID_OPTICAL_ZOOM, never stored for the player's
    // other browser windows); false, and traced, when the browser refuses it.
    bool SendZoom(int percent);
    // The zoom for the player's choice and the system DPI; afterLoad: for a new top-level document.
    void ApplyZoom(bool afterLoad);

private:
    void AddTrayIcon();
    // The icon the tray record carries: resource 155 at the size the tray shows it.
    static HICON TrayIcon();
    void DeleteTrayIcon();
    void HideToTray();
    // A balloon on the tray icon (a warning one for a failure).
    void ShowBalloon(const std::wstring& title, const std::wstring& text, bool failure);
    // The game is heard again once its window is back or gone (hidden, it is silent).
    void EndHiddenSilence();

    // Result of the last add of the tray icon; false again once it is deleted.
    bool m_bTrayIcon = false;
    // Asks before the player leaves; one box at a time.
    ExitConfirmation m_exitConfirmation;
    PageZoom m_zoom;
    // The tray menu is open (its loop runs inside ShowTrayMenu).
    bool m_bTrayMenuOpen = false;

    // Jobs given to the worker threads, each with its ticket; a result whose ticket is not here
    // (meant for another window, or already taken) is dropped.
    struct PendingShot;
    struct PendingClear;
    std::vector<std::shared_ptr<PendingShot>> m_shots;
    std::shared_ptr<PendingClear> m_clear;
    WorkerQueue m_shotWork;
    WorkerQueue m_cacheWork;
};
