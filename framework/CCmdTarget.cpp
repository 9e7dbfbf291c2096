#include "framework/CCmdTarget.h"

#include "framework/COleDispatchException.h"
#include "framework/COleException.h"
#include "framework/ComObject.h"
#include "framework/Variant.h"

#include <cstring>
#include <new>
#include <vector>

// The object's IDispatch: a separate heap object, so that a script may keep it after the
// command target is gone; the owner cuts the back pointer when it goes.
class CCmdTargetDispatch final : public fw::ComObject<CCmdTargetDispatch, IDispatch> {
public:
    explicit CCmdTargetDispatch(CCmdTarget* pOwner) noexcept : m_pOwner(pOwner) {}

    void Disconnect() noexcept { m_pOwner = nullptr; }

    void* FindInterface(REFIID riid) noexcept {
        return riid == IID_IUnknown || riid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
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
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!m_pOwner) return RPC_E_DISCONNECTED;
        return m_pOwner->DispatchGetIDsOfNames(rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pParams,
                                     VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!m_pOwner) return RPC_E_DISCONNECTED;
        // The caller may drop its last reference inside the call.
        fw::ComPtr<CCmdTargetDispatch> self(this);
        return m_pOwner->DispatchInvoke(dispid, wFlags, pParams, pResult, pExcepInfo, puArgErr);
    }

private:
    CCmdTarget* m_pOwner;
};

namespace {

std::wstring Widen(const char* text) {
    if (!text || !*text) return std::wstring();
    const int len = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (len <= 1) return std::wstring();
    std::wstring out(static_cast<size_t>(len), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), len);
    out.resize(static_cast<size_t>(len - 1));
    return out;
}

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
            FillExcepInfo(pExcepInfo, 0, E_FAIL, std::wstring(), Widen(e.what()), 0, std::wstring());
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

// Converts the arguments to the entry's declared types and runs it.
HRESULT CallEntry(CCmdTarget* pTarget, const char* params, VARTYPE vtResult, fw::DispInvokeFn fn,
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

// Guards against a table whose base refers back to itself.
constexpr int kMaxTableDepth = 64;

} // namespace

const fw::DispatchEntry CCmdTarget::_dispatchEntries[] = {{nullptr, DISPID_UNKNOWN, nullptr, VT_EMPTY, nullptr}};
const fw::DispatchMap CCmdTarget::dispatchMap = {nullptr, CCmdTarget::_dispatchEntries};
const fw::EventSinkEntry CCmdTarget::_eventSinkEntries[] = {{0, DISPID_UNKNOWN, nullptr, nullptr}};
const fw::EventSinkMap CCmdTarget::eventSinkMap = {nullptr, CCmdTarget::_eventSinkEntries};

CCmdTarget::CCmdTarget() noexcept = default;

CCmdTarget::~CCmdTarget() {
    ExternalDisconnect();
}

void CCmdTarget::EnableAutomation() {
    if (m_pDispatch) return;
    m_pDispatch = fw::ComPtr<CCmdTargetDispatch>::Attach(new CCmdTargetDispatch(this));
}

IDispatch* CCmdTarget::GetIDispatch(BOOL bAddRef) noexcept {
    if (!m_pDispatch) return nullptr;
    if (bAddRef) m_pDispatch->AddRef();
    return m_pDispatch.get();
}

void CCmdTarget::ExternalDisconnect() noexcept {
    if (m_pDispatch) {
        m_pDispatch->Disconnect();
        m_pDispatch.reset();
    }
}

const fw::DispatchMap* CCmdTarget::GetDispatchMap() const {
    return &dispatchMap;
}

const fw::EventSinkMap* CCmdTarget::GetEventSinkMap() const {
    return &eventSinkMap;
}

const fw::DispatchEntry* CCmdTarget::FindDispatchEntry(LPCOLESTR name, DISPID* pDispId) const noexcept {
    if (!name) return nullptr;
    WORD depth = 0;
    for (const fw::DispatchMap* map = GetDispatchMap(); map && depth < kMaxTableDepth; map = map->base, ++depth) {
        if (!map->entries) continue;
        for (size_t i = 0; map->entries[i].name; ++i) {
            const fw::DispatchEntry& e = map->entries[i];
            if (::CompareStringOrdinal(e.name, -1, name, -1, TRUE) != CSTR_EQUAL) continue;
            if (pDispId) {
                *pDispId = e.dispid != DISPID_UNKNOWN ? e.dispid
                                                      : static_cast<DISPID>(MAKELONG(static_cast<WORD>(i + 1), depth));
            }
            return &e;
        }
    }
    return nullptr;
}

const fw::DispatchEntry* CCmdTarget::FindDispatchEntry(DISPID dispid) const noexcept {
    WORD depth = 0;
    for (const fw::DispatchMap* map = GetDispatchMap(); map && depth < kMaxTableDepth; map = map->base, ++depth) {
        if (!map->entries) continue;
        for (size_t i = 0; map->entries[i].name; ++i) {
            const fw::DispatchEntry& e = map->entries[i];
            const DISPID id = e.dispid != DISPID_UNKNOWN
                                  ? e.dispid
                                  : static_cast<DISPID>(MAKELONG(static_cast<WORD>(i + 1), depth));
            if (id == dispid) return &e;
        }
    }
    return nullptr;
}

HRESULT CCmdTarget::DispatchGetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const noexcept {
    if (cNames == 0) return S_OK;
    if (!rgszNames || !rgDispId) return E_INVALIDARG;
    HRESULT hr = S_OK;
    if (!FindDispatchEntry(rgszNames[0], &rgDispId[0])) {
        rgDispId[0] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    // The table has no parameter names.
    for (UINT i = 1; i < cNames; ++i) {
        rgDispId[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT CCmdTarget::DispatchInvoke(DISPID dispid, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept {
    const fw::DispatchEntry* entry = FindDispatchEntry(dispid);
    // Entries are methods: a property read or write of one is not a member.
    if (!entry || !(wFlags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    return CallEntry(this, entry->params, entry->vtResult, entry->invoke, pParams, pResult, pExcepInfo, puArgErr);
}

HRESULT CCmdTarget::OnEvent(UINT nCtrlId, DISPID dispid, DISPPARAMS* pParams, EXCEPINFO* pExcepInfo,
                            UINT* puArgErr) noexcept {
    int depth = 0;
    for (const fw::EventSinkMap* map = GetEventSinkMap(); map && depth < kMaxTableDepth; map = map->base, ++depth) {
        if (!map->entries) continue;
        for (size_t i = 0; map->entries[i].invoke; ++i) {
            const fw::EventSinkEntry& e = map->entries[i];
            if (e.ctrlId == nCtrlId && e.dispid == dispid) {
                return CallEntry(this, e.params, VT_EMPTY, e.invoke, pParams, nullptr, pExcepInfo, puArgErr);
            }
        }
    }
    return S_OK;
}
