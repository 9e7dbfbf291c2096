#pragma once
// Launcher companion: the controls over the launcher skin (the server-selection page in its
// browser, close and minimise buttons) and the page's external object, which hands a game
// address over to the game window.
#include "app/ExitConfirmation.h"
#include "framework/CButton.h"
#include "framework/CMFCButton.h"
#include "framework/UiScale.h"
#include "launcher/CWebBrowser2.h"
#include "translucent/CStandardDialog.h"

#include <string>

// Start page when config.ini names none.
std::wstring DefaultStartPage();
// The start page for a client_web value read from config.ini ("error": none configured).
std::wstring StartPageFor(const std::wstring& configured);

class CVxStandardDlg : public CStandardDialog {
public:
    explicit CVxStandardDlg(CWnd* pParent);
    ~CVxStandardDlg() override;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // The OK command closes nothing.
    void OnOK() override;
    // The page gets the external object without a security-zone check.
    BOOL IsExternalDispatchSafe() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // window.external.outLink(a, b): the game opens on the text of b; a is kept alongside.
    void outLink(const VARIANT& a, const VARIANT& b);
    // A completed navigation of the launcher's browser whose address holds the configured key
    // opens the game on the browser's top-level address.
    void OnNavigateComplete2(IDispatch* pDisp, VARIANT* URL);
    // A document of the launcher's browser finished loading: the top-level one (a reload makes a
    // new document without NavigateComplete2) is zoomed again; a frame's is left alone.
    void OnBrowserDocumentComplete(IDispatch* pDisp, VARIANT* URL);
    // A navigation of the launcher's page failed: traced with its status, nothing else.
    void OnNavigateError(IDispatch* pDisp, VARIANT* URL, VARIANT* TargetFrameName, VARIANT* StatusCode,
                         VARIANT_BOOL* Cancel);

    // Whether this launcher has handed over (it does so at most once).
    bool HasHandedOff() const noexcept { return m_bHandedOff; }
    // The scale of the background this companion lies over (1 at 96 DPI).
    UiScale LauncherScale() const noexcept;

    CButton m_btnSite;
    CWebBrowser2 m_browser;
    CMFCButton m_btnMinimize;
    CMFCButton m_btnClose;

    DECLARE_DISPATCH_MAP()
    DECLARE_EVENTSINK_MAP()

protected:
    void OnBtnSite();
    void OnBtnClose();
    void OnBtnMinimize();
    // Stops the page, closes and detaches the browser and this dialog, then asks for the game
    // window.
    virtual void HandOff(std::wstring first, std::wstring second);
    // Above 96 DPI: the page zoomed by the launcher's scale (OLECMDID_OPTICAL_ZOOM, not stored
    // for the player); a refusal is traced.
    void ZoomPage();
    // Stops the page's downloads, sounds and animations as the hand-off begins, and traces it.
    void StopPage() noexcept;

private:
    bool m_bHandedOff = false;
    // Asks before the player leaves; one box at a time.
    ExitConfirmation m_exitConfirmation;
};
