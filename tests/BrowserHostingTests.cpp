// Hosting the WebBrowser control: the HTML dialog's own browser, template items, the control
// site's document-host answers and the release of everything hosted.
#include "TestControl.h"
#include "TestSupport.h"
#include "framework/BrowserInitState.h"
#include "framework/CControlContainer.h"
#include "framework/COleDispatchException.h"
#include "framework/COleException.h"
#include "framework/CDHtmlDialog.h"
#include "framework/CWinApp.h"
#include "framework/OccManager.h"
#include "framework/OleInit.h"
#include "framework/Variant.h"
#include "launcher/CWebBrowser2.h"
#include "resource.h"

#include <urlmon.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

RECT ChildRectInParent(HWND hChild) {
    RECT r{};
    ::GetWindowRect(hChild, &r);
    ::MapWindowPoints(nullptr, ::GetParent(hChild), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class HtmlDialogHosting : public testing::Test {
protected:
    void SetUp() override { AfxEnableControlContainer(); }
};

// The game window's shape: template 150, page 106.
class PageDialog : public CDHtmlDialog {
public:
    PageDialog() : CDHtmlDialog(IDD_VXGAME_DIALOG, IDR_HTML_GAME) {}
    void OnBeforeNavigate(IDispatch* pDisp, const std::wstring& url) override {
        before.push_back(url);
        beforeFromOwnBrowser.push_back(pDisp && m_pBrowserApp && pDisp == static_cast<IDispatch*>(m_pBrowserApp.get()));
    }
    std::vector<std::wstring> before;
    std::vector<bool> beforeFromOwnBrowser;
};

TEST_F(HtmlDialogHosting, OwnBrowserFillsTheClientAreaShowsThePageAndFollowsTheSize) {
    PageDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    ASSERT_TRUE(dlg.m_pBrowserApp);
    HWND hBrowser = dlg.m_wndBrowser.m_hWnd;
    ASSERT_NE(hBrowser, nullptr);
    EXPECT_EQ(::GetParent(hBrowser), dlg.m_hWnd);
    EXPECT_EQ(::GetDlgItem(dlg.m_hWnd, CDHtmlDialog::kBrowserId), hBrowser);
    EXPECT_EQ(test::ClassNameOf(hBrowser), L"Shell Embedding");
    EXPECT_TRUE(::GetWindowLongW(hBrowser, GWL_STYLE) & WS_VISIBLE);
    ASSERT_NE(dlg.m_wndBrowser.m_pCtrlSite, nullptr);
    EXPECT_EQ(dlg.m_wndBrowser.m_pCtrlSite->m_hWnd, hBrowser);

    RECT client{};
    ::GetClientRect(dlg.m_hWnd, &client);
    EXPECT_TRUE(SameRect(ChildRectInParent(hBrowser), client));

    // The page resource is requested by the browser itself, before anything else.
    ASSERT_FALSE(dlg.before.empty());
    EXPECT_EQ(dlg.before.front(), CDHtmlDialog::ResourceUrl(IDR_HTML_GAME));
    EXPECT_EQ(dlg.before.front().rfind(L"res://", 0), 0u);
    EXPECT_NE(dlg.before.front().find(L"orvane_tests.exe/23/106"), std::wstring::npos);
    EXPECT_TRUE(dlg.beforeFromOwnBrowser.front());

    // WM_SIZE moves the browser to 0,0 and the new client size.
    ASSERT_TRUE(::SetWindowPos(dlg.m_hWnd, nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE));
    ::GetClientRect(dlg.m_hWnd, &client);
    EXPECT_TRUE(SameRect(ChildRectInParent(hBrowser), client));
    RECT small{0, 0, 300, 200};
    ::AdjustWindowRectEx(&small, static_cast<DWORD>(::GetWindowLongW(dlg.m_hWnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(dlg.m_hWnd, GWL_EXSTYLE)));
    ASSERT_TRUE(::SetWindowPos(dlg.m_hWnd, nullptr, 0, 0, small.right - small.left, small.bottom - small.top,
                               SWP_NOZORDER | SWP_NOACTIVATE));
    ::GetClientRect(dlg.m_hWnd, &client);
    EXPECT_TRUE(SameRect(ChildRectInParent(hBrowser), client));
    EXPECT_EQ(client.right, 300);

    // Destruction releases the browser and the site; the window object lets go of its handle.
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_FALSE(dlg.m_pBrowserApp);
    EXPECT_EQ(dlg.m_wndBrowser.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_wndBrowser.m_pCtrlSite, nullptr);
    EXPECT_FALSE(::IsWindow(hBrowser));
    auto* cont = CControlContainer::Of(&dlg, false);
    ASSERT_NE(cont, nullptr);
    EXPECT_EQ(cont->GetSiteCount(), 0u);

    // The same object made again hosts a new browser in its new window.
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    ASSERT_TRUE(dlg.m_pBrowserApp);
    ASSERT_NE(dlg.m_wndBrowser.m_hWnd, nullptr);
    EXPECT_EQ(::GetParent(dlg.m_wndBrowser.m_hWnd), dlg.m_hWnd);
    EXPECT_EQ(cont->GetSiteCount(), 1u);
    dlg.DestroyWindow();
}

// Its own entry for the browser's BeforeNavigate2 takes the place of the framework's.
class NavigationRecorder : public PageDialog {
public:
    struct Record {
        std::wstring url, headers;
        std::string post;
        VARTYPE postType = VT_EMPTY;
        bool cancelWritable = false;
    };
    void OnBefore(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT* postData, VARIANT* headers,
                  VARIANT_BOOL* cancel) {
        Record r;
        r.url = fw::VariantText(url);
        r.headers = fw::VariantText(headers);
        const VARIANT* post = postData;
        while (post && post->vt == (VT_BYREF | VT_VARIANT)) post = post->pvarVal;
        if (post) {
            r.postType = post->vt;
            if (post->vt == (VT_ARRAY | VT_UI1) && post->parray) {
                void* data = nullptr;
                if (SUCCEEDED(::SafeArrayAccessData(post->parray, &data))) {
                    r.post.assign(static_cast<const char*>(data),
                                  static_cast<const char*>(data) + post->parray->rgsabound[0].cElements);
                    ::SafeArrayUnaccessData(post->parray);
                }
            }
        }
        r.cancelWritable = cancel != nullptr;
        records.push_back(r);
    }
    std::vector<Record> records;
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(NavigationRecorder, PageDialog)
    ON_EVENT(NavigationRecorder, CDHtmlDialog::kBrowserId, 250, OnBefore,
             VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
END_EVENTSINK_MAP()

TEST_F(HtmlDialogHosting, NavigateHandsUrlHeadersAndPostDataToTheBrowser) {
    NavigationRecorder dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    ASSERT_TRUE(dlg.m_pBrowserApp);
    ASSERT_EQ(dlg.records.size(), 1u);
    EXPECT_EQ(dlg.records[0].url, CDHtmlDialog::ResourceUrl(IDR_HTML_GAME));
    EXPECT_EQ(dlg.records[0].postType, VT_EMPTY);
    // The derived entry replaced the framework's one, whose hook would have recorded too.
    EXPECT_TRUE(dlg.before.empty());

    dlg.Navigate(L"http://example.invalid/game?x=1", 0, nullptr, L"X-Test: 1\r\n", const_cast<char*>("a=1&b"), 5);
    ASSERT_TRUE(test::PumpUntil([&] { return dlg.records.size() == 2; }, 3000));
    const auto& r = dlg.records[1];
    EXPECT_EQ(r.url, L"http://example.invalid/game?x=1");
    EXPECT_EQ(r.headers, L"X-Test: 1\r\n");
    EXPECT_EQ(r.postType, VT_ARRAY | VT_UI1);
    // Wine's BeforeNavigate2 reports the post data's length but copies the wrong bytes into the
    // event's array (its navigate_bsc copies from the new array itself); the bytes we hand over
    // are checked in NavigateArgumentsAreProperVariants.
    EXPECT_EQ(r.post.size(), 5u);
    EXPECT_TRUE(r.cancelWritable);
    dlg.DestroyWindow();
}

TEST_F(HtmlDialogHosting, NavigateArgumentsAreProperVariants) {
    const char post[] = {'k', '=', '\0', 'v'};
    auto args = CDHtmlDialog::MakeNavigateArgs(0x2, L"_top", L"H: v\r\n", post, sizeof post);
    ASSERT_EQ(args.flags.vt(), VT_I4);
    EXPECT_EQ(args.flags.get()->lVal, 2);
    ASSERT_EQ(args.targetFrame.vt(), VT_BSTR);
    EXPECT_STREQ(args.targetFrame.get()->bstrVal, L"_top");
    ASSERT_EQ(args.headers.vt(), VT_BSTR);
    EXPECT_STREQ(args.headers.get()->bstrVal, L"H: v\r\n");
    ASSERT_EQ(args.postData.vt(), VT_ARRAY | VT_UI1);
    SAFEARRAY* psa = args.postData.get()->parray;
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(::SafeArrayGetDim(psa), 1u);
    LONG lo = -1, hi = -1;
    ::SafeArrayGetLBound(psa, 1, &lo);
    ::SafeArrayGetUBound(psa, 1, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 3);
    void* data = nullptr;
    ASSERT_EQ(::SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(std::string(static_cast<char*>(data), 4), std::string(post, 4));
    ::SafeArrayUnaccessData(psa);

    // Nothing given: flags still go, the rest stays empty.
    auto none = CDHtmlDialog::MakeNavigateArgs(0, nullptr, nullptr, post, 0);
    EXPECT_EQ(none.flags.vt(), VT_I4);
    EXPECT_EQ(none.targetFrame.vt(), VT_EMPTY);
    EXPECT_EQ(none.headers.vt(), VT_EMPTY);
    EXPECT_EQ(none.postData.vt(), VT_EMPTY);
}

// --- Controls hosted through CWnd::CreateControl: the test control records what it is told ---

class HostedControl : public HtmlDialogHosting {
protected:
    void SetUp() override {
        HtmlDialogHosting::SetUp(); // OLE first: the class object is registered with it
        registration = std::make_unique<test::TestControlRegistration>();
        ASSERT_TRUE(registration->ok());
    }
    void TearDown() override {
        registration.reset();
        EXPECT_EQ(test::TestControl::Live(), 0) << "a hosted control was leaked";
    }
    std::unique_ptr<test::TestControlRegistration> registration;
};

size_t IndexOf(const std::vector<std::string>& calls, const std::string& what) {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] == what) return i;
    }
    return calls.size();
}

TEST_F(HostedControl, CreateControlHostsTheControlAtItsRectangleAndIdAndBindsTheWindowObject) {
    CDialog dlg(IDD_VXGAME_DIALOG);
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    CWebBrowser2 wrapper;
    const RECT rc{10, 20, 110, 70};
    ASSERT_TRUE(wrapper.CreateControl(test::CLSID_TestControl, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, rc, &dlg, 321));
    test::TestControl* ctl = test::TestControl::Last();
    ASSERT_NE(ctl, nullptr);

    // The container's order: site first (the control asks for it), fresh state, events, activation.
    const auto& calls = ctl->calls;
    ASSERT_LT(IndexOf(calls, "SetClientSite"), calls.size());
    EXPECT_LT(IndexOf(calls, "SetClientSite"), IndexOf(calls, "InitNew"));
    EXPECT_LT(IndexOf(calls, "InitNew"), IndexOf(calls, "Advise"));
    EXPECT_LT(IndexOf(calls, "Advise"), IndexOf(calls, "DoVerb -5"));
    EXPECT_LT(IndexOf(calls, "DoVerb -5"), calls.size());
    EXPECT_EQ(IndexOf(calls, "SetExtent"), calls.size()) << "no state record was given";

    EXPECT_EQ(ctl->parentWindow, dlg.m_hWnd);
    EXPECT_TRUE(ctl->frameGiven);
    EXPECT_TRUE(SameRect(ctl->activatedAt, rc));
    ASSERT_NE(ctl->hWnd, nullptr);
    EXPECT_EQ(wrapper.m_hWnd, ctl->hWnd);
    EXPECT_EQ(CWnd::FromHandlePermanent(ctl->hWnd), &wrapper);
    EXPECT_EQ(::GetDlgItem(dlg.m_hWnd, 321), ctl->hWnd);
    EXPECT_TRUE(SameRect(ChildRectInParent(ctl->hWnd), rc));
    const LONG style = ::GetWindowLongW(ctl->hWnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(style & WS_TABSTOP);

    ASSERT_NE(wrapper.m_pCtrlSite, nullptr);
    EXPECT_EQ(wrapper.m_pCtrlSite->GetID(), 321u);
    EXPECT_EQ(CControlContainer::Of(&dlg, false)->FindSite(ctl->hWnd), wrapper.m_pCtrlSite);
    // The sink the control holds is the site's, connected to the control's default source interface.
    ASSERT_NE(ctl->sink, nullptr);
    EXPECT_EQ(wrapper.m_pCtrlSite->GetEventIID(), test::DIID_TestControlEvents);
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    ctl->sink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    wrapper.m_pCtrlSite->GetEventSink()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b);
    a->Release();
    b->Release();

    // A hidden, disabled control stays so.
    CWnd hidden;
    ASSERT_TRUE(hidden.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD | WS_DISABLED, rc, &dlg, 322));
    EXPECT_FALSE(::GetWindowLongW(hidden.m_hWnd, GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(::IsWindowEnabled(hidden.m_hWnd));

    // Moving through the site tells the control (it moves its own window).
    const RECT moved{30, 40, 230, 140};
    wrapper.m_pCtrlSite->MoveWindow(moved);
    EXPECT_TRUE(SameRect(ChildRectInParent(ctl->hWnd), moved));
    EXPECT_LT(IndexOf(ctl->calls, "SetObjectRects"), ctl->calls.size());

    dlg.DestroyWindow();
    EXPECT_EQ(wrapper.m_hWnd, nullptr);
    EXPECT_EQ(wrapper.m_pCtrlSite, nullptr);
}

TEST_F(HostedControl, WrapperCallsSendTheDispatchIdsKindsAndArgumentTypes) {
    CDialog dlg(IDD_VXGAME_DIALOG);
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    CWebBrowser2 wrapper;
    ASSERT_TRUE(wrapper.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 50, 50},
                                      &dlg, 1005));
    test::TestControl* ctl = test::TestControl::Last();
    ASSERT_NE(ctl, nullptr);

    // Navigate: method 104, the URL as a BSTR, four VARIANT references; arguments last to first.
    wrapper.Navigate(L"http://example.invalid/start", nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(ctl->invokes.size(), 1u);
    const test::InvokeRecord& nav = ctl->invokes[0];
    EXPECT_EQ(nav.dispid, 104);
    EXPECT_EQ(nav.flags, DISPATCH_METHOD);
    EXPECT_FALSE(nav.wantsResult);
    EXPECT_TRUE(nav.named.empty());
    ASSERT_EQ(nav.types.size(), 5u);
    EXPECT_EQ(nav.types[4], VT_BSTR);
    EXPECT_EQ(nav.texts[4], L"http://example.invalid/start");
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(nav.types[i], VT_BYREF | VT_VARIANT) << i;
        EXPECT_EQ(nav.refs[i], nullptr) << i;
    }
    VARIANT flags, target, post, headers;
    ::VariantInit(&flags);
    ::VariantInit(&target);
    ::VariantInit(&post);
    ::VariantInit(&headers);
    wrapper.Navigate(std::wstring(L"about:blank"), &flags, &target, &post, &headers);
    ASSERT_EQ(ctl->invokes.size(), 2u);
    EXPECT_EQ(ctl->invokes[1].texts[4], L"about:blank");
    EXPECT_EQ(ctl->invokes[1].refs[3], &flags);
    EXPECT_EQ(ctl->invokes[1].refs[2], &target);
    EXPECT_EQ(ctl->invokes[1].refs[1], &post);
    EXPECT_EQ(ctl->invokes[1].refs[0], &headers);

    // LocationURL: property get 211, no arguments, a BSTR back as text.
    EXPECT_EQ(wrapper.GetLocationURL(), L"http://test.invalid/location");
    ASSERT_EQ(ctl->invokes.size(), 3u);
    EXPECT_EQ(ctl->invokes[2].dispid, 211);
    EXPECT_EQ(ctl->invokes[2].flags, DISPATCH_PROPERTYGET);
    EXPECT_TRUE(ctl->invokes[2].wantsResult);
    EXPECT_TRUE(ctl->invokes[2].types.empty());

    // Silent: property put 551 with the named argument DISPID_PROPERTYPUT; TRUE arrives as -1.
    wrapper.SetSilent(1);
    wrapper.SetSilent(0);
    wrapper.SetSilent(5);
    ASSERT_EQ(ctl->invokes.size(), 6u);
    const LONG expected[] = {VARIANT_TRUE, VARIANT_FALSE, VARIANT_TRUE};
    for (size_t i = 0; i < 3; ++i) {
        const test::InvokeRecord& put = ctl->invokes[3 + i];
        EXPECT_EQ(put.dispid, 551);
        EXPECT_EQ(put.flags, DISPATCH_PROPERTYPUT);
        ASSERT_EQ(put.named.size(), 1u);
        EXPECT_EQ(put.named[0], DISPID_PROPERTYPUT);
        ASSERT_EQ(put.types.size(), 1u);
        EXPECT_EQ(put.types[0], VT_BOOL);
        EXPECT_EQ(put.numbers[0], expected[i]);
    }

    // Detached (as after a hand-off): nothing reaches the control, the location reads empty.
    HWND hCtrl = wrapper.Detach();
    EXPECT_EQ(wrapper.m_pCtrlSite, nullptr);
    wrapper.Navigate(L"http://example.invalid/other", nullptr, nullptr, nullptr, nullptr);
    wrapper.SetSilent(TRUE);
    EXPECT_EQ(wrapper.GetLocationURL(), L"");
    EXPECT_EQ(ctl->invokes.size(), 6u);
    EXPECT_TRUE(::IsWindow(hCtrl));

    // A never-bound wrapper is the same.
    CWebBrowser2 unbound;
    EXPECT_EQ(unbound.GetLocationURL(), L"");
    unbound.SetSilent(TRUE);
    dlg.DestroyWindow();
}

TEST_F(HostedControl, FailedCallsRaiseTheFrameworkExceptions) {
    CDialog dlg(IDD_VXGAME_DIALOG);
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    CWebBrowser2 wrapper;
    ASSERT_TRUE(wrapper.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD, RECT{0, 0, 5, 5}, &dlg, 77));
    test::TestControl* ctl = test::TestControl::Last();
    ASSERT_NE(ctl, nullptr);

    ctl->onInvoke = [](DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* ex) {
        ex->bstrSource = ::SysAllocString(L"TestControl");
        ex->bstrDescription = ::SysAllocString(L"it broke");
        ex->dwHelpContext = 42;
        ex->scode = E_ABORT;
        return DISP_E_EXCEPTION;
    };
    try {
        wrapper.SetSilent(TRUE);
        ADD_FAILURE() << "no exception";
    } catch (const COleDispatchException& e) {
        EXPECT_EQ(e.m_strSource, L"TestControl");
        EXPECT_EQ(e.m_strDescription, L"it broke");
        EXPECT_EQ(e.m_dwHelpContext, 42u);
        EXPECT_EQ(e.m_scError, E_ABORT);
    }

    ctl->onInvoke = [](DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*) { return DISP_E_MEMBERNOTFOUND; };
    try {
        wrapper.Navigate(L"x", nullptr, nullptr, nullptr, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.m_sc, DISP_E_MEMBERNOTFOUND);
    }

    // A result that cannot become text.
    ctl->onInvoke = [](DISPID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*) {
        r->vt = VT_ERROR;
        r->scode = E_FAIL;
        return S_OK;
    };
    EXPECT_THROW(wrapper.GetLocationURL(), COleException);

    dlg.DestroyWindow();
}

class EventHost : public CDialog {
public:
    EventHost() : CDialog(IDD_VXGAME_DIALOG) {}
    void OnThing(long n, const std::wstring& s) { got.push_back(std::to_wstring(n) + L":" + s); }
    void OnOther(long n) { others.push_back(n); }
    std::vector<std::wstring> got;
    std::vector<long> others;
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(EventHost, CDialog)
    ON_EVENT(EventHost, 500, 1, OnThing, VTS_I4 VTS_BSTR)
    ON_EVENT(EventHost, 501, 1, OnOther, VTS_I4)
END_EVENTSINK_MAP()

HRESULT Fire(IUnknown* sink, DISPID id, std::vector<VARIANT> argsLastFirst) {
    IDispatch* disp = nullptr;
    if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)))) return E_NOINTERFACE;
    DISPPARAMS dp{argsLastFirst.data(), nullptr, static_cast<UINT>(argsLastFirst.size()), 0};
    const HRESULT hr = disp->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr);
    disp->Release();
    return hr;
}

VARIANT I4(LONG n) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

TEST_F(HostedControl, EventsOfTheControlReachTheHostsTableThroughTheConnectedSink) {
    EventHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    CWnd first, second;
    ASSERT_TRUE(first.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD, RECT{0, 0, 5, 5}, &dlg, 500));
    test::TestControl* ctlA = test::TestControl::Last();
    ASSERT_TRUE(second.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD, RECT{0, 0, 5, 5}, &dlg, 501));
    test::TestControl* ctlB = test::TestControl::Last();
    ASSERT_NE(ctlA, ctlB);
    ASSERT_NE(ctlA->sink, nullptr);
    ASSERT_NE(ctlB->sink, nullptr);

    fw::Bstr text(L"abc");
    VARIANT s;
    s.vt = VT_BSTR;
    s.bstrVal = text.get();
    EXPECT_EQ(Fire(ctlA->sink, 1, {s, I4(7)}), S_OK);
    ASSERT_EQ(dlg.got.size(), 1u);
    EXPECT_EQ(dlg.got[0], L"7:abc");
    EXPECT_TRUE(dlg.others.empty()) << "the entry of another control ran";

    // The same event of the other control reaches its own entry only.
    EXPECT_EQ(Fire(ctlB->sink, 1, {I4(9)}), S_OK);
    EXPECT_EQ(dlg.others, std::vector<long>{9});
    EXPECT_EQ(dlg.got.size(), 1u);

    // Events without an entry are answered and ignored; malformed ones are refused.
    EXPECT_EQ(Fire(ctlA->sink, 2, {}), S_OK);
    EXPECT_EQ(Fire(ctlA->sink, 1, {I4(7)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(dlg.got.size(), 1u);

    // Once the control is gone, a sink somebody kept reaches nothing.
    IUnknown* kept = ctlA->sink;
    kept->AddRef();
    dlg.DestroyWindow();
    EXPECT_EQ(Fire(kept, 1, {s, I4(8)}), RPC_E_DISCONNECTED);
    EXPECT_EQ(dlg.got.size(), 1u);
    kept->Release();
}

TEST_F(HostedControl, ClosingTheHostReleasesEveryControlAndSite) {
    CDialog dlg(IDD_VXGAME_DIALOG);
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    CWnd wrapper;
    ASSERT_TRUE(wrapper.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 5, 5}, &dlg, 9));
    test::TestControl* ctl = test::TestControl::Last();
    ASSERT_NE(ctl, nullptr);
    // Follow the control, its site and its sink to their end.
    ctl->AddRef();
    ASSERT_TRUE(ctl->HoldsSite());
    IOleClientSite* site = nullptr;
    ASSERT_EQ(ctl->GetClientSite(&site), S_OK);
    ASSERT_NE(site, nullptr);
    IUnknown* sink = ctl->sink;
    ASSERT_NE(sink, nullptr);
    sink->AddRef();
    // As a browser, which is stopped before it closes.
    ctl->answersAsBrowser = true;
    dlg.DestroyWindow();
    // Events disconnected first (nothing the control fires while it stops reaches the window
    // being torn down), then stopped, closed and the site taken back.
    const auto& calls = ctl->calls;
    EXPECT_EQ(ctl->unadvisedCookie, 7u);
    if (test::TestControl::kCanAnswerAsBrowser) {
        EXPECT_LT(IndexOf(calls, "Unadvise"), IndexOf(calls, "Stop"));
        EXPECT_LT(IndexOf(calls, "Stop"), IndexOf(calls, "Close"));
    }
    EXPECT_LT(IndexOf(calls, "Unadvise"), IndexOf(calls, "Close"));
    EXPECT_LT(IndexOf(calls, "Close"), IndexOf(calls, "SetClientSite(null)"));
    EXPECT_LT(IndexOf(calls, "SetClientSite(null)"), calls.size());
    EXPECT_FALSE(ctl->HoldsSite());
    EXPECT_EQ(ctl->sink, nullptr);
    EXPECT_EQ(wrapper.m_pCtrlSite, nullptr);
    // Ours are the only references left.
    EXPECT_EQ(ctl->Release(), 0u);
    EXPECT_EQ(site->Release(), 0u);
    EXPECT_EQ(sink->Release(), 0u);
}

TEST_F(HostedControl, DetachedHostsControlsAreReleasedWhenTheObjectGoes) {
    HWND hDlg = nullptr;
    HWND hCtrl = nullptr;
    test::TestControl* ctl = nullptr;
    {
        CDialog dlg(IDD_VXGAME_DIALOG);
        ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
        CWnd wrapper;
        ASSERT_TRUE(wrapper.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD, RECT{0, 0, 5, 5}, &dlg, 9));
        ctl = test::TestControl::Last();
        ASSERT_NE(ctl, nullptr);
        ctl->AddRef();
        hCtrl = ctl->hWnd;
        // A hand-off: the objects let go, the default window procedure destroys the windows.
        wrapper.Detach();
        hDlg = dlg.Detach();
        ::PostMessageW(hDlg, WM_CLOSE, 0, 0);
        ASSERT_TRUE(test::PumpUntil([&] { return !::IsWindow(hDlg); }, 2000));
        EXPECT_FALSE(::IsWindow(hCtrl));
        // No handler of ours ran: the control is still hosted.
        EXPECT_TRUE(ctl->HoldsSite());
        EXPECT_EQ(IndexOf(ctl->calls, "Close"), ctl->calls.size());
    }
    // The dialog object is gone: its container closed the control without its windows.
    EXPECT_LT(IndexOf(ctl->calls, "Close"), ctl->calls.size());
    EXPECT_FALSE(ctl->HoldsSite());
    EXPECT_EQ(ctl->sink, nullptr);
    EXPECT_EQ(ctl->Release(), 0u);
}

TEST_F(HostedControl, AnObjectDestroyedWithItsWindowStillUpReleasesItsControls) {
    test::TestControl* ctl = nullptr;
    {
        CDialog dlg(IDD_VXGAME_DIALOG);
        ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
        CWnd wrapper;
        ASSERT_TRUE(wrapper.CreateControl(test::CLSID_TestControl, nullptr, WS_CHILD, RECT{0, 0, 5, 5}, &dlg, 9));
        ctl = test::TestControl::Last();
        ASSERT_NE(ctl, nullptr);
        ctl->AddRef();
    }
    EXPECT_FALSE(ctl->HoldsSite());
    EXPECT_EQ(ctl->Release(), 0u);
}

// --- The real control from template 103 (item 1005, with its initial state record) ---

class TemplateHosting : public HtmlDialogHosting {};

class TemplateDialog : public CDialog {
public:
    TemplateDialog() : CDialog(IDD_VXSTANDARD_DIALOG) {}
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_BROWSER, m_browser); }
    void OnBefore(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT_BOOL*) {
        before.push_back(fw::VariantText(url));
    }
    CWebBrowser2 m_browser;
    std::vector<std::wstring> before;
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(TemplateDialog, CDialog)
    ON_EVENT(TemplateDialog, IDC_BROWSER, 250, OnBefore,
             VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
END_EVENTSINK_MAP()

fw::ComPtr<IWebBrowser2> BrowserOf(COleControlSite* site) {
    return site ? fw::QueryAs<IWebBrowser2>(site->GetControlUnknown(), IID_IWebBrowser2) : nullptr;
}

TEST_F(TemplateHosting, TemplateItemIsHostedSizedBoundAndGivenItsInitialState) {
    TemplateDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    HWND hBrowser = ::GetDlgItem(dlg.m_hWnd, IDC_BROWSER);
    ASSERT_NE(hBrowser, nullptr);
    EXPECT_EQ(dlg.m_browser.m_hWnd, hBrowser);
    EXPECT_EQ(::GetParent(hBrowser), dlg.m_hWnd);
    EXPECT_EQ(test::ClassNameOf(hBrowser), L"Shell Embedding");
    EXPECT_TRUE(::GetWindowLongW(hBrowser, GWL_STYLE) & WS_VISIBLE);

    RECT expected{139, 69, 139 + 37, 69 + 20};
    ASSERT_TRUE(::MapDialogRect(dlg.m_hWnd, &expected));
    EXPECT_TRUE(SameRect(ChildRectInParent(hBrowser), expected));
    EXPECT_GT(expected.right - expected.left, 37) << "dialog units, not pixels";

    // The other items are the platform's and survive the removal of the ActiveX item; the
    // browser takes its template place among them (z-order and tab order: 104, 1005, 1004, ...).
    for (int id : {IDC_BTN_SITE, IDC_BTN_CLOSE, IDC_BTN_HIDDEN, IDC_BTN_MINIMIZE}) {
        EXPECT_NE(::GetDlgItem(dlg.m_hWnd, id), nullptr) << id;
    }
    EXPECT_EQ(::GetWindow(::GetDlgItem(dlg.m_hWnd, IDC_BTN_SITE), GW_HWNDNEXT), hBrowser);
    EXPECT_EQ(::GetWindow(hBrowser, GW_HWNDNEXT), ::GetDlgItem(dlg.m_hWnd, IDC_BTN_CLOSE));

    COleControlSite* site = dlg.m_browser.m_pCtrlSite;
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(AfxGetOccManager()->FindSite(&dlg, hBrowser), site);
    EXPECT_EQ(site->GetID(), static_cast<UINT>(IDC_BROWSER));
    EXPECT_TRUE(site->GetClassID() == CLSID_WebBrowser);
    EXPECT_TRUE(site->GetEventIID() == DIID_DWebBrowserEvents2);

    // The record: extent 1958 x 1058 HIMETRIC, flags 0x9 (visible, drop target).
    auto object = fw::QueryAs<IOleObject>(site->GetControlUnknown(), IID_IOleObject);
    ASSERT_TRUE(object);
    SIZEL extent{};
    ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, 1958);
    EXPECT_EQ(extent.cy, 1058);
    auto browser = BrowserOf(site);
    ASSERT_TRUE(browser);
    VARIANT_BOOL b = 0;
    EXPECT_EQ(browser->get_Visible(&b), S_OK);
    EXPECT_EQ(b, VARIANT_TRUE);
    // (Wine's RegisterAsDropTarget is a stub that always reads false.)
    browser->get_RegisterAsBrowser(&b);
    EXPECT_EQ(b, VARIANT_FALSE);
    browser->get_Offline(&b);
    EXPECT_EQ(b, VARIANT_FALSE);
    browser->get_Silent(&b);
    EXPECT_EQ(b, VARIANT_FALSE);

    // The wrapper's late-bound calls reach the real control.
    dlg.m_browser.SetSilent(TRUE);
    browser->get_Silent(&b);
    EXPECT_EQ(b, VARIANT_TRUE);
    dlg.m_browser.SetSilent(FALSE);
    browser->get_Silent(&b);
    EXPECT_EQ(b, VARIANT_FALSE);
    dlg.m_browser.Navigate(L"http://example.invalid/start?name=ov22", nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(test::PumpUntil([&] { return !dlg.before.empty(); }, 3000));
    EXPECT_EQ(dlg.before.back(), L"http://example.invalid/start?name=ov22");
    EXPECT_NO_THROW(dlg.m_browser.GetLocationURL());

    // Closing lets the real control drop every reference to the site.
    fw::ComPtr<IOleClientSite> client;
    ASSERT_EQ(object->GetClientSite(client.put()), S_OK);
    ASSERT_TRUE(client);
    object.reset();
    browser.reset();
    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_browser.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_browser.m_pCtrlSite, nullptr);
    EXPECT_FALSE(::IsWindow(hBrowser));
    EXPECT_EQ(dlg.m_browser.GetLocationURL(), L"");
    EXPECT_EQ(client.Detach()->Release(), 0u);
}

TEST_F(TemplateHosting, PlainDialogHostAnswersWithTheBrowsersDefaults) {
    TemplateDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    auto object = fw::QueryAs<IOleObject>(dlg.m_browser.m_pCtrlSite->GetControlUnknown(), IID_IOleObject);
    ASSERT_TRUE(object);
    fw::ComPtr<IOleClientSite> client;
    ASSERT_EQ(object->GetClientSite(client.put()), S_OK);
    auto host = fw::QueryAs<IDocHostUIHandler>(client.get(), IID_IDocHostUIHandler);
    ASSERT_TRUE(host);
    DOCHOSTUIINFO info{sizeof info, 0xFFFF, 0, nullptr, nullptr};
    EXPECT_EQ(host->GetHostInfo(&info), E_NOTIMPL);
    EXPECT_EQ(host->ShowContextMenu(CONTEXT_MENU_DEFAULT, nullptr, nullptr, nullptr), S_FALSE);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(host->GetExternal(&external), E_NOTIMPL);
    EXPECT_EQ(external, nullptr);
    dlg.DestroyWindow();
}

// The launcher companion's shape: an HTML dialog on template 103 that skips its own browser.
class CompanionLike : public CDHtmlDialog {
public:
    enum class Throw { Nothing, Dispatch, Ole, Std, Other };
    CompanionLike() : CDHtmlDialog(IDD_VXSTANDARD_DIALOG, 0) {}
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (external) SetExternalDispatch(external);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_BROWSER, m_browser); }
    BOOL IsExternalDispatchSafe() override { return safe; }
    void OnNavigateComplete2(IDispatch* pDisp, VARIANT* url) {
        completed.push_back({pDisp, fw::VariantText(url)});
        switch (throwKind) {
        case Throw::Dispatch: throw COleDispatchException(L"launcher", L"no game", 7, E_ABORT);
        case Throw::Ole: throw COleException(E_ACCESSDENIED);
        case Throw::Std: throw std::runtime_error("bad url");
        case Throw::Other: throw 42;
        case Throw::Nothing: break;
        }
    }
    void OnOtherControl(IDispatch*, VARIANT*) { ++otherCalls; }
    struct Completed {
        IDispatch* disp;
        std::wstring url;
    };
    CWebBrowser2 m_browser;
    IDispatch* external = nullptr;
    BOOL safe = TRUE;
    Throw throwKind = Throw::Nothing;
    std::vector<Completed> completed;
    int otherCalls = 0;
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(CompanionLike, CDHtmlDialog)
    ON_EVENT(CompanionLike, IDC_BROWSER, 252, OnNavigateComplete2, VTS_DISPATCH VTS_PVARIANT)
    ON_EVENT(CompanionLike, 1006, 252, OnOtherControl, VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

// NavigateComplete2 as the browser fires it: the frame's IDispatch and a reference to the URL.
HRESULT FireNavigateComplete(IDispatch* sink, IDispatch* frame, const wchar_t* url, EXCEPINFO* ex = nullptr) {
    fw::Bstr text(url);
    VARIANT urlValue;
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = text.get();
    VARIANT args[2];
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = &urlValue;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = frame;
    DISPPARAMS dp{args, nullptr, 2, 0};
    UINT argErr = 0;
    return sink->Invoke(252, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, ex, &argErr);
}

TEST_F(TemplateHosting, HtmlDialogHostsTemplateControlsInItsOwnDocumentHost) {
    test::CountedDispatch external;
    {
        CompanionLike dlg;
        dlg.external = &external;
        ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
        EXPECT_FALSE(dlg.m_pBrowserApp) << "the companion has no browser of its own";
        EXPECT_EQ(::GetDlgItem(dlg.m_hWnd, CDHtmlDialog::kBrowserId), nullptr);
        ASSERT_NE(dlg.m_browser.m_pCtrlSite, nullptr);
        EXPECT_EQ(external.refs, 2) << "held once, by the dialog";

        auto object = fw::QueryAs<IOleObject>(dlg.m_browser.m_pCtrlSite->GetControlUnknown(), IID_IOleObject);
        fw::ComPtr<IOleClientSite> client;
        ASSERT_EQ(object->GetClientSite(client.put()), S_OK);
        auto host = fw::QueryAs<IDocHostUIHandler>(client.get(), IID_IDocHostUIHandler);
        ASSERT_TRUE(host);
        DOCHOSTUIINFO info{sizeof info, 0, 0, nullptr, nullptr};
        EXPECT_EQ(host->GetHostInfo(&info), S_OK);
        EXPECT_EQ(info.dwFlags, 12u);
        EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO));
        EXPECT_EQ(host->ShowContextMenu(CONTEXT_MENU_DEFAULT, nullptr, nullptr, nullptr), S_FALSE);

        // Safe: the page gets the external object without any zone check.
        IDispatch* got = nullptr;
        EXPECT_EQ(host->GetExternal(&got), S_OK);
        EXPECT_EQ(got, &external);
        EXPECT_EQ(external.refs, 3);
        got->Release();
        EXPECT_EQ(external.refs, 2);

        dlg.DestroyWindow();
    }
    EXPECT_EQ(external.refs, 1) << "every reference given out came back";
}

TEST_F(TemplateHosting, BrowserEventsReachTheEntryOfTheirControlOnly) {
    CompanionLike dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    COleControlSite* site = dlg.m_browser.m_pCtrlSite;
    ASSERT_NE(site, nullptr);
    IDispatch* sink = site->GetEventSink();
    ASSERT_NE(sink, nullptr);
    auto frame = fw::QueryAs<IDispatch>(site->GetControlUnknown(), IID_IDispatch);

    EXPECT_EQ(FireNavigateComplete(sink, frame.get(), L"http://example.invalid/play?fullscn=1"), S_OK);
    ASSERT_EQ(dlg.completed.size(), 1u);
    EXPECT_EQ(dlg.completed[0].disp, frame.get());
    EXPECT_EQ(dlg.completed[0].url, L"http://example.invalid/play?fullscn=1");
    EXPECT_EQ(dlg.otherCalls, 0);
    // The framework's own bookkeeping belongs to control 102, which this template does not have.
    EXPECT_TRUE(dlg.m_strCurrentUrl.empty());

    // A URL passed as a plain VARIANT, not a reference, also reaches the handler.
    fw::Bstr text(L"http://example.invalid/plain");
    VARIANT args[2];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = text.get();
    args[1].vt = VT_EMPTY;
    DISPPARAMS dp{args, nullptr, 2, 0};
    EXPECT_EQ(sink->Invoke(252, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(dlg.completed.size(), 2u);
    EXPECT_EQ(dlg.completed[1].url, L"http://example.invalid/plain");
    EXPECT_EQ(dlg.completed[1].disp, nullptr);

    // A frame argument that is no object is refused before the handler runs.
    args[1].vt = VT_I4;
    args[1].lVal = 3;
    UINT argErr = 99;
    EXPECT_EQ(sink->Invoke(252, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(dlg.completed.size(), 2u);
    dlg.DestroyWindow();
}

TEST_F(TemplateHosting, AnExceptionInAnEventHandlerComesBackAsExceptionInfo) {
    CompanionLike dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    IDispatch* sink = dlg.m_browser.m_pCtrlSite->GetEventSink();
    ASSERT_NE(sink, nullptr);

    EXCEPINFO ex{};
    dlg.throwKind = CompanionLike::Throw::Dispatch;
    EXPECT_EQ(FireNavigateComplete(sink, nullptr, L"u1", &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_ABORT);
    EXPECT_STREQ(ex.bstrSource, L"launcher");
    EXPECT_STREQ(ex.bstrDescription, L"no game");
    EXPECT_EQ(ex.dwHelpContext, 7u);
    ::SysFreeString(ex.bstrSource);
    ::SysFreeString(ex.bstrDescription);
    ::SysFreeString(ex.bstrHelpFile);

    ex = EXCEPINFO{};
    dlg.throwKind = CompanionLike::Throw::Ole;
    EXPECT_EQ(FireNavigateComplete(sink, nullptr, L"u2", &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_ACCESSDENIED);

    ex = EXCEPINFO{};
    dlg.throwKind = CompanionLike::Throw::Std;
    EXPECT_EQ(FireNavigateComplete(sink, nullptr, L"u3", &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_FAIL);
    EXPECT_STREQ(ex.bstrDescription, L"bad url");
    ::SysFreeString(ex.bstrDescription);

    ex = EXCEPINFO{};
    dlg.throwKind = CompanionLike::Throw::Other;
    EXPECT_EQ(FireNavigateComplete(sink, nullptr, L"u4", &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_UNEXPECTED);
    EXPECT_NE(ex.bstrDescription, nullptr);
    ::SysFreeString(ex.bstrDescription);

    // Without room for the details the status still says what happened.
    EXPECT_EQ(FireNavigateComplete(sink, nullptr, L"u5", nullptr), DISP_E_EXCEPTION);

    // The dialog goes on working.
    dlg.throwKind = CompanionLike::Throw::Nothing;
    EXPECT_EQ(FireNavigateComplete(sink, nullptr, L"u6"), S_OK);
    EXPECT_EQ(dlg.completed.size(), 6u);
    EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
    dlg.DestroyWindow();
}

TEST_F(TemplateHosting, HandOffClosesBothWindowsAndTheObjectReleasesTheControlLater) {
    fw::ComPtr<IOleClientSite> client;
    HWND hDlg = nullptr;
    HWND hBrowser = nullptr;
    {
        CompanionLike dlg;
        ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
        auto object = fw::QueryAs<IOleObject>(dlg.m_browser.m_pCtrlSite->GetControlUnknown(), IID_IOleObject);
        ASSERT_EQ(object->GetClientSite(client.put()), S_OK);
        object.reset();
        // What the launcher does when the page hands over a game address.
        hBrowser = dlg.m_browser.m_hWnd;
        ::PostMessageW(hBrowser, WM_CLOSE, 0, 0);
        dlg.m_browser.Detach();
        hDlg = dlg.m_hWnd;
        ::PostMessageW(hDlg, WM_CLOSE, 0, 0);
        dlg.Detach();
        EXPECT_EQ(dlg.m_browser.GetLocationURL(), L"");
        ASSERT_TRUE(test::PumpUntil([&] { return !::IsWindow(hDlg); }, 2000));
        EXPECT_FALSE(::IsWindow(hBrowser));
        // The windows went by default processing; the control is still hosted until the object goes.
        EXPECT_EQ(CControlContainer::Of(&dlg, false)->GetSiteCount(), 1u);
    }
    EXPECT_EQ(client.Detach()->Release(), 0u) << "the control let go of its site";
}

// --- The HTML dialog's external object behind the zone check ---

class SecurityDocument final : public IDispatch, public IInternetHostSecurityManager {
public:
    HRESULT answer = S_OK;
    std::vector<DWORD> actions;
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
        } else if (riid == IID_IInternetHostSecurityManager) {
            *ppv = static_cast<IInternetHostSecurityManager*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
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
    HRESULT STDMETHODCALLTYPE GetSecurityId(BYTE*, DWORD*, DWORD_PTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ProcessUrlAction(DWORD dwAction, BYTE*, DWORD, BYTE*, DWORD, DWORD, DWORD) override {
        actions.push_back(dwAction);
        return answer;
    }
    HRESULT STDMETHODCALLTYPE QueryCustomPolicy(REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
};

class GuardedPage : public PageDialog {
public:
    BOOL IsExternalDispatchSafe() override { return FALSE; }
};

TEST_F(HtmlDialogHosting, UnsafeExternalObjectNeedsTheZonesPermission) {
    test::CountedDispatch external;
    SecurityDocument doc;
    {
        GuardedPage dlg;
        ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
        ASSERT_NE(dlg.m_wndBrowser.m_pCtrlSite, nullptr);
        IDocHostUIHandler* host = dlg.m_wndBrowser.m_pCtrlSite;
        IDispatch* got = reinterpret_cast<IDispatch*>(1);

        // Nothing set: no external object at all.
        EXPECT_EQ(host->GetExternal(&got), E_NOTIMPL);
        EXPECT_EQ(got, nullptr);

        // Set, but no document to ask (Wine's browser has none): denied.
        dlg.SetExternalDispatch(&external);
        EXPECT_EQ(host->GetExternal(&got), E_ACCESSDENIED);
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(external.refs, 2);

        // The document's security manager decides.
        dlg.m_pHtmlDoc = fw::ComPtr<IDispatch>(&doc);
        doc.answer = S_FALSE;
        EXPECT_EQ(host->GetExternal(&got), E_ACCESSDENIED);
        EXPECT_EQ(got, nullptr);
        doc.answer = S_OK;
        EXPECT_EQ(host->GetExternal(&got), S_OK);
        EXPECT_EQ(got, &external);
        got->Release();
        ASSERT_EQ(doc.actions.size(), 2u);
        EXPECT_EQ(doc.actions[0], 0x1201u);
        EXPECT_EQ(doc.actions[1], static_cast<DWORD>(URLACTION_ACTIVEX_OVERRIDE_OBJECT_SAFETY));

        // The own browser answers with the dialog's flags and lets the browser show its menu.
        DOCHOSTUIINFO info{sizeof info, 0, 0, nullptr, nullptr};
        EXPECT_EQ(host->GetHostInfo(&info), S_OK);
        EXPECT_EQ(info.dwFlags, 12u);
        EXPECT_EQ(host->ShowContextMenu(CONTEXT_MENU_DEFAULT, nullptr, nullptr, nullptr), S_FALSE);
        dlg.DestroyWindow();
        EXPECT_EQ(doc.refs, 1) << "the document is let go with the browser";
    }
    EXPECT_EQ(external.refs, 1);
}

TEST_F(HtmlDialogHosting, OwnBrowsersCompletedNavigationsKeepTheCurrentUrl) {
    PageDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    IDispatch* sink = dlg.m_wndBrowser.m_pCtrlSite->GetEventSink();
    ASSERT_NE(sink, nullptr);
    auto top = fw::QueryAs<IDispatch>(dlg.m_pBrowserApp.get(), IID_IDispatch);
    test::CountedDispatch frame;

    EXPECT_EQ(FireNavigateComplete(sink, top.get(), L"http://example.invalid/game"), S_OK);
    EXPECT_EQ(dlg.m_strCurrentUrl, L"http://example.invalid/game");
    // A frame inside the page does not move the dialog's address.
    EXPECT_EQ(FireNavigateComplete(sink, &frame, L"http://example.invalid/ad"), S_OK);
    EXPECT_EQ(dlg.m_strCurrentUrl, L"http://example.invalid/game");
    EXPECT_EQ(frame.refs, 1);
    dlg.DestroyWindow();
}

// --- The initial state record ---

std::vector<BYTE> BrowserRecord(LONG cx, LONG cy, DWORD flags, const std::wstring& location) {
    std::vector<BYTE> r(BrowserInitState::kSize, 0);
    std::memcpy(r.data(), &CLSID_WebBrowser, sizeof(CLSID));
    const DWORD version = 1;
    std::memcpy(r.data() + 16, &version, 4);
    std::memcpy(r.data() + 20, &cx, 4);
    std::memcpy(r.data() + 24, &cy, 4);
    std::memcpy(r.data() + 28, &flags, 4);
    std::memcpy(r.data() + 32, location.data(), std::min<size_t>(location.size(), 64) * sizeof(wchar_t));
    return r;
}

TEST(BrowserInitRecord, ParsesOurRecordAndRefusesAnythingElse) {
    BrowserInitState st;
    ASSERT_TRUE(ParseBrowserInitState(BrowserRecord(1958, 1058, 0x9, L""), st));
    EXPECT_EQ(st.extent.cx, 1958);
    EXPECT_EQ(st.extent.cy, 1058);
    EXPECT_EQ(st.flags, 0x9u);
    EXPECT_TRUE(st.location.empty());

    // The resource's own record.
    const ResourceBytes init = FindResourceBytes(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDD_VXSTANDARD_DIALOG),
                                                 MAKEINTRESOURCEW(RESTYPE_DLGINIT));
    bool found = false;
    for (const DlgInitRecord& rec : ParseDlgInit(init.data, init.size)) {
        if (rec.id != IDC_BROWSER || rec.message != WM_OCC_LOADFROMSTREAM) continue;
        found = true;
        BrowserInitState res;
        ASSERT_TRUE(ParseBrowserInitState(rec.data, res));
        EXPECT_EQ(res.extent.cx, 1958);
        EXPECT_EQ(res.extent.cy, 1058);
        EXPECT_EQ(res.flags, BrowserInitState::kVisible | BrowserInitState::kRegisterAsDropTarget);
        EXPECT_TRUE(res.location.empty());
    }
    EXPECT_TRUE(found);

    // A location filling all 64 units needs no terminator.
    const std::wstring full(64, L'x');
    ASSERT_TRUE(ParseBrowserInitState(BrowserRecord(1, 1, 0, full + L"tail"), st));
    EXPECT_EQ(st.location, full);

    BrowserInitState untouched;
    untouched.flags = 0xABCD;
    auto shortRecord = BrowserRecord(1, 1, 0, L"");
    shortRecord.pop_back();
    EXPECT_FALSE(ParseBrowserInitState(shortRecord, untouched));
    auto longRecord = BrowserRecord(1, 1, 0, L"");
    longRecord.push_back(0);
    EXPECT_FALSE(ParseBrowserInitState(longRecord, untouched));
    auto otherClass = BrowserRecord(1, 1, 0, L"");
    otherClass[3] ^= 0xFF;
    EXPECT_FALSE(ParseBrowserInitState(otherClass, untouched));
    auto otherVersion = BrowserRecord(1, 1, 0, L"");
    otherVersion[16] = 2;
    EXPECT_FALSE(ParseBrowserInitState(otherVersion, untouched));
    EXPECT_FALSE(ParseBrowserInitState({}, untouched));
    EXPECT_EQ(untouched.flags, 0xABCDu);
}

class RecordHost : public CDialog {
public:
    RecordHost() : CDialog(IDD_VXGAME_DIALOG) {}
    void OnBefore(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT_BOOL*) {
        before.push_back(fw::VariantText(url));
    }
    std::vector<std::wstring> before;
    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(RecordHost, CDialog)
    ON_EVENT(RecordHost, 700, 250, OnBefore,
             VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
END_EVENTSINK_MAP()

TEST_F(HtmlDialogHosting, RecordFlagsExtentAndLocationReachTheControl) {
    RecordHost dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    const auto record = BrowserRecord(2000, 1000,
                                      BrowserInitState::kSilent | BrowserInitState::kRegisterAsBrowser,
                                      L"http://example.invalid/initial");
    CWebBrowser2 browserWnd;
    ASSERT_TRUE(browserWnd.CreateControl(CLSID_WebBrowser, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 200, 100}, &dlg,
                                         700, &record));
    auto browser = BrowserOf(browserWnd.m_pCtrlSite);
    ASSERT_TRUE(browser);
    VARIANT_BOOL b = 0;
    browser->get_Silent(&b);
    EXPECT_EQ(b, VARIANT_TRUE);
    browser->get_RegisterAsBrowser(&b);
    EXPECT_EQ(b, VARIANT_TRUE);
    browser->get_Visible(&b);
    EXPECT_EQ(b, VARIANT_FALSE);
    auto object = fw::QueryAs<IOleObject>(browserWnd.m_pCtrlSite->GetControlUnknown(), IID_IOleObject);
    SIZEL extent{};
    object->GetExtent(DVASPECT_CONTENT, &extent);
    EXPECT_EQ(extent.cx, 2000);
    EXPECT_EQ(extent.cy, 1000);
    ASSERT_TRUE(test::PumpUntil([&] { return !dlg.before.empty(); }, 3000));
    EXPECT_EQ(dlg.before.front(), L"http://example.invalid/initial");

    // A record that is not ours is ignored: the control starts from its own defaults.
    auto foreign = record;
    foreign[16] = 9;
    CWebBrowser2 plain;
    ASSERT_TRUE(plain.CreateControl(CLSID_WebBrowser, nullptr, WS_CHILD, RECT{0, 0, 200, 100}, &dlg, 701, &foreign));
    auto plainBrowser = BrowserOf(plain.m_pCtrlSite);
    ASSERT_TRUE(plainBrowser);
    plainBrowser->get_Silent(&b);
    EXPECT_EQ(b, VARIANT_FALSE);
    auto plainObject = fw::QueryAs<IOleObject>(plain.m_pCtrlSite->GetControlUnknown(), IID_IOleObject);
    plainObject->GetExtent(DVASPECT_CONTENT, &extent);
    EXPECT_NE(extent.cx, 2000);
    dlg.DestroyWindow();
}

// --- Keys for the UI-active control ---

class ActiveObject final : public IOleInPlaceActiveObject {
public:
    HRESULT answer = S_OK;
    std::vector<UINT> keys;
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceActiveObject) {
            *ppv = static_cast<IOleInPlaceActiveObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override {
        keys.push_back(static_cast<UINT>(msg->wParam));
        return answer;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
};

TEST_F(HtmlDialogHosting, KeysInsideTheBrowserGoToItsActiveObjectFirst) {
    ActiveObject active;
    {
        PageDialog dlg;
        ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
        IOleInPlaceSite* site = dlg.m_wndBrowser.m_pCtrlSite;
        fw::ComPtr<IOleInPlaceFrame> frame;
        fw::ComPtr<IOleInPlaceUIWindow> doc;
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{sizeof info, FALSE, nullptr, nullptr, 0};
        ASSERT_EQ(site->GetWindowContext(frame.put(), doc.put(), &pos, &clip, &info), S_OK);
        ASSERT_TRUE(frame);
        EXPECT_FALSE(doc);
        EXPECT_EQ(info.hwndFrame, dlg.m_hWnd);
        HWND frameWnd = nullptr;
        EXPECT_EQ(frame->GetWindow(&frameWnd), S_OK);
        EXPECT_EQ(frameWnd, dlg.m_hWnd);

        // Not UI-active yet: the dialog handles its keys alone.
        MSG tab{dlg.m_wndBrowser.m_hWnd, WM_KEYDOWN, VK_TAB, 0, 0, {}};
        dlg.PreTranslateMessage(&tab);
        EXPECT_TRUE(active.keys.empty());

        ASSERT_EQ(frame->SetActiveObject(&active, L"item"), S_OK);
        EXPECT_TRUE(dlg.PreTranslateMessage(&tab));
        EXPECT_EQ(active.keys, std::vector<UINT>{VK_TAB});
        // A key of another window is not the control's.
        MSG elsewhere{dlg.m_hWnd, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
        dlg.PreTranslateMessage(&elsewhere);
        EXPECT_EQ(active.keys.size(), 1u);
        // Not used by the control: offered, then left to the dialog's own processing.
        active.answer = S_FALSE;
        MSG f5{dlg.m_wndBrowser.m_hWnd, WM_KEYDOWN, VK_F5, 0, 0, {}};
        dlg.PreTranslateMessage(&f5);
        EXPECT_EQ(active.keys, (std::vector<UINT>{VK_TAB, VK_F5}));
        // UI deactivation ends it.
        EXPECT_EQ(site->OnUIDeactivate(FALSE), S_OK);
        dlg.PreTranslateMessage(&tab);
        EXPECT_EQ(active.keys.size(), 2u);
        EXPECT_EQ(active.refs, 1);
        ASSERT_EQ(frame->SetActiveObject(&active, L"item"), S_OK);
        EXPECT_EQ(active.refs, 2);
        frame.reset();
        dlg.DestroyWindow();
    }
    EXPECT_EQ(active.refs, 1) << "the active object is let go with the controls";
}

} // namespace
