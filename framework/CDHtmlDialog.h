#pragma once
// HTML dialogs: a dialog whose client area is one WebBrowser control (id 102), with the
// document-host hooks (flags, context menu, external object) that the framework's control site
// calls for every control the dialog hosts, its own browser and template controls alike.
#include "framework/CDialog.h"
#include "framework/ComPtr.h"
#include "framework/Variant.h"

#include <exdisp.h>
#include <mshtmhst.h>

#include <string>

// Entry of a table of events of page elements; the system declares only empty tables.
struct DHtmlEventMapEntry {
    int nType; // 0 ends the table
};

class CDHtmlEventSink {
public:
    virtual ~CDHtmlEventSink() = default;
    virtual const DHtmlEventMapEntry* GetDHtmlEventMap();
};

class CDHtmlDialog : public CDialog, public CDHtmlEventSink {
public:
    // Id of the dialog's own browser control.
    static constexpr UINT kBrowserId = 102;

    CDHtmlDialog(UINT nIDTemplate, UINT nHtmlResID = 0, CWnd* pParentWnd = nullptr) noexcept;
    ~CDHtmlDialog() override;

    // CDialog::OnInitDialog, then the browser over the whole client area (m_wndBrowser,
    // m_pBrowserApp) showing the HTML resource m_nHtmlResID (when not 0). When the browser
    // cannot be made, the dialog window is destroyed and TRUE still returned.
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Gives the UI-active hosted control the first look at its keys (Tab, arrows, Enter in the page).
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // Navigates the dialog's own browser. Flags go as VT_I4; target frame and headers as VT_BSTR
    // (VT_EMPTY when null); post data as a VT_ARRAY|VT_UI1 SAFEARRAY (VT_EMPTY when none).
    void Navigate(LPCWSTR lpszURL, DWORD dwFlags = 0, LPCWSTR lpszTargetFrameName = nullptr,
                  LPCWSTR lpszHeaders = nullptr, LPVOID lpvPostData = nullptr, DWORD dwPostDataLen = 0);
    // The VARIANTs Navigate hands to IWebBrowser2::Navigate.
    struct NavigateArgs {
        fw::Variant flags, targetFrame, postData, headers;
    };
    static NavigateArgs MakeNavigateArgs(DWORD dwFlags, LPCWSTR lpszTargetFrameName, LPCWSTR lpszHeaders,
                                         LPCVOID lpvPostData, DWORD dwPostDataLen);
    // Shows HTML resource nRes of the resource module ("res://<module path>/23/<id>").
    BOOL LoadFromResource(UINT nRes);
    // The res:// address of an HTML resource of the resource module.
    static std::wstring ResourceUrl(UINT nRes);

    // Ends the page and every other control this dialog hosts: each is stopped, cut from its
    // events, closed and taken off its site (CControlContainer::CloseAll). The objects stay
    // referenced until this dialog object goes, so a close that arrives through the browser's own
    // window procedure never frees the control under that procedure's frame.
    void CloseHostedControls() noexcept;

    // The object handed to the page as window.external (null: none). Takes a reference of its
    // own: pass GetIDispatch(FALSE), or release the reference GetIDispatch(TRUE) gave.
    void SetExternalDispatch(IDispatch* pdispExternal);
    // TRUE: the external object is handed out without asking the security manager.
    virtual BOOL IsExternalDispatchSafe();
    // Safe, or the document's security manager allows URLACTION_ACTIVEX_OVERRIDE_OBJECT_SAFETY
    // (0x1201); no reachable security manager denies.
    BOOL CanAccessExternal();

    // Document-host hooks, as the control site of every control this dialog hosts calls them.
    virtual HRESULT GetHostInfo(DOCHOSTUIINFO* pInfo);
    virtual HRESULT ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved, IDispatch* pdispReserved);
    virtual HRESULT GetExternal(IDispatch** ppDispatch);

    // Navigation of the dialog's own browser (control 102 only); the defaults do nothing.
    virtual void OnBeforeNavigate(IDispatch* pDisp, const std::wstring& url);
    virtual void OnNavigateComplete(IDispatch* pDisp, const std::wstring& url);
    virtual void OnDocumentComplete(IDispatch* pDisp, const std::wstring& url);

    UINT m_nHtmlResID = 0;
    DWORD m_dwHostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    fw::ComPtr<IWebBrowser2> m_pBrowserApp;
    CWnd m_wndBrowser;
    // Address of the top-level document of the own browser, from its completed navigations.
    std::wstring m_strCurrentUrl;
    // The own browser's document, when it has one (its security manager decides CanAccessExternal).
    fw::ComPtr<IDispatch> m_pHtmlDoc;

protected:
    void OnSize(UINT nType, int cx, int cy);
    void OnDestroy();

    // Event entries of the own browser (see the table in the .cpp).
    void OnBrowserBeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT* flags, VARIANT* targetFrame,
                                  VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel);
    void OnBrowserNavigateComplete2(IDispatch* pDisp, VARIANT* url);
    void OnBrowserDocumentComplete(IDispatch* pDisp, VARIANT* url);

    // Whether pDisp is the own browser (the top-level frame) rather than a frame of its page.
    bool IsOwnBrowser(IDispatch* pDisp) const noexcept;

    DECLARE_EVENTSINK_MAP()

private:
    fw::ComPtr<IDispatch> m_pExternal;
};
