#pragma once
// A small in-process ActiveX control for hosting tests. It goes through the same creation path
// as the real WebBrowser (CoCreateInstance finds it through CoRegisterClassObject), activates in
// place under the site's window, records what the container and the callers do to it (client
// site, verbs, Invoke calls with their argument types), keeps the event sink the container
// connects, and counts the references it holds and is held by.
#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <functional>
#include <string>
#include <vector>

namespace test {

extern const CLSID CLSID_TestControl;
extern const IID DIID_TestControlEvents;

struct InvokeRecord {
    DISPID dispid = 0;
    WORD flags = 0;
    bool wantsResult = false;
    std::vector<DISPID> named;
    // In rgvarg order (last argument first), as IDispatch::Invoke receives them.
    std::vector<VARTYPE> types;
    std::vector<std::wstring> texts;  // VT_BSTR values ("" otherwise)
    std::vector<LONG> numbers;        // VT_BOOL / VT_I4 / VT_I2 values (0 otherwise)
    std::vector<const void*> refs;    // VT_BYREF pointers (null otherwise)
};

class TestControl final : public IOleObject, public IOleInPlaceObject, public IDispatch,
                          public IConnectionPointContainer, public IProvideClassInfo2, public IPersistStreamInit {
public:
    TestControl();

    // Objects alive right now, and the most recently created one (null when it is gone).
    static int Live();
    static TestControl* Last();

    // What the container did.
    std::vector<std::string> calls; // "SetClientSite", "SetClientSite(null)", "InitNew", "DoVerb", "Close", ...
    RECT activatedAt{};
    HWND parentWindow = nullptr;
    bool frameGiven = false;
    HWND hWnd = nullptr;
    IUnknown* sink = nullptr; // the connected event sink (held)
    DWORD unadvisedCookie = 0;
    std::vector<InvokeRecord> invokes;
    // Answers Invoke; the default gives LocationURL (211) as a BSTR and S_OK otherwise.
    std::function<HRESULT(DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*)> onInvoke;
    // Whether it still holds its client site.
    bool HoldsSite() const { return m_site != nullptr; }
    // Answers IWebBrowser2 with a stand-in whose Stop is recorded in calls ("Stop"); its other
    // methods return E_NOTIMPL. 64-bit builds only (see TestControl.cpp); off by default.
    bool answersAsBrowser = false;
    static constexpr bool kCanAnswerAsBrowser = sizeof(void*) == 8;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* pClientSite) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** ppClientSite) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD dwSaveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND hwndParent,
                                     LPCRECT lprcPosRect) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* pClsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* pdwStatus) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }
    // IOleWindow / IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT lprcPosRect, LPCRECT) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pParams,
                                     VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT*) override;
    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
    // IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD dwGuidKind, GUID* pGUID) override;
    // IPersistStreamInit
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitNew() override;

    // The connection point's half (a separate object, see TestControl.cpp).
    HRESULT AdviseSink(IUnknown* pUnk, DWORD* pdwCookie);
    HRESULT UnadviseSink(DWORD dwCookie);

private:
    ~TestControl();
    LONG m_ref = 1;
    IOleClientSite* m_site = nullptr;
    IOleInPlaceSite* m_inPlaceSite = nullptr;
};

// Registers the test control's class object for the life of the object.
class TestControlRegistration {
public:
    TestControlRegistration();
    ~TestControlRegistration();
    TestControlRegistration(const TestControlRegistration&) = delete;
    TestControlRegistration& operator=(const TestControlRegistration&) = delete;
    bool ok() const { return m_cookie != 0; }

private:
    DWORD m_cookie = 0;
};

// Puts a recorder between the hosting code and every WebBrowser made while the object lives:
// the class is registered for this process in front of the real one, each browser made through it
// gets a number (1, 2, ... in creation order), and the IOleObject handed out records "new",
// "Close" and "SetClientSite(null)" into one log before it passes the call on to the real control,
// as its IDispatch does for "ExecWB <command> <execute option in hexadecimal> <value>" and "Stop".
// Needs COM on the thread.
class RecordingBrowserClass {
public:
    struct Entry {
        int browser = 0;
        std::string call;
        bool operator==(const Entry& o) const { return browser == o.browser && call == o.call; }
    };
    RecordingBrowserClass();
    ~RecordingBrowserClass();
    RecordingBrowserClass(const RecordingBrowserClass&) = delete;
    RecordingBrowserClass& operator=(const RecordingBrowserClass&) = delete;
    bool ok() const { return m_cookie != 0; }
    // Recorders still referenced by anybody.
    static int Live();
    static std::vector<Entry>& Log();
    // Called with the browser's number when its Stop is called, before the call goes on to the
    // real control (as a browser may fire events from inside Stop); empty: nothing. Cleared
    // when the object goes.
    static std::function<void(int browser)>& OnStop();

private:
    IClassFactory* m_real = nullptr;
    DWORD m_cookie = 0;
};

// A plain IDispatch whose references are counted: the object handed to pages as window.external.
class CountedDispatch final : public IDispatch {
public:
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* p) override {
        *p = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

} // namespace test
