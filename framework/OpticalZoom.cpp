#include "framework/OpticalZoom.h"

#include "framework/COleDispatchException.h"
#include "framework/COleException.h"
#include "framework/CWnd.h"
#include "framework/DispatchArgs.h"

#include <new>

namespace fw {

HRESULT SetOpticalZoom(CWnd& browser, int percent) noexcept {
    static const BYTE kParams[] = VTS_I4 VTS_I4 VTS_PVARIANT VTS_PVARIANT;
    VARIANT zoom;
    ::VariantInit(&zoom);
    zoom.vt = VT_I4;
    zoom.lVal = percent;
    try {
        browser.InvokeHelper(502 /* ExecWB */, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams,
                             static_cast<long>(OLECMDID_OPTICAL_ZOOM), OpticalZoomExecOpt(), &zoom,
                             static_cast<VARIANT*>(nullptr));
        return S_OK;
    } catch (const COleDispatchException& e) {
        return FAILED(e.m_scError) ? e.m_scError : E_FAIL;
    } catch (const COleException& e) {
        return FAILED(e.m_sc) ? e.m_sc : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace fw
