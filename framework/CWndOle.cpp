// CWnd's part in ActiveX hosting: creating a hosted control, and late-bound calls on it.
#include "framework/CControlContainer.h"
#include "framework/COleControlSite.h"
#include "framework/COleException.h"
#include "framework/CWnd.h"
#include "framework/DispatchCall.h"

#include <cstdarg>

BOOL CWnd::CreateControl(REFCLSID clsid, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                         UINT nID, const std::vector<BYTE>* pPersist, BOOL, BSTR bstrLicKey) {
    if (m_hWnd || !pParentWnd || !pParentWnd->m_hWnd) return FALSE;
    CControlContainer* pCont = CControlContainer::Of(pParentWnd, true);
    if (!pCont) return FALSE;
    return pCont->CreateControl(this, clsid, lpszWindowName, dwStyle, rect, nID, pPersist, bstrLicKey) != nullptr;
}

void CWnd::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, const BYTE* pbParamInfo, ...) {
    // Never bound, or detached: there is no control to call.
    if (!m_pCtrlSite) return;
    IDispatch* pDispatch = m_pCtrlSite->GetControlDispatch();
    if (!pDispatch) throw COleException(E_NOINTERFACE);
    va_list args;
    va_start(args, pbParamInfo);
    try {
        fw::InvokeDispatchV(pDispatch, dwDispID, wFlags, vtRet, pvRet, pbParamInfo, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}
