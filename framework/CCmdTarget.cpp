#include "framework/CCmdTarget.h"

#include "framework/ComObject.h"
#include "framework/DispatchCall.h"

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
    return fw::CallDispatchEntry(this, entry->params, entry->vtResult, entry->invoke, pParams, pResult, pExcepInfo,
                                 puArgErr);
}

HRESULT CCmdTarget::OnEvent(UINT nCtrlId, DISPID dispid, DISPPARAMS* pParams, EXCEPINFO* pExcepInfo,
                            UINT* puArgErr) noexcept {
    int depth = 0;
    for (const fw::EventSinkMap* map = GetEventSinkMap(); map && depth < kMaxTableDepth; map = map->base, ++depth) {
        if (!map->entries) continue;
        for (size_t i = 0; map->entries[i].invoke; ++i) {
            const fw::EventSinkEntry& e = map->entries[i];
            if (e.ctrlId == nCtrlId && e.dispid == dispid) {
                return fw::CallDispatchEntry(this, e.params, VT_EMPTY, e.invoke, pParams, nullptr, pExcepInfo,
                                             puArgErr);
            }
        }
    }
    return S_OK;
}
