// Interim: the dialog part only; browser hosting comes with the control site.
#include "framework/CDHtmlDialog.h"

const DHtmlEventMapEntry* CDHtmlEventSink::GetDHtmlEventMap() {
    return nullptr;
}

CDHtmlDialog::CDHtmlDialog(UINT nIDTemplate, UINT nHtmlResID, CWnd* pParentWnd) noexcept
    : CDialog(nIDTemplate, pParentWnd), m_nHtmlResID(nHtmlResID) {}

CDHtmlDialog::~CDHtmlDialog() = default;

BOOL CDHtmlDialog::OnInitDialog() {
    return CDialog::OnInitDialog();
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

void CDHtmlDialog::OnSize(UINT, int cx, int cy) {
    Default();
    if (m_wndBrowser.m_hWnd) ::MoveWindow(m_wndBrowser.m_hWnd, 0, 0, cx, cy, TRUE);
}

void CDHtmlDialog::OnDestroy() {
    m_pBrowserApp.reset();
    Default();
}

void CDHtmlDialog::Navigate(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, LPVOID, DWORD) {}

BOOL CDHtmlDialog::LoadFromResource(UINT) {
    return FALSE;
}

void CDHtmlDialog::SetExternalDispatch(IDispatch* pdispExternal) {
    m_pExternal = fw::ComPtr<IDispatch>(pdispExternal);
}

BOOL CDHtmlDialog::IsExternalDispatchSafe() {
    return FALSE;
}

BOOL CDHtmlDialog::CanAccessExternal() {
    return IsExternalDispatchSafe();
}

HRESULT CDHtmlDialog::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->dwFlags = m_dwHostFlags;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

HRESULT CDHtmlDialog::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
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
