// Hosting the WebBrowser control: the HTML dialog's own browser, template items, the control
// site's document-host answers and the release of everything hosted.
#include "TestSupport.h"
#include "framework/CControlContainer.h"
#include "framework/CDHtmlDialog.h"
#include "framework/OleInit.h"
#include "framework/Variant.h"
#include "resource.h"

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

} // namespace
