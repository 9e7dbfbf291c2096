#include "launcher/CWebBrowser2.h"

#include "framework/COleControlSite.h"
#include "framework/ComPtr.h"

#include <exdisp.h>

BOOL CWebBrowser2::Create(LPCWSTR, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                          UINT nID, void*) {
    return CreateControl(CLSID_WebBrowser, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

void CWebBrowser2::Navigate(LPCWSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                            VARIANT* Headers) {
    static const BYTE kParams[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    InvokeHelper(104, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams, URL, Flags, TargetFrameName, PostData, Headers);
}

std::wstring CWebBrowser2::GetLocationURL() {
    std::wstring result;
    InvokeHelper(211, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
    return result;
}

void CWebBrowser2::Stop() {
    InvokeHelper(106, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr);
}

void CWebBrowser2::SetSilent(BOOL bNewValue) {
    static const BYTE kParams[] = VTS_BOOL;
    InvokeHelper(551, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, kParams, bNewValue);
}

bool CWebBrowser2::IsTopLevel(IDispatch* pDisp) const noexcept {
    IUnknown* control = m_pCtrlSite ? m_pCtrlSite->GetControlUnknown() : nullptr;
    if (!pDisp || !control) return false;
    const auto a = fw::QueryAs<IUnknown>(pDisp, IID_IUnknown);
    const auto b = fw::QueryAs<IUnknown>(control, IID_IUnknown);
    return a && a.get() == b.get();
}
