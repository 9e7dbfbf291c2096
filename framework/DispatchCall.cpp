#include "framework/DispatchCall.h"

#include "framework/COleDispatchException.h"
#include "framework/COleException.h"
#include "framework/Handles.h"
#include "framework/TextConvert.h"
#include "framework/Variant.h"

#include <new>
#include <vector>

// --- called: a dispatch-table entry ---

namespace {

BSTR AllocOrNull(const std::wstring& s) {
    return s.empty() ? nullptr : ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

void FillExcepInfo(EXCEPINFO* p, WORD wCode, SCODE scode, const std::wstring& source,
                   const std::wstring& description, DWORD helpContext, const std::wstring& helpFile) {
    if (!p) return;
    *p = EXCEPINFO{};
    // EXCEPINFO carries either a code or a status, never both.
    p->wCode = wCode;
    p->scode = wCode ? 0 : (scode ? scode : E_FAIL);
    p->bstrSource = AllocOrNull(source);
    p->bstrDescription = AllocOrNull(description);
    p->bstrHelpFile = AllocOrNull(helpFile);
    p->dwHelpContext = helpContext;
}

// Runs a handler and turns whatever it throws into DISP_E_EXCEPTION with EXCEPINFO.
HRESULT RunHandler(fw::DispInvokeFn fn, CCmdTarget* pTarget, VARIANT* const* args, VARIANT* pResult,
                   EXCEPINFO* pExcepInfo) noexcept {
    try {
        try {
            return fn(pTarget, args, pResult);
        } catch (const COleDispatchException& e) {
            FillExcepInfo(pExcepInfo, e.m_wCode, e.m_scError, e.m_strSource, e.m_strDescription, e.m_dwHelpContext,
                          e.m_strHelpFile);
        } catch (const COleException& e) {
            FillExcepInfo(pExcepInfo, 0, e.m_sc, std::wstring(), std::wstring(), 0, std::wstring());
        } catch (const std::bad_alloc&) {
            FillExcepInfo(pExcepInfo, 0, E_OUTOFMEMORY, std::wstring(), L"Out of memory.", 0, std::wstring());
        } catch (const std::exception& e) {
            const char* what = e.what(); // a handler's own exception type may give null
            FillExcepInfo(pExcepInfo, 0, E_FAIL, std::wstring(), fw::Widen(what ? what : ""), 0, std::wstring());
        } catch (...) {
            FillExcepInfo(pExcepInfo, 0, E_UNEXPECTED, std::wstring(), L"Unexpected exception in an automation handler.",
                          0, std::wstring());
        }
    } catch (...) {
        // Filling EXCEPINFO itself ran out of memory: the status alone has to do.
        if (pExcepInfo) *pExcepInfo = EXCEPINFO{0, 0, nullptr, nullptr, nullptr, 0, nullptr, nullptr, E_OUTOFMEMORY};
    }
    return DISP_E_EXCEPTION;
}

} // namespace

// Converts the arguments to the entry's declared types and runs it.
HRESULT fw::CallDispatchEntry(CCmdTarget* pTarget, const char* params, VARTYPE vtResult, fw::DispInvokeFn fn,
                              DISPPARAMS* pParams, VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept {
    if (!fn) return DISP_E_MEMBERNOTFOUND;
    if (pResult) ::VariantInit(pResult);
    DISPPARAMS none{};
    if (!pParams) pParams = &none;
    if (pParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    const size_t count = fw::disp::VtsCount(params);
    if (pParams->cArgs != count) return DISP_E_BADPARAMCOUNT;
    if (count != 0 && !pParams->rgvarg) return E_INVALIDARG;
    try {
        std::vector<fw::Variant> owned(count);
        std::vector<VARIANT> shallow(count);
        std::vector<VARIANT*> args(count);
        for (size_t i = 0; i < count; ++i) {
            const VARTYPE want = fw::disp::VtsToVarType(params[i]);
            // IDispatch::Invoke passes the arguments last to first.
            const UINT pos = static_cast<UINT>(count - 1 - i);
            VARIANT& src = pParams->rgvarg[pos];
            VARIANT& dst = shallow[i];
            ::VariantInit(&dst);
            args[i] = &dst;
            bool ok = true;
            if (want == VT_VARIANT) {
                dst = src;
            } else if (want == (VT_BYREF | VT_VARIANT)) {
                dst.vt = VT_BYREF | VT_VARIANT;
                if (src.vt == (VT_BYREF | VT_VARIANT)) {
                    // A null reference becomes a reference to an empty value.
                    dst.pvarVal = src.pvarVal ? src.pvarVal : owned[i].get();
                } else {
                    dst.pvarVal = &src;
                }
            } else if (want == VT_DISPATCH) {
                dst.vt = VT_DISPATCH;
                if (src.vt == VT_DISPATCH) {
                    dst.pdispVal = src.pdispVal;
                } else if (src.vt == (VT_BYREF | VT_DISPATCH) && src.ppdispVal) {
                    dst.pdispVal = *src.ppdispVal;
                } else {
                    ok = src.vt == VT_EMPTY || src.vt == VT_NULL;
                }
            } else if (want & VT_BYREF) {
                ok = src.vt == want && src.byref != nullptr;
                if (ok) dst = src;
            } else {
                ok = SUCCEEDED(::VariantChangeType(owned[i].get(), &src, 0, want)) && owned[i].vt() == want;
                args[i] = owned[i].get();
            }
            if (!ok) {
                if (puArgErr) *puArgErr = pos;
                return DISP_E_TYPEMISMATCH;
            }
        }
        fw::Variant result;
        const HRESULT hr = RunHandler(fn, pTarget, args.data(), pResult ? result.get() : nullptr, pExcepInfo);
        if (hr != S_OK) return hr;
        if (pResult && vtResult != VT_EMPTY) {
            if (vtResult != VT_VARIANT && result.vt() != vtResult) {
                const HRESULT hrConv = ::VariantChangeType(result.get(), result.get(), 0, vtResult);
                if (FAILED(hrConv)) return hrConv;
            }
            *pResult = result.Detach();
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// --- calling: a late-bound call ---

void fw::InvokeDispatchV(IDispatch* pDispatch, DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                         const BYTE* pbParamInfo, va_list argList) {
    const char* params = reinterpret_cast<const char*>(pbParamInfo);
    const size_t count = fw::disp::VtsCount(params);
    std::vector<VARIANT> args(count);
    std::vector<fw::Bstr> strings;
    strings.reserve(count);
    // IDispatch::Invoke wants the arguments last to first.
    for (size_t i = 0; i < count; ++i) {
        VARIANT& v = args[count - 1 - i];
        ::VariantInit(&v);
        const VARTYPE vt = fw::disp::VtsToVarType(params[i]);
        if (vt & VT_BYREF) {
            v.vt = vt;
            v.byref = va_arg(argList, void*);
            continue;
        }
        switch (vt) {
        case VT_I2: v.iVal = static_cast<SHORT>(va_arg(argList, int)); break;
        case VT_I4: v.lVal = va_arg(argList, long); break;
        case VT_R4: v.fltVal = static_cast<float>(va_arg(argList, double)); break;
        case VT_R8:
        case VT_DATE: v.dblVal = va_arg(argList, double); break;
        case VT_CY: v.cyVal = va_arg(argList, CY); break;
        case VT_BSTR: {
            const wchar_t* s = va_arg(argList, const wchar_t*);
            strings.emplace_back(s);
            if (s && !strings.back().get()) throw std::bad_alloc();
            v.bstrVal = strings.back().get();
            break;
        }
        case VT_DISPATCH: v.pdispVal = va_arg(argList, IDispatch*); break;
        case VT_UNKNOWN: v.punkVal = va_arg(argList, IUnknown*); break;
        case VT_ERROR: v.scode = va_arg(argList, SCODE); break;
        case VT_BOOL: v.boolVal = va_arg(argList, BOOL) ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_UI1: v.bVal = static_cast<BYTE>(va_arg(argList, int)); break;
        case VT_VARIANT: {
            // The value itself, not a copy: the caller keeps it alive for the call.
            const VARIANT* p = va_arg(argList, const VARIANT*);
            if (p) {
                v = *p;
            } else {
                v.vt = VT_ERROR;
                v.scode = DISP_E_PARAMNOTFOUND;
            }
            continue;
        }
        default: throw COleException(E_INVALIDARG);
        }
        v.vt = vt;
    }

    DISPPARAMS dp{count ? args.data() : nullptr, nullptr, static_cast<UINT>(count), 0};
    DISPID named = DISPID_PROPERTYPUT;
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        dp.rgdispidNamedArgs = &named;
        dp.cNamedArgs = 1;
    }
    fw::Variant result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    fw::ComPtr<IDispatch> dispatch(pDispatch);
    HRESULT hr = dispatch->Invoke(dwDispID, IID_NULL, 0, wFlags, &dp, vtRet != VT_EMPTY ? result.get() : nullptr,
                                  &excep, &argErr);
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION) {
            if (excep.pfnDeferredFillIn) fw::Ignore(excep.pfnDeferredFillIn(&excep));
            const fw::Bstr source = fw::Bstr::Attach(excep.bstrSource);
            const fw::Bstr description = fw::Bstr::Attach(excep.bstrDescription);
            const fw::Bstr helpFile = fw::Bstr::Attach(excep.bstrHelpFile);
            COleDispatchException e(source.str(), description.str(), excep.dwHelpContext,
                                    excep.scode ? excep.scode : (excep.wCode ? 0 : E_FAIL));
            e.m_wCode = excep.wCode;
            e.m_strHelpFile = helpFile.str();
            throw e;
        }
        throw COleException(hr);
    }
    if (vtRet == VT_EMPTY || !pvRet) return;
    if (vtRet != VT_VARIANT && result.vt() != vtRet) {
        hr = ::VariantChangeType(result.get(), result.get(), 0, vtRet);
        if (FAILED(hr)) throw COleException(hr);
    }
    VARIANT& r = *result.get();
    switch (vtRet) {
    case VT_BSTR: *static_cast<std::wstring*>(pvRet) = fw::VariantText(&r); break;
    case VT_BOOL: *static_cast<BOOL*>(pvRet) = r.boolVal != VARIANT_FALSE; break;
    case VT_I2: *static_cast<short*>(pvRet) = r.iVal; break;
    case VT_I4: *static_cast<long*>(pvRet) = r.lVal; break;
    case VT_UI1: *static_cast<BYTE*>(pvRet) = r.bVal; break;
    case VT_R4: *static_cast<float*>(pvRet) = r.fltVal; break;
    case VT_R8:
    case VT_DATE: *static_cast<double*>(pvRet) = r.dblVal; break;
    case VT_CY: *static_cast<CY*>(pvRet) = r.cyVal; break;
    case VT_ERROR: *static_cast<SCODE*>(pvRet) = r.scode; break;
    case VT_DISPATCH: *static_cast<IDispatch**>(pvRet) = result.Detach().pdispVal; break;
    case VT_UNKNOWN: *static_cast<IUnknown**>(pvRet) = result.Detach().punkVal; break;
    case VT_VARIANT: *static_cast<VARIANT*>(pvRet) = result.Detach(); break;
    default: throw COleException(E_INVALIDARG);
    }
}
