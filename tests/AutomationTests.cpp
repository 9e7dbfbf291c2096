// Automation: the dispatch table behind GetIDispatch (names, ids, argument conversion, errors,
// exceptions, lifetime), the event-sink table, and a page's script call into a dialog.
#include "TestControl.h"
#include "TestSupport.h"
#include "framework/CCmdTarget.h"
#include "framework/CDHtmlDialog.h"
#include "framework/COleControlSite.h"
#include "framework/COleDispatchException.h"
#include "framework/COleException.h"
#include "framework/OleInit.h"
#include "framework/Variant.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class BaseTarget : public CCmdTarget {
public:
    long Twice(long n) { return n * 2; }
    void Ping() { ++pings; }
    int pings = 0;
    DECLARE_DISPATCH_MAP()
};

BEGIN_DISPATCH_MAP(BaseTarget, CCmdTarget)
    DISP_FUNCTION(BaseTarget, "Twice", Twice, VT_I4, VTS_I4)
    DISP_FUNCTION(BaseTarget, "ping", Ping, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

class Scripted : public BaseTarget {
public:
    Scripted() { EnableAutomation(); }

    void outLink(const VARIANT& a, const VARIANT& b) {
        linkTypes = {a.vt, b.vt};
        linkTexts = {fw::VariantText(&a), fw::VariantText(&b)};
    }
    std::wstring Join(const std::wstring& a, LPCWSTR b, BSTR c) {
        return a + L"|" + b + L"|" + (c && *c ? std::wstring(c) : L"(empty)");
    }
    BOOL Flags(BOOL a, bool b, VARIANT_BOOL c, short d) {
        flagArgs = {a, b ? 1 : 0, c, d};
        return a && !b;
    }
    void Refs(VARIANT* v, VARIANT_BOOL* pb, IDispatch* d) {
        refVariant = v;
        refDispatch = d;
        ::VariantClear(v);
        v->vt = VT_I4;
        v->lVal = 99;
        *pb = VARIANT_TRUE;
    }
    double Sum(double a, float b, BYTE c, unsigned long d) { return a + b + c + static_cast<double>(d); }
    void Fail(long kind) {
        switch (kind) {
        case 1: throw COleDispatchException(L"Scripted", L"refused", 12, E_ABORT);
        case 2: throw COleException(E_ACCESSDENIED);
        case 3: throw std::bad_alloc();
        case 4: throw std::runtime_error("went wrong");
        default: throw kind;
        }
    }

    std::vector<VARTYPE> linkTypes;
    std::vector<std::wstring> linkTexts;
    std::vector<int> flagArgs;
    VARIANT* refVariant = nullptr;
    IDispatch* refDispatch = reinterpret_cast<IDispatch*>(1);
    DECLARE_DISPATCH_MAP()
};

BEGIN_DISPATCH_MAP(Scripted, BaseTarget)
    DISP_FUNCTION(Scripted, "outLink", outLink, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(Scripted, "Join", Join, VT_BSTR, VTS_BSTR VTS_BSTR VTS_BSTR)
    DISP_FUNCTION_ID(Scripted, "Flags", 77, Flags, VT_BOOL, VTS_BOOL VTS_BOOL VTS_BOOL VTS_I2)
    DISP_FUNCTION(Scripted, "Refs", Refs, VT_EMPTY, VTS_PVARIANT VTS_PBOOL VTS_DISPATCH)
    DISP_FUNCTION(Scripted, "Sum", Sum, VT_R8, VTS_R8 VTS_R4 VTS_UI1 VTS_I4)
    DISP_FUNCTION(Scripted, "Fail", Fail, VT_EMPTY, VTS_I4)
END_DISPATCH_MAP()

DISPID IdOf(IDispatch* disp, const wchar_t* name, HRESULT* phr = nullptr) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    const HRESULT hr = disp->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (phr) *phr = hr;
    return id;
}

VARIANT Str(const fw::Bstr& b) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = b.get();
    return v;
}

VARIANT Long(LONG n) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

struct Call {
    HRESULT hr;
    fw::Variant result;
    EXCEPINFO ex{};
    UINT argErr = 12345;
};

// args in call order; Invoke receives them last to first.
Call Invoke(IDispatch* disp, DISPID id, std::vector<VARIANT> args, WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS dp{rev.empty() ? nullptr : rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    Call c;
    c.hr = disp->Invoke(id, IID_NULL, 0, flags, &dp, c.result.get(), &c.ex, &c.argErr);
    return c;
}

void FreeExcepInfo(EXCEPINFO& ex) {
    ::SysFreeString(ex.bstrSource);
    ::SysFreeString(ex.bstrDescription);
    ::SysFreeString(ex.bstrHelpFile);
    ex = EXCEPINFO{};
}

TEST(DispatchTable, NamesMatchInAnyCaseAndIdsFollowTheTables) {
    Scripted target;
    IDispatch* disp = target.GetIDispatch(FALSE);
    ASSERT_NE(disp, nullptr);
    HRESULT hr = E_FAIL;
    // First entry of the most-derived table without an id of its own: 1.
    for (const wchar_t* name : {L"outLink", L"OUTLINK", L"outlink", L"OutLink"}) {
        EXPECT_EQ(IdOf(disp, name, &hr), 1) << name;
        EXPECT_EQ(hr, S_OK);
    }
    EXPECT_EQ(IdOf(disp, L"join"), 2);
    EXPECT_EQ(IdOf(disp, L"FLAGS"), 77);
    EXPECT_EQ(IdOf(disp, L"Refs"), 4);
    // The base table is one level further away.
    EXPECT_EQ(IdOf(disp, L"twice"), MAKELONG(1, 1));
    EXPECT_EQ(IdOf(disp, L"PING"), MAKELONG(2, 1));
    // A base object alone numbers its own table from 1.
    BaseTarget base;
    base.EnableAutomation();
    EXPECT_EQ(IdOf(base.GetIDispatch(FALSE), L"Twice"), 1);

    EXPECT_EQ(IdOf(disp, L"outLinks", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(IdOf(disp, L"", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);

    // Parameter names are not known; the member's id still comes back.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"outlink"), const_cast<LPOLESTR>(L"a")};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(disp->GetIDsOfNames(IID_IDispatch, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
    UINT count = 9;
    EXPECT_EQ(disp->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);

    // The ids found are the ids Invoke answers.
    Call c = Invoke(disp, IdOf(disp, L"TWICE"), {Long(21)});
    EXPECT_EQ(c.hr, S_OK);
    ASSERT_EQ(c.result.vt(), VT_I4);
    EXPECT_EQ(c.result.get()->lVal, 42);
    EXPECT_EQ(Invoke(disp, MAKELONG(2, 1), {}).hr, S_OK);
    EXPECT_EQ(target.pings, 1);
}

TEST(DispatchTable, ArgumentsArriveConvertedToTheDeclaredTypes) {
    Scripted target;
    IDispatch* disp = target.GetIDispatch(FALSE);

    // VTS_VARIANT: as sent, unconverted.
    fw::Bstr game(L"http://example.invalid/game");
    Call c = Invoke(disp, 1, {Long(5), Str(game)});
    ASSERT_EQ(c.hr, S_OK);
    EXPECT_EQ(c.result.vt(), VT_EMPTY);
    EXPECT_EQ(target.linkTypes, (std::vector<VARTYPE>{VT_I4, VT_BSTR}));
    EXPECT_EQ(target.linkTexts, (std::vector<std::wstring>{L"5", L"http://example.invalid/game"}));

    // VTS_BSTR: numbers become their text; a null BSTR reaches LPCWSTR as "" and BSTR as null or "".
    fw::Bstr a(L"a");
    VARIANT nullString;
    nullString.vt = VT_BSTR;
    nullString.bstrVal = nullptr;
    c = Invoke(disp, 2, {Str(a), Long(42), nullString});
    ASSERT_EQ(c.hr, S_OK);
    ASSERT_EQ(c.result.vt(), VT_BSTR);
    EXPECT_EQ(fw::VariantText(c.result.get()), L"a|42|(empty)");
    c = Invoke(disp, 2, {nullString, nullString, Str(a)});
    ASSERT_EQ(c.hr, S_OK);
    EXPECT_EQ(fw::VariantText(c.result.get()), L"||a");

    // VTS_BOOL: BOOL gets TRUE, bool true, VARIANT_BOOL the -1 as sent; the result is a VT_BOOL.
    fw::Bstr twelve(L"12");
    c = Invoke(disp, 77, {Long(7), Long(0), Long(1), Str(twelve)});
    ASSERT_EQ(c.hr, S_OK);
    EXPECT_EQ(target.flagArgs, (std::vector<int>{TRUE, 0, VARIANT_TRUE, 12}));
    ASSERT_EQ(c.result.vt(), VT_BOOL);
    EXPECT_EQ(c.result.get()->boolVal, VARIANT_TRUE);

    // Numbers from text and from other widths.
    fw::Bstr half(L"2.5"), ten(L"10");
    VARIANT small;
    small.vt = VT_I2;
    small.iVal = 4;
    c = Invoke(disp, 5, {Str(half), Long(3), small, Str(ten)});
    ASSERT_EQ(c.hr, S_OK);
    ASSERT_EQ(c.result.vt(), VT_R8);
    EXPECT_DOUBLE_EQ(c.result.get()->dblVal, 19.5);

    // References: the target of a VARIANT reference, or the plain argument itself.
    VARIANT target1;
    ::VariantInit(&target1);
    VARIANT_BOOL flag = VARIANT_FALSE;
    VARIANT byref, pbool, empty;
    byref.vt = VT_BYREF | VT_VARIANT;
    byref.pvarVal = &target1;
    pbool.vt = VT_BYREF | VT_BOOL;
    pbool.pboolVal = &flag;
    empty.vt = VT_EMPTY;
    c = Invoke(disp, 4, {byref, pbool, empty});
    ASSERT_EQ(c.hr, S_OK);
    EXPECT_EQ(target.refVariant, &target1);
    EXPECT_EQ(target1.vt, VT_I4);
    EXPECT_EQ(target1.lVal, 99);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(target.refDispatch, nullptr);

    std::vector<VARIANT> rev = {Long(1), pbool, Long(5)}; // last first: dispatch, pbool, plain value
    rev[0].vt = VT_NULL;
    DISPPARAMS dp{rev.data(), nullptr, 3, 0};
    ASSERT_EQ(disp->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(target.refVariant, &rev[2]) << "a plain argument is passed by its own address";
    EXPECT_EQ(rev[2].lVal, 99);
    EXPECT_EQ(target.refDispatch, nullptr);

    // A null VARIANT reference reaches the member as an empty value, never as null.
    VARIANT nullRef;
    nullRef.vt = VT_BYREF | VT_VARIANT;
    nullRef.pvarVal = nullptr;
    test::CountedDispatch object;
    VARIANT obj;
    obj.vt = VT_DISPATCH;
    obj.pdispVal = &object;
    c = Invoke(disp, 4, {nullRef, pbool, obj});
    ASSERT_EQ(c.hr, S_OK);
    EXPECT_NE(target.refVariant, nullptr);
    EXPECT_EQ(target.refDispatch, &object);
    EXPECT_EQ(object.refs, 1) << "arguments are borrowed, not kept";
}

TEST(DispatchTable, BadCallsAreRefusedWithTheirStatus) {
    Scripted target;
    IDispatch* disp = target.GetIDispatch(FALSE);
    fw::Bstr abc(L"abc");

    Call c = Invoke(disp, 1, {Long(1)});
    EXPECT_EQ(c.hr, DISP_E_BADPARAMCOUNT);
    EXPECT_TRUE(target.linkTypes.empty());
    EXPECT_EQ(Invoke(disp, 1, {Long(1), Long(2), Long(3)}).hr, DISP_E_BADPARAMCOUNT);

    // Text that is no number: the position in rgvarg of the bad argument comes back.
    c = Invoke(disp, 5, {Long(1), Str(abc), Long(2), Long(3)});
    EXPECT_EQ(c.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(c.argErr, 2u);
    // An object where a reference is declared; a number where an object is declared.
    VARIANT flag;
    flag.vt = VT_BOOL;
    flag.boolVal = VARIANT_TRUE;
    c = Invoke(disp, 4, {Long(1), flag, Long(2)});
    EXPECT_EQ(c.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(c.argErr, 1u);
    VARIANT_BOOL b = 0;
    VARIANT pbool;
    pbool.vt = VT_BYREF | VT_BOOL;
    pbool.pboolVal = &b;
    c = Invoke(disp, 4, {Long(1), pbool, Long(2)});
    EXPECT_EQ(c.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(c.argErr, 0u);
    EXPECT_EQ(b, 0) << "nothing ran";

    EXPECT_EQ(Invoke(disp, 999, {}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(disp, 1, {Long(1), Long(2)}, DISPATCH_PROPERTYGET).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(disp, 1, {Long(1), Long(2)}, DISPATCH_PROPERTYPUT).hr, DISP_E_MEMBERNOTFOUND);
    // Script engines often ask for method-or-property.
    EXPECT_EQ(Invoke(disp, 1, {Long(1), Long(2)}, DISPATCH_METHOD | DISPATCH_PROPERTYGET).hr, S_OK);

    VARIANT args[2] = {Long(1), Long(2)};
    DISPID named = 0;
    DISPPARAMS withNames{args, &named, 2, 1};
    EXPECT_EQ(disp->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &withNames, nullptr, nullptr, nullptr), DISP_E_NONAMEDARGS);
    DISPPARAMS plain{args, nullptr, 2, 0};
    EXPECT_EQ(disp->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &plain, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    DISPPARAMS noArray{nullptr, nullptr, 2, 0};
    EXPECT_EQ(disp->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &noArray, nullptr, nullptr, nullptr), E_INVALIDARG);
    // No DISPPARAMS at all is a call without arguments; no result wanted is fine.
    EXPECT_EQ(disp->Invoke(MAKELONG(2, 1), IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(target.pings, 1);
}

TEST(DispatchTable, ExceptionsInMembersComeBackAsExceptionInfo) {
    Scripted target;
    IDispatch* disp = target.GetIDispatch(FALSE);

    Call c = Invoke(disp, 6, {Long(1)});
    EXPECT_EQ(c.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(c.ex.scode, E_ABORT);
    EXPECT_EQ(c.ex.wCode, 0);
    EXPECT_STREQ(c.ex.bstrSource, L"Scripted");
    EXPECT_STREQ(c.ex.bstrDescription, L"refused");
    EXPECT_EQ(c.ex.dwHelpContext, 12u);
    EXPECT_EQ(c.result.vt(), VT_EMPTY);
    FreeExcepInfo(c.ex);

    const struct {
        long kind;
        SCODE scode;
        const wchar_t* description;
    } cases[] = {
        {2, E_ACCESSDENIED, nullptr},
        {3, E_OUTOFMEMORY, L"Out of memory."},
        {4, E_FAIL, L"went wrong"},
        {5, E_UNEXPECTED, L"Unexpected exception in an automation handler."},
    };
    for (const auto& k : cases) {
        c = Invoke(disp, 6, {Long(k.kind)});
        EXPECT_EQ(c.hr, DISP_E_EXCEPTION) << k.kind;
        EXPECT_EQ(c.ex.scode, k.scode) << k.kind;
        if (k.description) {
            EXPECT_STREQ(c.ex.bstrDescription, k.description);
        } else {
            EXPECT_EQ(c.ex.bstrDescription, nullptr);
        }
        FreeExcepInfo(c.ex);
    }
    // The caller may give no EXCEPINFO.
    VARIANT arg = Long(4);
    DISPPARAMS dp{&arg, nullptr, 1, 0};
    EXPECT_EQ(disp->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), DISP_E_EXCEPTION);
}

TEST(DispatchTable, TheDispatchObjectOutlivesItsOwnerWithoutReachingIt) {
    BaseTarget plain;
    EXPECT_EQ(plain.GetIDispatch(FALSE), nullptr) << "automation not enabled";
    EXPECT_EQ(plain.GetIDispatch(TRUE), nullptr);

    IDispatch* kept = nullptr;
    {
        Scripted target;
        IDispatch* disp = target.GetIDispatch(FALSE);
        target.EnableAutomation();
        EXPECT_EQ(target.GetIDispatch(FALSE), disp) << "enabled once";
        // Only the owner holds it; GetIDispatch(TRUE) adds the caller's reference.
        EXPECT_EQ(disp->AddRef(), 2u);
        EXPECT_EQ(disp->Release(), 1u);
        kept = target.GetIDispatch(TRUE);
        EXPECT_EQ(kept, disp);
        EXPECT_EQ(Invoke(kept, MAKELONG(2, 1), {}).hr, S_OK);
        EXPECT_EQ(target.pings, 1);
        IDispatch* viaQuery = nullptr;
        ASSERT_EQ(kept->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&viaQuery)), S_OK);
        EXPECT_EQ(viaQuery, kept);
        viaQuery->Release();
    }
    // The owner is gone: calls fail without touching it.
    EXPECT_EQ(Invoke(kept, MAKELONG(2, 1), {}).hr, RPC_E_DISCONNECTED);
    HRESULT hr = S_OK;
    IdOf(kept, L"ping", &hr);
    EXPECT_EQ(hr, RPC_E_DISCONNECTED);
    EXPECT_EQ(kept->Release(), 0u) << "ours was the last reference";

    // ExternalDisconnect cuts it off early.
    Scripted early;
    IDispatch* d = early.GetIDispatch(TRUE);
    early.ExternalDisconnect();
    EXPECT_EQ(early.GetIDispatch(FALSE), nullptr);
    EXPECT_EQ(Invoke(d, 1, {Long(1), Long(2)}).hr, RPC_E_DISCONNECTED);
    EXPECT_EQ(d->Release(), 0u);
}

// --- Event-sink tables ---

class BaseSinks : public CCmdTarget {
public:
    void BaseFirst(long n) { log.push_back(L"base-first " + std::to_wstring(n)); }
    void BaseSecond(const std::wstring& s) { log.push_back(L"base-second " + s); }
    std::vector<std::wstring> log;
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(BaseSinks, CCmdTarget)
    ON_EVENT(BaseSinks, 5, 1, BaseFirst, VTS_I4)
    ON_EVENT(BaseSinks, 5, 2, BaseSecond, VTS_BSTR)
END_EVENTSINK_MAP()

class DerivedSinks : public BaseSinks {
public:
    BOOL DerivedFirst(long n) {
        log.push_back(L"derived-first " + std::to_wstring(n));
        return TRUE;
    }
    void OtherControl(long) { log.push_back(L"other"); }
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(DerivedSinks, BaseSinks)
    ON_EVENT(DerivedSinks, 5, 1, DerivedFirst, VTS_I4)
    ON_EVENT(DerivedSinks, 6, 1, OtherControl, VTS_I4)
END_EVENTSINK_MAP()

TEST(EventSinkTable, MostDerivedEntryForTheControlAndEventRunsBaseEntriesOtherwise) {
    DerivedSinks target;
    VARIANT n = Long(3);
    DISPPARAMS one{&n, nullptr, 1, 0};
    EXPECT_EQ(target.OnEvent(5, 1, &one, nullptr, nullptr), S_OK);
    EXPECT_EQ(target.log, std::vector<std::wstring>{L"derived-first 3"});

    fw::Bstr text(L"x");
    VARIANT s = Str(text);
    DISPPARAMS str{&s, nullptr, 1, 0};
    EXPECT_EQ(target.OnEvent(5, 2, &str, nullptr, nullptr), S_OK);
    EXPECT_EQ(target.log.back(), L"base-second x");

    // Other controls and other events reach nothing.
    target.log.clear();
    EXPECT_EQ(target.OnEvent(7, 1, &one, nullptr, nullptr), S_OK);
    EXPECT_EQ(target.OnEvent(5, 3, &one, nullptr, nullptr), S_OK);
    EXPECT_TRUE(target.log.empty());
    EXPECT_EQ(target.OnEvent(6, 1, &one, nullptr, nullptr), S_OK);
    EXPECT_EQ(target.log, std::vector<std::wstring>{L"other"});

    // The base object alone runs its own entry.
    BaseSinks base;
    EXPECT_EQ(base.OnEvent(5, 1, &one, nullptr, nullptr), S_OK);
    EXPECT_EQ(base.log, std::vector<std::wstring>{L"base-first 3"});
    EXPECT_EQ(base.OnEvent(6, 1, &one, nullptr, nullptr), S_OK);
    EXPECT_EQ(base.log.size(), 1u);
}

// --- A page's script call into the dialog that is its external object ---

class ExternalDialog : public CDHtmlDialog {
public:
    ExternalDialog() : CDHtmlDialog(IDD_VXGAME_DIALOG, IDR_HTML_GAME) { EnableAutomation(); }
    BOOL OnInitDialog() override {
        CDHtmlDialog::OnInitDialog();
        IDispatch* self = GetIDispatch(TRUE);
        SetExternalDispatch(self);
        self->Release();
        return TRUE;
    }
    BOOL IsExternalDispatchSafe() override { return TRUE; }
    void outLink(const VARIANT& a, const VARIANT& b) { calls.push_back(fw::VariantText(&a) + L" " + fw::VariantText(&b)); }
    std::vector<std::wstring> calls;
    DECLARE_DISPATCH_MAP()
};

BEGIN_DISPATCH_MAP(ExternalDialog, CDHtmlDialog)
    DISP_FUNCTION(ExternalDialog, "outLink", outLink, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

TEST(ScriptedDialog, PageCallsReachTheDialogThroughItsExternalObject) {
    AfxEnableControlContainer();
    IDispatch* external = nullptr;
    {
        ExternalDialog dlg;
        ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
        ASSERT_NE(dlg.m_wndBrowser.m_pCtrlSite, nullptr);
        // What the browser does for window.external.OUTLINK("s1", 12).
        IDocHostUIHandler* host = dlg.m_wndBrowser.m_pCtrlSite;
        ASSERT_EQ(host->GetExternal(&external), S_OK);
        ASSERT_EQ(external, dlg.GetIDispatch(FALSE));
        const DISPID id = IdOf(external, L"OUTLINK");
        EXPECT_EQ(id, 1);
        fw::Bstr first(L"s1");
        EXPECT_EQ(Invoke(external, id, {Str(first), Long(12)}).hr, S_OK);
        EXPECT_EQ(dlg.calls, std::vector<std::wstring>{L"s1 12"});
        dlg.DestroyWindow();
    }
    // The page may hold on to it after the dialog is gone.
    EXPECT_EQ(Invoke(external, 1, {Long(1), Long(2)}).hr, RPC_E_DISCONNECTED);
    EXPECT_EQ(external->Release(), 0u);
}

} // namespace
