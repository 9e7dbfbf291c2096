#include "framework/CControlContainer.h"

#include <new>
#include <utility>

// The in-place frame the hosted controls see: the owner window, no tool space, no menus.
class CInPlaceFrame final : public fw::ComObject<CInPlaceFrame, IOleInPlaceFrame> {
public:
    explicit CInPlaceFrame(CControlContainer* pContainer) noexcept : m_pContainer(pContainer) {}

    void Disconnect() noexcept { m_pContainer = nullptr; }

    void* FindInterface(REFIID riid) noexcept {
        if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
            riid == IID_IOleInPlaceFrame) {
            return static_cast<IOleInPlaceFrame*>(this);
        }
        return nullptr;
    }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
        if (!phwnd) return E_POINTER;
        *phwnd = m_pContainer ? m_pContainer->GetHwnd() : nullptr;
        return *phwnd ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS pborderwidths) override {
        return pborderwidths ? INPLACE_E_NOTOOLSPACE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override {
        if (m_pContainer) m_pContainer->SetActiveObject(pActiveObject);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    CControlContainer* m_pContainer;
};

CControlContainer::CControlContainer(CWnd* pWnd) noexcept
    : m_pWnd(pWnd), m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) {}

CControlContainer::~CControlContainer() {
    // The owner's windows may be long gone here (a detached dialog): releasing the controls
    // only talks to the controls, not to those handles.
    ReleaseAll();
}

CControlContainer* CControlContainer::Of(CWnd* pWnd, bool bCreate) {
    if (!pWnd) return nullptr;
    if (auto* pCont = dynamic_cast<CControlContainer*>(pWnd->m_pCtrlCont)) {
        // The object got a new window (created again): the controls of the old one go.
        if (bCreate && pWnd->m_hWnd && pCont->m_hWnd != pWnd->m_hWnd) {
            pCont->ReleaseAll();
            pCont->m_hWnd = pWnd->m_hWnd;
        }
        return pCont;
    }
    if (!bCreate || pWnd->m_pCtrlCont || !pWnd->m_hWnd) return nullptr;
    auto* pCont = new (std::nothrow) CControlContainer(pWnd);
    pWnd->m_pCtrlCont = pCont;
    return pCont;
}

COleControlSite* CControlContainer::CreateControl(CWnd* pWndCtrl, REFCLSID clsid, LPCWSTR lpszWindowName,
                                                  DWORD dwStyle, const RECT& rect, UINT nID,
                                                  const std::vector<BYTE>* pInitState, BSTR bstrLicKey) noexcept {
    if (!m_hWnd) return nullptr;
    auto site = fw::ComPtr<COleControlSite>::Attach(new (std::nothrow) COleControlSite(this));
    if (!site) return nullptr;
    try {
        m_sites.reserve(m_sites.size() + 1);
    } catch (...) {
        return nullptr;
    }
    if (FAILED(site->CreateControl(pWndCtrl, clsid, lpszWindowName, dwStyle, rect, nID, pInitState, bstrLicKey))) {
        return nullptr;
    }
    m_sites.push_back(site);
    return site.get();
}

COleControlSite* CControlContainer::FindSite(HWND hCtrl) const noexcept {
    if (!hCtrl) return nullptr;
    for (const auto& site : m_sites) {
        if (site->m_hWnd == hCtrl) return site.get();
    }
    return nullptr;
}

COleControlSite* CControlContainer::FindSiteById(UINT nID) const noexcept {
    for (const auto& site : m_sites) {
        if (site->GetID() == nID) return site.get();
    }
    return nullptr;
}

void CControlContainer::CloseAll() noexcept {
    m_pActiveObject.reset();
    // By index: a control may call back into the container while it closes.
    for (size_t i = 0; i < m_sites.size(); ++i) {
        fw::ComPtr<COleControlSite> site = m_sites[i];
        site->CloseControl();
    }
    m_pActiveObject.reset();
}

void CControlContainer::ReleaseAll() noexcept {
    m_pActiveObject.reset();
    // Controls may call back into the container while they close: work on a list of our own.
    auto sites = std::move(m_sites);
    m_sites.clear();
    for (auto& site : sites) site->ReleaseControl();
    sites.clear();
    m_pActiveObject.reset();
    if (m_pFrame) {
        m_pFrame->Disconnect();
        m_pFrame.reset();
    }
}

void CControlContainer::OnOwnerDestroy() noexcept {
    ReleaseAll();
}

IOleInPlaceFrame* CControlContainer::GetFrame() noexcept {
    if (!m_pFrame) m_pFrame = fw::ComPtr<CInPlaceFrame>::Attach(new (std::nothrow) CInPlaceFrame(this));
    return m_pFrame.get();
}

void CControlContainer::SetActiveObject(IOleInPlaceActiveObject* pActiveObject) noexcept {
    m_pActiveObject = fw::ComPtr<IOleInPlaceActiveObject>(pActiveObject);
}

BOOL CControlContainer::PreTranslateMessage(MSG* pMsg) noexcept {
    if (!pMsg || !m_pActiveObject) return FALSE;
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) return FALSE;
    for (const auto& site : m_sites) {
        HWND hCtrl = site->m_hWnd;
        if (hCtrl && (pMsg->hwnd == hCtrl || ::IsChild(hCtrl, pMsg->hwnd))) {
            fw::ComPtr<IOleInPlaceActiveObject> active = m_pActiveObject;
            return active->TranslateAccelerator(pMsg) == S_OK;
        }
    }
    return FALSE;
}
