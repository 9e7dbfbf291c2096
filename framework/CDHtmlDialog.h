#pragma once
// HTML dialogs: a dialog whose client area is one WebBrowser control (id 102), with the
// document-host hooks (flags, context menu, external object) of the framework's control site.
#include "framework/CDialog.h"
#include "framework/ComPtr.h"

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

    // Creates the browser over the whole client area, obtains m_pBrowserApp and shows the HTML resource.
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void Navigate(LPCWSTR lpszURL, DWORD dwFlags = 0, LPCWSTR lpszTargetFrameName = nullptr,
                  LPCWSTR lpszHeaders = nullptr, LPVOID lpvPostData = nullptr, DWORD dwPostDataLen = 0);
    BOOL LoadFromResource(UINT nRes);

    // The object handed to the page as window.external (null: none).
    void SetExternalDispatch(IDispatch* pdispExternal);
    // TRUE: the external object is handed out without asking the security manager.
    virtual BOOL IsExternalDispatchSafe();
    BOOL CanAccessExternal();

    // Document-host hooks, as the control site of every control this dialog hosts calls them.
    virtual HRESULT GetHostInfo(DOCHOSTUIINFO* pInfo);
    virtual HRESULT ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved, IDispatch* pdispReserved);
    virtual HRESULT GetExternal(IDispatch** ppDispatch);

    UINT m_nHtmlResID = 0;
    DWORD m_dwHostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    fw::ComPtr<IWebBrowser2> m_pBrowserApp;
    CWnd m_wndBrowser;
    std::wstring m_strCurrentUrl;

protected:
    void OnSize(UINT nType, int cx, int cy);
    void OnDestroy();

private:
    fw::ComPtr<IDispatch> m_pExternal;
};
