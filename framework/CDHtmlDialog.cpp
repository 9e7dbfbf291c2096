#include "framework/CDHtmlDialog.h"

#include "framework/OleInit.h"

#include "framework/CControlContainer.h"
#include "framework/CWinApp.h"
#include "framework/ModulePath.h"

#include <exdispid.h>
#include <urlmon.h>

#include <cstring>
#include <new>

const DHtmlEventMapEntry* CDHtmlEventSink::GetDHtmlEventMap() {
    return nullptr;
}

// The own browser's navigation events; controls of other ids never reach these entries.
BEGIN_EVENTSINK_MAP(CDHtmlDialog, CDialog)
    ON_EVENT(CDHtmlDialog, CDHtmlDialog::kBrowserId, DISPID_BEFORENAVIGATE2, OnBrowserBeforeNavigate2,
             VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
    ON_EVENT(CDHtmlDialog, CDHtmlDialog::kBrowserId, DISPID_NAVIGATECOMPLETE2, OnBrowserNavigateComplete2,
             VTS_DISPATCH VTS_PVARIANT)
    ON_EVENT(CDHtmlDialog, CDHtmlDialog::kBrowserId, DISPID_DOCUMENTCOMPLETE, OnBrowserDocumentComplete,
             VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

CDHtmlDialog::CDHtmlDialog(UINT nIDTemplate, UINT nHtmlResID, CWnd* pParentWnd) noexcept
    : CDialog(nIDTemplate, pParentWnd), m_nHtmlResID(nHtmlResID) {}

CDHtmlDialog::~CDHtmlDialog() {
    // Derived parts are gone: pages holding our IDispatch reach nothing from here on.
    ExternalDisconnect();
    // Take the window down while this object is still whole, so that the browser goes through
    // WM_DESTROY before m_wndBrowser and the rest of the object.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) DestroyWindow();
}

BOOL CDHtmlDialog::OnInitDialog() {
    // An HTML dialog always hosts a control: make sure hosting (and OLE) is on.
    if (!AfxGetOccManager()) AfxEnableControlContainer();
    CDialog::OnInitDialog();
    RECT rc{};
    GetClientRect(&rc);
    if (m_wndBrowser.CreateControl(CLSID_WebBrowser, nullptr, WS_VISIBLE | WS_CHILD, rc, this, kBrowserId) &&
        m_wndBrowser.m_pCtrlSite) {
        m_pBrowserApp = fw::QueryAs<IWebBrowser2>(m_wndBrowser.m_pCtrlSite->GetControlUnknown(), IID_IWebBrowser2);
    }
    if (!m_pBrowserApp) {
        // No browser, no HTML dialog.
        m_wndBrowser.DestroyWindow();
        DestroyWindow();
        return TRUE;
    }
    if (m_nHtmlResID) LoadFromResource(m_nHtmlResID);
    return TRUE;
}

LRESULT CDHtmlDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        return CDialog::WindowProc(message, wParam, lParam);
    }
}

BOOL CDHtmlDialog::PreTranslateMessage(MSG* pMsg) {
    if (CControlContainer* pCont = CControlContainer::Of(this, false); pCont && pCont->PreTranslateMessage(pMsg)) {
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CDHtmlDialog::OnSize(UINT, int cx, int cy) {
    Default();
    if (!m_wndBrowser.m_hWnd) return;
    const RECT rc{0, 0, cx, cy};
    if (m_wndBrowser.m_pCtrlSite) {
        m_wndBrowser.m_pCtrlSite->MoveWindow(rc);
    } else {
        ::MoveWindow(m_wndBrowser.m_hWnd, 0, 0, cx, cy, TRUE);
    }
}

void CDHtmlDialog::CloseHostedControls() noexcept {
    if (CControlContainer* pCont = CControlContainer::Of(this, false)) pCont->CloseAll();
}

void CDHtmlDialog::OnDestroy() {
    // The container closes the control itself once this message is handled.
    m_pBrowserApp.reset();
    m_pHtmlDoc.reset();
    Default();
}

CDHtmlDialog::NavigateArgs CDHtmlDialog::MakeNavigateArgs(DWORD dwFlags, LPCWSTR lpszTargetFrameName,
                                                          LPCWSTR lpszHeaders, LPCVOID lpvPostData,
                                                          DWORD dwPostDataLen) {
    NavigateArgs args;
    VARIANT* v = args.flags.get();
    v->vt = VT_I4;
    v->lVal = static_cast<LONG>(dwFlags);
    if (lpszTargetFrameName) {
        v = args.targetFrame.get();
        v->bstrVal = ::SysAllocString(lpszTargetFrameName);
        if (!v->bstrVal) throw std::bad_alloc();
        v->vt = VT_BSTR;
    }
    if (lpszHeaders) {
        v = args.headers.get();
        v->bstrVal = ::SysAllocString(lpszHeaders);
        if (!v->bstrVal) throw std::bad_alloc();
        v->vt = VT_BSTR;
    }
    if (lpvPostData && dwPostDataLen) {
        SAFEARRAY* psa = ::SafeArrayCreateVector(VT_UI1, 0, dwPostDataLen);
        if (!psa) throw std::bad_alloc();
        v = args.postData.get();
        v->parray = psa;
        v->vt = VT_ARRAY | VT_UI1; // owned by the variant from here on
        void* pData = nullptr;
        if (SUCCEEDED(::SafeArrayAccessData(psa, &pData))) {
            std::memcpy(pData, lpvPostData, dwPostDataLen);
            (void)::SafeArrayUnaccessData(psa);
        }
    }
    return args;
}

void CDHtmlDialog::Navigate(LPCWSTR lpszURL, DWORD dwFlags, LPCWSTR lpszTargetFrameName, LPCWSTR lpszHeaders,
                            LPVOID lpvPostData, DWORD dwPostDataLen) {
    if (!m_pBrowserApp) return;
    fw::Bstr url(lpszURL ? lpszURL : L"");
    NavigateArgs args = MakeNavigateArgs(dwFlags, lpszTargetFrameName, lpszHeaders, lpvPostData, dwPostDataLen);
    fw::ComPtr<IWebBrowser2> browser = m_pBrowserApp;
    (void)browser->Navigate(url.get(), args.flags.get(), args.targetFrame.get(), args.postData.get(),
                            args.headers.get());
}

std::wstring CDHtmlDialog::ResourceUrl(UINT nRes) {
    const std::wstring path = fw::ModuleFileName(AfxGetResourceHandle());
    if (path.empty()) return std::wstring();
    return L"res://" + path + L"/23/" + std::to_wstring(nRes);
}

BOOL CDHtmlDialog::LoadFromResource(UINT nRes) {
    if (!m_pBrowserApp) return FALSE;
    const std::wstring url = ResourceUrl(nRes);
    if (url.empty()) return FALSE;
    Navigate(url.c_str());
    return TRUE;
}

void CDHtmlDialog::SetExternalDispatch(IDispatch* pdispExternal) {
    m_pExternal = fw::ComPtr<IDispatch>(pdispExternal);
}

BOOL CDHtmlDialog::IsExternalDispatchSafe() {
    return FALSE;
}

BOOL CDHtmlDialog::CanAccessExternal() {
    if (IsExternalDispatchSafe()) return TRUE;
    // Not safe by itself: only a zone that lets pages script unsafe objects gets it.
    fw::ComPtr<IDispatch> doc = m_pHtmlDoc;
    if (!doc && m_pBrowserApp && FAILED(m_pBrowserApp->get_Document(doc.put()))) doc.reset();
    if (!doc) return FALSE;
    auto security = fw::QueryAs<IInternetHostSecurityManager>(doc.get(), IID_IInternetHostSecurityManager);
    if (!security) {
        if (auto services = fw::QueryAs<IServiceProvider>(doc.get(), IID_IServiceProvider)) {
            if (FAILED(services->QueryService(IID_IInternetHostSecurityManager, IID_IInternetHostSecurityManager,
                                              security.put_void()))) {
                security.reset();
            }
        }
    }
    if (!security) return FALSE;
    DWORD policy = URLPOLICY_DISALLOW;
    const HRESULT hr = security->ProcessUrlAction(URLACTION_ACTIVEX_OVERRIDE_OBJECT_SAFETY,
                                                  reinterpret_cast<BYTE*>(&policy), sizeof policy, nullptr, 0,
                                                  PUAF_DEFAULT, 0);
    return hr == S_OK;
}

HRESULT CDHtmlDialog::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->dwFlags = m_dwHostFlags;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

HRESULT CDHtmlDialog::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
    // S_FALSE: the browser shows its own menu.
    return S_FALSE;
}

HRESULT CDHtmlDialog::GetExternal(IDispatch** ppDispatch) {
    if (!ppDispatch) return E_POINTER;
    *ppDispatch = nullptr;
    if (!m_pExternal) return E_NOTIMPL;
    if (!CanAccessExternal()) return E_ACCESSDENIED;
    *ppDispatch = m_pExternal.get();
    (*ppDispatch)->AddRef();
    return S_OK;
}

void CDHtmlDialog::OnBeforeNavigate(IDispatch*, const std::wstring&) {}

void CDHtmlDialog::OnNavigateComplete(IDispatch*, const std::wstring&) {}

void CDHtmlDialog::OnDocumentComplete(IDispatch*, const std::wstring&) {}

bool CDHtmlDialog::IsOwnBrowser(IDispatch* pDisp) const noexcept {
    if (!pDisp || !m_pBrowserApp) return false;
    auto a = fw::QueryAs<IUnknown>(pDisp, IID_IUnknown);
    auto b = fw::QueryAs<IUnknown>(m_pBrowserApp.get(), IID_IUnknown);
    return a && a.get() == b.get();
}

void CDHtmlDialog::OnBrowserBeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                            VARIANT_BOOL*) {
    OnBeforeNavigate(pDisp, fw::VariantText(url));
}

void CDHtmlDialog::OnBrowserNavigateComplete2(IDispatch* pDisp, VARIANT* url) {
    const std::wstring text = fw::VariantText(url);
    if (IsOwnBrowser(pDisp)) m_strCurrentUrl = text;
    OnNavigateComplete(pDisp, text);
}

void CDHtmlDialog::OnBrowserDocumentComplete(IDispatch* pDisp, VARIANT* url) {
    const std::wstring text = fw::VariantText(url);
    if (IsOwnBrowser(pDisp)) {
        m_strCurrentUrl = text;
        fw::ComPtr<IDispatch> doc;
        if (m_pBrowserApp && SUCCEEDED(m_pBrowserApp->get_Document(doc.put())) && doc) m_pHtmlDoc = doc;
    }
    OnDocumentComplete(pDisp, text);
}
