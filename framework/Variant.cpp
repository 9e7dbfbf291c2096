#include "framework/Variant.h"

namespace fw {

std::wstring VariantText(const VARIANT* pv) {
    // Follow VARIANT references a few levels deep; a longer chain is not a real argument.
    for (int depth = 0; pv && pv->vt == (VT_BYREF | VT_VARIANT) && depth < 8; ++depth) pv = pv->pvarVal;
    if (!pv || pv->vt == (VT_BYREF | VT_VARIANT)) return std::wstring();
    if (pv->vt == VT_BSTR) return pv->bstrVal ? std::wstring(pv->bstrVal, ::SysStringLen(pv->bstrVal)) : std::wstring();
    if (pv->vt == (VT_BYREF | VT_BSTR)) {
        if (!pv->pbstrVal || !*pv->pbstrVal) return std::wstring();
        return std::wstring(*pv->pbstrVal, ::SysStringLen(*pv->pbstrVal));
    }
    if ((pv->vt & VT_BYREF) && !pv->byref) return std::wstring();
    Variant text;
    if (FAILED(::VariantChangeType(text.get(), const_cast<VARIANT*>(pv), 0, VT_BSTR)) || text.vt() != VT_BSTR) {
        return std::wstring();
    }
    const BSTR b = text.get()->bstrVal;
    return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
}

} // namespace fw
