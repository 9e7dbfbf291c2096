#pragma once
// The game window: an HTML dialog on the game address, with caption hint, window and tray
// icon, exit confirmation that hands back to a launcher, hotkeys and full-screen mode.
#include "app/ExitConfirmation.h"
#include "framework/CDHtmlDialog.h"
#include "game/PageZoom.h"
#include "game/TrayMenu.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

// Callback message of the tray icon.
constexpr UINT WM_GAME_TRAYICON = WM_USER + 1;
// Id of the tray icon (and of the icon resource it shows).
constexpr UINT kGameTrayIconId = 155;

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
    void SaveScreenshot();
    void ClearCacheAndReload();

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
};
