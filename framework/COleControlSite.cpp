#include "framework/COleControlSite.h"

#include "framework/BrowserInitState.h"
#include "framework/CControlContainer.h"
#include "framework/CDHtmlDialog.h"
#include "framework/COleException.h"
#include "framework/CWnd.h"
#include "framework/Handles.h"
#include "framework/ModulePath.h"
#include "framework/Variant.h"

#include <exdisp.h>

#include <new>
#include <utility>

// The sink a control fires its events into: a separate object, so that a control that keeps
// it after the site is gone reaches nothing.
class COleEventSink final : public fw::ComObject<COleEventSink, IDispatch> {
public:
    COleEventSink(COleControlSite* pSite, REFIID iidEvents) noexcept : m_pSite(pSite), m_iid(iidEvents) {}

    void Disconnect() noexcept { m_pSite = nullptr; }

    void* FindInterface(REFIID riid) noexcept {
        return riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iid ? static_cast<IDispatch*>(this) : nullptr;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) override {
        for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT* pResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (pResult) ::VariantInit(pResult);
        if (!m_pSite) return RPC_E_DISCONNECTED;
        // A handler may end the hosting (and drop the last references to us and the site).
        fw::ComPtr<COleEventSink> self(this);
        fw::ComPtr<COleControlSite> site(m_pSite);
        return site->FireEvent(dispid, pParams, pExcepInfo, puArgErr);
    }

private:
    COleControlSite* m_pSite;
    IID m_iid;
};

namespace {

// Runs a document-host hook of the hosting dialog; no exception leaves the COM method.
template <class Fn>
HRESULT Guarded(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const COleException& e) {
        return FAILED(e.m_sc) ? e.m_sc : E_FAIL;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

std::wstring ModuleBaseName() {
    const std::wstring name = fw::ModuleFileName(nullptr);
    const size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

} // namespace

COleControlSite::COleControlSite(CControlContainer* pContainer) noexcept : m_pContainer(pContainer) {}

void* COleControlSite::FindInterface(REFIID riid) noexcept {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) return static_cast<IOleClientSite*>(this);
    if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) return static_cast<IOleInPlaceSite*>(this);
    if (riid == IID_IDocHostUIHandler) return static_cast<IDocHostUIHandler*>(this);
    return nullptr;
}

CWnd* COleControlSite::GetContainerWnd() const noexcept {
    return m_pContainer ? m_pContainer->GetWnd() : nullptr;
}

CDHtmlDialog* COleControlSite::HtmlHost() const noexcept {
    return dynamic_cast<CDHtmlDialog*>(GetContainerWnd());
}

HWND COleControlSite::ContainerHwnd() const noexcept {
    return m_pContainer ? m_pContainer->GetHwnd() : nullptr;
}

IDispatch* COleControlSite::GetEventSink() const noexcept {
    return m_pConnPoint ? static_cast<IDispatch*>(m_pSink.get()) : nullptr;
}

HRESULT COleControlSite::CreateControl(CWnd* pWndCtrl, REFCLSID clsid, LPCWSTR, DWORD dwStyle, const RECT& rect,
                                       UINT nID, const std::vector<BYTE>* pInitState, BSTR bstrLicKey) noexcept {
    if (!m_pContainer || m_pObject) return E_UNEXPECTED;
    HWND hWndParent = ContainerHwnd();
    if (!hWndParent || (pWndCtrl && pWndCtrl->m_hWnd)) return E_INVALIDARG;
    m_clsid = clsid;
    m_nID = nID;
    m_rect = rect;

    HRESULT hr;
    if (bstrLicKey) {
        fw::ComPtr<IClassFactory2> factory;
        hr = ::CoGetClassObject(clsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory2,
                                factory.put_void());
        if (SUCCEEDED(hr)) hr = factory->CreateInstanceLic(nullptr, nullptr, IID_IOleObject, bstrLicKey, m_pObject.put_void());
    } else {
        hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, m_pObject.put_void());
    }
    if (FAILED(hr) || !m_pObject) {
        m_pObject.reset();
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    ++s_nLive;
    ++s_nOpen;

    // The record describes a WebBrowser only; any other class starts from InitNew alone.
    BrowserInitState init;
    const bool haveInit = pInitState && clsid == CLSID_WebBrowser && ParseBrowserInitState(*pInitState, init);

    DWORD misc = 0;
    fw::Ignore(m_pObject->GetMiscStatus(DVASPECT_CONTENT, &misc));
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst) hr = m_pObject->SetClientSite(this);
    if (SUCCEEDED(hr)) {
        if (auto persist = fw::QueryAs<IPersistStreamInit>(m_pObject.get(), IID_IPersistStreamInit)) {
            hr = persist->InitNew();
            if (hr == E_NOTIMPL) hr = S_OK;
        }
    }
    if (SUCCEEDED(hr) && haveInit && init.extent.cx > 0 && init.extent.cy > 0) {
        fw::Ignore(m_pObject->SetExtent(DVASPECT_CONTENT, &init.extent));
    }
    if (SUCCEEDED(hr) && !siteFirst) hr = m_pObject->SetClientSite(this);
    if (SUCCEEDED(hr)) {
        try {
            const std::wstring host = ModuleBaseName();
            fw::Ignore(m_pObject->SetHostNames(host.c_str(), nullptr));
        } catch (...) {
        }
        fw::Ignore(::OleSetContainedObject(m_pObject.get(), TRUE));
        ConnectEvents();
        hr = m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, hWndParent, &m_rect);
    }
    if (SUCCEEDED(hr)) {
        m_pInPlaceObject = fw::QueryAs<IOleInPlaceObject>(m_pObject.get(), IID_IOleInPlaceObject);
        HWND hWnd = nullptr;
        if (!m_pInPlaceObject || FAILED(m_pInPlaceObject->GetWindow(&hWnd)) || !hWnd) {
            hr = E_FAIL; // windowless controls are not hosted
        } else {
            m_hWnd = hWnd;
        }
    }
    if (FAILED(hr)) {
        ReleaseControl();
        return hr;
    }

    // The window takes the item's id (GetDlgItem finds it) and its visibility, tab stop and state.
    ::SetWindowLongPtrW(m_hWnd, GWLP_ID, static_cast<LONG_PTR>(nID));
    const DWORD keep = static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)) & ~(WS_TABSTOP | WS_GROUP);
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>(keep | (dwStyle & (WS_TABSTOP | WS_GROUP))));
    MoveWindow(m_rect);
    ::ShowWindow(m_hWnd, (dwStyle & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
    if (dwStyle & WS_DISABLED) ::EnableWindow(m_hWnd, FALSE);

    m_pDispatch = fw::QueryAs<IDispatch>(m_pObject.get(), IID_IDispatch);
    if (haveInit) ApplyBrowserState(init);
    if (pWndCtrl) {
        if (!pWndCtrl->SubclassWindow(m_hWnd)) {
            ReleaseControl();
            return E_FAIL;
        }
        pWndCtrl->m_pCtrlSite = this;
    }
    if (haveInit && !init.location.empty()) {
        if (auto browser = fw::QueryAs<IWebBrowser2>(m_pObject.get(), IID_IWebBrowser2)) {
            fw::Bstr url(init.location);
            fw::Ignore(browser->Navigate(url.get(), nullptr, nullptr, nullptr, nullptr));
        }
    }
    return S_OK;
}

void COleControlSite::ApplyBrowserState(const BrowserInitState& state) noexcept {
    auto browser = fw::QueryAs<IWebBrowser2>(m_pObject.get(), IID_IWebBrowser2);
    if (!browser) return;
    auto flag = [&](DWORD bit) { return (state.flags & bit) ? VARIANT_TRUE : VARIANT_FALSE; };
    fw::Ignore(browser->put_Visible(flag(BrowserInitState::kVisible)));
    fw::Ignore(browser->put_Silent(flag(BrowserInitState::kSilent)));
    fw::Ignore(browser->put_RegisterAsBrowser(flag(BrowserInitState::kRegisterAsBrowser)));
    fw::Ignore(browser->put_RegisterAsDropTarget(flag(BrowserInitState::kRegisterAsDropTarget)));
    fw::Ignore(browser->put_Offline(flag(BrowserInitState::kOffline)));
}

void COleControlSite::ConnectEvents() noexcept {
    auto container = fw::QueryAs<IConnectionPointContainer>(m_pObject.get(), IID_IConnectionPointContainer);
    if (!container) return;
    IID iid = IID_NULL;
    if (auto info = fw::QueryAs<IProvideClassInfo2>(m_pObject.get(), IID_IProvideClassInfo2)) {
        if (FAILED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &iid))) iid = IID_NULL;
    }
    fw::ComPtr<IConnectionPoint> point;
    if (iid == IID_NULL || FAILED(container->FindConnectionPoint(iid, point.put()))) {
        iid = DIID_DWebBrowserEvents2;
        if (FAILED(container->FindConnectionPoint(iid, point.put()))) return;
    }
    auto sink = fw::ComPtr<COleEventSink>::Attach(new (std::nothrow) COleEventSink(this, iid));
    if (!sink || !point) return;
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch*>(sink.get()), &cookie))) {
        sink->Disconnect();
        return;
    }
    m_pSink = std::move(sink);
    m_pConnPoint = std::move(point);
    m_dwCookie = cookie;
    m_iidEvents = iid;
}

void COleControlSite::DisconnectEvents() noexcept {
    if (m_pSink) m_pSink->Disconnect();
    if (m_pConnPoint) fw::Ignore(m_pConnPoint->Unadvise(m_dwCookie));
    m_pConnPoint.reset();
    m_pSink.reset();
    m_dwCookie = 0;
    m_iidEvents = IID_NULL;
}

void COleControlSite::CloseControl() noexcept {
    // The window object bound to the control keeps no pointer to a site that is closing. Only
    // our handle map is consulted: the handle itself may be dead.
    if (CWnd* pWnd = CWnd::FromHandlePermanent(m_hWnd); pWnd && pWnd->m_pCtrlSite == this) {
        pWnd->m_pCtrlSite = nullptr;
    }
    if (m_bClosed || !m_pObject) return;
    m_bClosed = true;
    --s_nOpen;
    // Our own reference for the duration: the calls below may drop others.
    fw::ComPtr<COleControlSite> self(this);
    fw::ComPtr<IOleObject> object = m_pObject;
    // The events are cut first: whatever the control fires while it stops and closes reaches
    // nobody, not a window that is being torn down.
    DisconnectEvents();
    // Then a browser stops loading, so nothing more arrives for a page that is going.
    if (auto browser = fw::QueryAs<IWebBrowser2>(object.get(), IID_IWebBrowser2)) fw::Ignore(browser->Stop());
    // Close ends what the control runs (a browser's page: its script, timers and connections);
    // without its client site it can no longer reach this site or the window behind it.
    fw::Ignore(object->Close(OLECLOSE_NOSAVE));
    fw::Ignore(object->SetClientSite(nullptr));
    m_pInPlaceObject.reset();
    m_bInPlaceActive = false;
    m_hWnd = nullptr;
}

void COleControlSite::ReleaseControl() noexcept {
    CloseControl();
    fw::ComPtr<COleControlSite> self(this);
    fw::ComPtr<IOleObject> object = std::move(m_pObject);
    if (object) --s_nLive;
    m_pDispatch.reset();
    object.reset();
    m_bClosed = false;
    m_pContainer = nullptr;
}

COleControlSite::Census COleControlSite::GetCensus() noexcept {
    return Census{s_nLive, s_nOpen};
}

HRESULT COleControlSite::FireEvent(DISPID dispid, DISPPARAMS* pParams, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept {
    CWnd* pOwner = GetContainerWnd();
    if (!pOwner) return S_OK;
    return pOwner->OnEvent(m_nID, dispid, pParams, pExcepInfo, puArgErr);
}

RECT COleControlSite::CurrentPosRect() const noexcept {
    // The control may have been moved as a window since: its window says where it is.
    RECT rc = m_rect;
    HWND hParent = ContainerHwnd();
    if (m_hWnd && hParent && ::IsWindow(m_hWnd) && ::GetParent(m_hWnd) == hParent && ::GetWindowRect(m_hWnd, &rc)) {
        ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
    }
    return rc;
}

void COleControlSite::MoveWindow(const RECT& rect) noexcept {
    m_rect = rect;
    if (!m_hWnd) return;
    if (m_pInPlaceObject) {
        RECT clip = rect;
        if (HWND hParent = ContainerHwnd(); hParent && ::IsWindow(hParent)) ::GetClientRect(hParent, &clip);
        fw::Ignore(m_pInPlaceObject->SetObjectRects(&m_rect, &clip));
    }
    // A control that did not move its window itself.
    RECT now = CurrentPosRect();
    if (!::EqualRect(&now, &rect)) {
        ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    }
}

// --- IOleClientSite ---

HRESULT STDMETHODCALLTYPE COleControlSite::SaveObject() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE COleControlSite::ShowObject() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnShowWindow(BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::RequestNewObjectLayout() {
    return E_NOTIMPL;
}

// --- IOleInPlaceSite ---

HRESULT STDMETHODCALLTYPE COleControlSite::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = ContainerHwnd();
    return *phwnd ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::CanInPlaceActivate() {
    return m_pContainer ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnInPlaceActivate() {
    m_bInPlaceActive = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnUIActivate() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                                            LPRECT lprcPosRect, LPRECT lprcClipRect,
                                                            LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (ppFrame) *ppFrame = nullptr;
    if (ppDoc) *ppDoc = nullptr;
    if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect) return E_POINTER;
    if (!m_pContainer) return E_UNEXPECTED;
    if (IOleInPlaceFrame* frame = m_pContainer->GetFrame()) {
        frame->AddRef();
        *ppFrame = frame;
    }
    *lprcPosRect = CurrentPosRect();
    *lprcClipRect = *lprcPosRect;
    HWND hParent = ContainerHwnd();
    if (hParent && ::IsWindow(hParent)) ::GetClientRect(hParent, lprcClipRect);
    if (lpFrameInfo) {
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = hParent && ::IsWindow(hParent) ? ::GetAncestor(hParent, GA_ROOT) : hParent;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::Scroll(SIZE) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnUIDeactivate(BOOL) {
    if (m_pContainer) m_pContainer->SetActiveObject(nullptr);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnInPlaceDeactivate() {
    m_bInPlaceActive = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::DiscardUndoState() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::DeactivateAndUndo() {
    if (m_pInPlaceObject) fw::Ignore(m_pInPlaceObject->UIDeactivate());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnPosRectChange(LPCRECT lprcPosRect) {
    if (!lprcPosRect) return E_POINTER;
    MoveWindow(*lprcPosRect);
    return S_OK;
}

// --- IDocHostUIHandler: the HTML dialog's hooks when the host is one, the browser's defaults otherwise ---

HRESULT STDMETHODCALLTYPE COleControlSite::ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved,
                                                           IDispatch* pdispReserved) {
    if (CDHtmlDialog* pHost = HtmlHost()) {
        return Guarded([&] { return pHost->ShowContextMenu(dwID, ppt, pcmdtReserved, pdispReserved); });
    }
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE COleControlSite::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    if (CDHtmlDialog* pHost = HtmlHost()) return Guarded([&] { return pHost->GetHostInfo(pInfo); });
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                                  IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE COleControlSite::HideUI() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::UpdateUI() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::EnableModeless(BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnDocWindowActivate(BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::OnFrameWindowActivate(BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControlSite::TranslateAccelerator(LPMSG, const GUID*, DWORD) {
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE COleControlSite::GetOptionKeyPath(LPOLESTR* pchKey, DWORD) {
    if (pchKey) *pchKey = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::GetDropTarget(IDropTarget*, IDropTarget** ppDropTarget) {
    if (ppDropTarget) *ppDropTarget = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::GetExternal(IDispatch** ppDispatch) {
    if (!ppDispatch) return E_POINTER;
    *ppDispatch = nullptr;
    if (CDHtmlDialog* pHost = HtmlHost()) return Guarded([&] { return pHost->GetExternal(ppDispatch); });
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControlSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* ppchURLOut) {
    if (ppchURLOut) *ppchURLOut = nullptr;
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE COleControlSite::FilterDataObject(IDataObject*, IDataObject** ppDORet) {
    if (ppDORet) *ppDORet = nullptr;
    return S_FALSE;
}
