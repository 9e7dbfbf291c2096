#include "TestControl.h"

#include <cstdio>
#include <oleauto.h>
#include <exdisp.h>
#include <olectl.h>

namespace test {

// {5E3C1A20-7B4D-4F8E-9A61-0C2D3E4F5A6B}
const CLSID CLSID_TestControl = {0x5e3c1a20, 0x7b4d, 0x4f8e, {0x9a, 0x61, 0x0c, 0x2d, 0x3e, 0x4f, 0x5a, 0x6b}};
// {5E3C1A21-7B4D-4F8E-9A61-0C2D3E4F5A6B}
const IID DIID_TestControlEvents = {0x5e3c1a21, 0x7b4d, 0x4f8e, {0x9a, 0x61, 0x0c, 0x2d, 0x3e, 0x4f, 0x5a, 0x6b}};

namespace {

int g_live = 0;
TestControl* g_last = nullptr;

// The control's one connection point: a separate object so that IConnectionPoint's Advise and
// Unadvise do not meet IOleObject's.
class TestConnectionPoint final : public IConnectionPoint {
public:
    explicit TestConnectionPoint(TestControl* owner) : m_owner(owner) { m_owner->AddRef(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
            *ppv = static_cast<IConnectionPoint*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_ref); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG ref = --m_ref;
        if (ref == 0) {
            m_owner->Release();
            delete this;
        }
        return static_cast<ULONG>(ref);
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
        *pIID = DIID_TestControlEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** pp) override {
        *pp = m_owner;
        m_owner->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnk, DWORD* pdwCookie) override {
        return m_owner->AdviseSink(pUnk, pdwCookie);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override { return m_owner->UnadviseSink(dwCookie); }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    ~TestConnectionPoint() = default;
    LONG m_ref = 1;
    TestControl* m_owner;
};

// A class object that lives as long as the process: no reference counting, no locking.
class StaticClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class TestControlFactory final : public StaticClassFactory {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* control = new TestControl;
        const HRESULT hr = control->QueryInterface(riid, ppv);
        control->Release();
        return hr;
    }
};

TestControlFactory g_factory;

} // namespace

TestControl::TestControl() {
    ++g_live;
    g_last = this;
}

TestControl::~TestControl() {
    --g_live;
    if (g_last == this) g_last = nullptr;
    if (hWnd && ::IsWindow(hWnd)) ::DestroyWindow(hWnd);
    if (sink) sink->Release();
    if (m_inPlaceSite) m_inPlaceSite->Release();
    if (m_site) m_site->Release();
}

int TestControl::Live() {
    return g_live;
}

TestControl* TestControl::Last() {
    return g_last;
}

namespace {

// The stand-in IWebBrowser2 of a test control, laid out as COM lays out any interface: a pointer
// to a table of methods. IUnknown and Stop (slot 14: after IUnknown's 3 and IDispatch's 4 come
// GoBack, GoForward, GoHome, GoSearch, Navigate, Refresh, Refresh2) are real; every other slot
// returns E_NOTIMPL through one function, which is sound only where the caller removes the
// arguments (the 64-bit calling convention), so 32-bit builds never hand it out.
struct BrowserStandIn {
    // A method of the table; void (*)() converts to and from any function pointer.
    using Slot = void (*)();
    const Slot* vtable;
    LONG ref;
    TestControl* owner;

    static HRESULT STDMETHODCALLTYPE QueryInterface(BrowserStandIn* self, REFIID riid, void** ppv) {
        if (riid != IID_IUnknown && riid != IID_IWebBrowser2) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        ++self->ref;
        *ppv = self;
        return S_OK;
    }
    static ULONG STDMETHODCALLTYPE AddRef(BrowserStandIn* self) { return static_cast<ULONG>(++self->ref); }
    static ULONG STDMETHODCALLTYPE Release(BrowserStandIn* self) {
        const LONG ref = --self->ref;
        if (ref == 0) {
            self->owner->Release();
            delete self;
        }
        return static_cast<ULONG>(ref);
    }
    static HRESULT STDMETHODCALLTYPE Stop(BrowserStandIn* self) {
        self->owner->calls.push_back("Stop");
        return S_OK;
    }
    static HRESULT STDMETHODCALLTYPE NotImplemented(BrowserStandIn*) { return E_NOTIMPL; }

    static const Slot* Table() {
        static const std::vector<Slot> table = [] {
            std::vector<Slot> t(128, reinterpret_cast<Slot>(&NotImplemented));
            t[0] = reinterpret_cast<Slot>(&QueryInterface);
            t[1] = reinterpret_cast<Slot>(&AddRef);
            t[2] = reinterpret_cast<Slot>(&Release);
            t[14] = reinterpret_cast<Slot>(&Stop);
            return t;
        }();
        return table.data();
    }
};

} // namespace

HRESULT STDMETHODCALLTYPE TestControl::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IWebBrowser2 && answersAsBrowser && kCanAnswerAsBrowser) {
        AddRef();
        *ppv = new BrowserStandIn{BrowserStandIn::Table(), 1, this};
        return S_OK;
    }
    if (riid == IID_IUnknown || riid == IID_IOleObject) {
        *ppv = static_cast<IOleObject*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) {
        *ppv = static_cast<IOleInPlaceObject*>(this);
    } else if (riid == IID_IDispatch) {
        *ppv = static_cast<IDispatch*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
        *ppv = static_cast<IProvideClassInfo2*>(this);
    } else if (riid == IID_IPersist || riid == IID_IPersistStreamInit) {
        *ppv = static_cast<IPersistStreamInit*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE TestControl::AddRef() {
    return static_cast<ULONG>(++m_ref);
}

ULONG STDMETHODCALLTYPE TestControl::Release() {
    const LONG ref = --m_ref;
    if (ref == 0) delete this;
    return static_cast<ULONG>(ref);
}

HRESULT STDMETHODCALLTYPE TestControl::SetClientSite(IOleClientSite* pClientSite) {
    calls.push_back(pClientSite ? "SetClientSite" : "SetClientSite(null)");
    if (pClientSite) pClientSite->AddRef();
    if (m_site) m_site->Release();
    m_site = pClientSite;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::GetClientSite(IOleClientSite** ppClientSite) {
    *ppClientSite = m_site;
    if (m_site) m_site->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
    calls.push_back("SetHostNames");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::Close(DWORD) {
    calls.push_back("Close");
    InPlaceDeactivate();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND hwndParent,
                                              LPCRECT lprcPosRect) {
    calls.push_back("DoVerb " + std::to_string(iVerb));
    if (iVerb != OLEIVERB_INPLACEACTIVATE && iVerb != OLEIVERB_SHOW) return E_NOTIMPL;
    if (m_inPlaceSite) return S_OK;
    if (!pActiveSite || FAILED(pActiveSite->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&m_inPlaceSite)))) {
        return E_FAIL;
    }
    if (m_inPlaceSite->CanInPlaceActivate() != S_OK) return E_FAIL;
    m_inPlaceSite->OnInPlaceActivate();
    m_inPlaceSite->GetWindow(&parentWindow);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{sizeof(OLEINPLACEFRAMEINFO), FALSE, nullptr, nullptr, 0};
    if (SUCCEEDED(m_inPlaceSite->GetWindowContext(&frame, &doc, &pos, &clip, &info))) {
        frameGiven = frame != nullptr;
        if (frame) {
            HWND frameWnd = nullptr;
            frame->GetWindow(&frameWnd);
            frameGiven = frameWnd != nullptr;
            frame->Release();
        }
        if (doc) doc->Release();
    } else if (lprcPosRect) {
        pos = *lprcPosRect;
    }
    activatedAt = pos;
    hWnd = ::CreateWindowExW(0, L"STATIC", L"test control", WS_CHILD | WS_VISIBLE, pos.left, pos.top,
                             pos.right - pos.left, pos.bottom - pos.top, parentWindow ? parentWindow : hwndParent,
                             nullptr, ::GetModuleHandleW(nullptr), nullptr);
    return hWnd ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE TestControl::GetUserClassID(CLSID* pClsid) {
    *pClsid = CLSID_TestControl;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::SetExtent(DWORD, SIZEL*) {
    calls.push_back("SetExtent");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::GetMiscStatus(DWORD, DWORD* pdwStatus) {
    *pdwStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::GetWindow(HWND* phwnd) {
    *phwnd = hWnd;
    return hWnd ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE TestControl::InPlaceDeactivate() {
    if (!m_inPlaceSite) return S_OK;
    calls.push_back("InPlaceDeactivate");
    // A control only destroys a window it can still see; after its parent went, the handle is dead.
    if (hWnd && ::IsWindow(hWnd)) ::DestroyWindow(hWnd);
    m_inPlaceSite->OnInPlaceDeactivate();
    m_inPlaceSite->Release();
    m_inPlaceSite = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
    calls.push_back("SetObjectRects");
    if (hWnd && lprcPosRect) {
        ::MoveWindow(hWnd, lprcPosRect->left, lprcPosRect->top, lprcPosRect->right - lprcPosRect->left,
                     lprcPosRect->bottom - lprcPosRect->top, TRUE);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::GetTypeInfoCount(UINT* pctinfo) {
    *pctinfo = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS* pParams,
                                              VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT*) {
    InvokeRecord rec;
    rec.dispid = dispid;
    rec.flags = wFlags;
    rec.wantsResult = pResult != nullptr;
    if (pParams) {
        for (UINT i = 0; i < pParams->cNamedArgs; ++i) rec.named.push_back(pParams->rgdispidNamedArgs[i]);
        for (UINT i = 0; i < pParams->cArgs; ++i) {
            const VARIANT& v = pParams->rgvarg[i];
            rec.types.push_back(v.vt);
            rec.texts.push_back(v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal))
                                                             : std::wstring());
            LONG n = 0;
            if (v.vt == VT_BOOL) n = v.boolVal;
            if (v.vt == VT_I4) n = v.lVal;
            if (v.vt == VT_I2) n = v.iVal;
            rec.numbers.push_back(n);
            rec.refs.push_back((v.vt & VT_BYREF) ? v.byref : nullptr);
        }
    }
    invokes.push_back(rec);
    if (onInvoke) return onInvoke(dispid, wFlags, pParams, pResult, pExcepInfo);
    if (dispid == 211 && pResult) {
        pResult->vt = VT_BSTR;
        pResult->bstrVal = ::SysAllocString(L"http://test.invalid/location");
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    *ppCP = nullptr;
    if (riid != DIID_TestControlEvents) return CONNECT_E_NOCONNECTION;
    *ppCP = new TestConnectionPoint(this);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::GetClassInfo(ITypeInfo** ppTI) {
    *ppTI = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TestControl::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *pGUID = DIID_TestControlEvents;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::GetClassID(CLSID* pClassID) {
    *pClassID = CLSID_TestControl;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestControl::InitNew() {
    calls.push_back("InitNew");
    return S_OK;
}

HRESULT TestControl::AdviseSink(IUnknown* pUnk, DWORD* pdwCookie) {
    if (sink) return CONNECT_E_ADVISELIMIT;
    // Like a real control, hold the sink as its event interface.
    IUnknown* events = nullptr;
    if (FAILED(pUnk->QueryInterface(DIID_TestControlEvents, reinterpret_cast<void**>(&events)))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    sink = events;
    *pdwCookie = 7;
    calls.push_back("Advise");
    return S_OK;
}

HRESULT TestControl::UnadviseSink(DWORD dwCookie) {
    unadvisedCookie = dwCookie;
    calls.push_back("Unadvise");
    if (dwCookie != 7 || !sink) return CONNECT_E_NOCONNECTION;
    sink->Release();
    sink = nullptr;
    return S_OK;
}

TestControlRegistration::TestControlRegistration() {
    if (FAILED(::CoRegisterClassObject(CLSID_TestControl, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                       &m_cookie))) {
        m_cookie = 0;
    }
}

TestControlRegistration::~TestControlRegistration() {
    if (m_cookie) ::CoRevokeClassObject(m_cookie);
}

HRESULT STDMETHODCALLTYPE CountedDispatch::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

namespace {

int g_recordersLive = 0;
std::vector<RecordingBrowserClass::Entry> g_browserLog;
IClassFactory* g_realBrowserClass = nullptr;
int g_browsersMade = 0;
std::function<void(int)> g_onStop;

// IDispatch of a real browser with ExecWB (dispatch id 502) recorded as "ExecWB <command>
// <execute option in hexadecimal> <value of the in argument>" and Stop (106) as "Stop"; every call
// goes on to the real control.
class RecordingDispatch final : public IDispatch {
public:
    RecordingDispatch(IDispatch* inner, IUnknown* outer, int number)
        : m_inner(inner), m_outer(outer), m_number(number) {
        m_outer->AddRef();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return m_outer->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_ref); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG ref = --m_ref;
        if (ref == 0) delete this;
        return static_cast<ULONG>(ref);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* p) override { return m_inner->GetTypeInfoCount(p); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override {
        return m_inner->GetTypeInfo(i, l, t);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
        return m_inner->GetIDsOfNames(r, n, c, l, d);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* res, EXCEPINFO* e,
                                     UINT* a) override {
        if (id == 502 && p && p->cArgs == 4) {
            // Arguments last to first: pvaOut, pvaIn, cmdexecopt, cmdID.
            const VARIANT& in = p->rgvarg[1];
            const VARIANT* value = in.vt == (VT_BYREF | VT_VARIANT) ? in.pvarVal : &in;
            char option[16];
            std::snprintf(option, sizeof option, "0x%lX", static_cast<unsigned long>(p->rgvarg[2].lVal));
            std::string call = "ExecWB " + std::to_string(p->rgvarg[3].lVal) + " " + option + " " +
                               (value && value->vt == VT_I4 ? std::to_string(value->lVal) : std::string("?"));
            g_browserLog.push_back({m_number, call});
        }
        if (id == 106 && (f & DISPATCH_METHOD) && p && p->cArgs == 0) {
            g_browserLog.push_back({m_number, "Stop"});
            if (g_onStop) {
                // A copy: the hook may replace itself.
                const std::function<void(int)> hook = g_onStop;
                hook(m_number);
            }
        }
        return m_inner->Invoke(id, r, l, f, p, res, e, a);
    }

private:
    ~RecordingDispatch() {
        m_inner->Release();
        m_outer->Release();
    }
    LONG m_ref = 1;
    IDispatch* m_inner;
    IUnknown* m_outer;
    int m_number;
};

// IOleObject of a real browser with Close and SetClientSite(null) recorded, and its IDispatch
// with ExecWB recorded; every other interface is the real control's own.
class RecordingOleObject final : public IOleObject {
public:
    RecordingOleObject(IOleObject* inner, int number) : m_inner(inner), m_number(number) { ++g_recordersLive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IOleObject) {
            *ppv = static_cast<IOleObject*>(this);
            AddRef();
            return S_OK;
        }
        if (riid == IID_IDispatch) {
            IDispatch* inner = nullptr;
            const HRESULT hr = m_inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&inner));
            if (FAILED(hr)) return hr;
            *ppv = static_cast<IDispatch*>(new RecordingDispatch(inner, static_cast<IOleObject*>(this), m_number));
            return S_OK;
        }
        return m_inner->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_ref); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG ref = --m_ref;
        if (ref == 0) delete this;
        return static_cast<ULONG>(ref);
    }
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        if (!site) g_browserLog.push_back({m_number, "SetClientSite(null)"});
        return m_inner->SetClientSite(site);
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** pp) override { return m_inner->GetClientSite(pp); }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR a, LPCOLESTR o) override { return m_inner->SetHostNames(a, o); }
    HRESULT STDMETHODCALLTYPE Close(DWORD option) override {
        g_browserLog.push_back({m_number, option == OLECLOSE_NOSAVE ? "Close" : "Close(save)"});
        return m_inner->Close(option);
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD w, IMoniker* m) override { return m_inner->SetMoniker(w, m); }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD a, DWORD w, IMoniker** m) override { return m_inner->GetMoniker(a, w, m); }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* d, BOOL c, DWORD r) override {
        return m_inner->InitFromData(d, c, r);
    }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD r, IDataObject** d) override {
        return m_inner->GetClipboardData(r, d);
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                                     LPCRECT rect) override {
        return m_inner->DoVerb(verb, msg, site, index, parent, rect);
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** e) override { return m_inner->EnumVerbs(e); }
    HRESULT STDMETHODCALLTYPE Update() override { return m_inner->Update(); }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return m_inner->IsUpToDate(); }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* c) override { return m_inner->GetUserClassID(c); }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD f, LPOLESTR* t) override { return m_inner->GetUserType(f, t); }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD a, SIZEL* s) override { return m_inner->SetExtent(a, s); }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD a, SIZEL* s) override { return m_inner->GetExtent(a, s); }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* s, DWORD* c) override { return m_inner->Advise(s, c); }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD c) override { return m_inner->Unadvise(c); }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** e) override { return m_inner->EnumAdvise(e); }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD a, DWORD* s) override { return m_inner->GetMiscStatus(a, s); }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* p) override { return m_inner->SetColorScheme(p); }

private:
    ~RecordingOleObject() {
        m_inner->Release();
        --g_recordersLive;
    }
    LONG m_ref = 1;
    IOleObject* m_inner;
    int m_number;
};

class RecordingBrowserFactory final : public StaticClassFactory {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer || !g_realBrowserClass) return CLASS_E_NOAGGREGATION;
        IOleObject* inner = nullptr;
        HRESULT hr = g_realBrowserClass->CreateInstance(nullptr, IID_IOleObject, reinterpret_cast<void**>(&inner));
        if (FAILED(hr)) return hr;
        auto* recorder = new RecordingOleObject(inner, ++g_browsersMade);
        g_browserLog.push_back({g_browsersMade, "new"});
        hr = recorder->QueryInterface(riid, ppv);
        recorder->Release();
        return hr;
    }
};

RecordingBrowserFactory g_recordingFactory;

} // namespace

RecordingBrowserClass::RecordingBrowserClass() {
    g_browserLog.clear();
    g_browsersMade = 0;
    if (FAILED(::CoGetClassObject(CLSID_WebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&m_real)))) {
        m_real = nullptr;
        return;
    }
    g_realBrowserClass = m_real;
    if (FAILED(::CoRegisterClassObject(CLSID_WebBrowser, &g_recordingFactory, CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &m_cookie))) {
        m_cookie = 0;
    }
}

RecordingBrowserClass::~RecordingBrowserClass() {
    g_onStop = nullptr;
    if (m_cookie) ::CoRevokeClassObject(m_cookie);
    g_realBrowserClass = nullptr;
    if (m_real) m_real->Release();
}

int RecordingBrowserClass::Live() {
    return g_recordersLive;
}

std::vector<RecordingBrowserClass::Entry>& RecordingBrowserClass::Log() {
    return g_browserLog;
}

std::function<void(int)>& RecordingBrowserClass::OnStop() {
    return g_onStop;
}

} // namespace test
