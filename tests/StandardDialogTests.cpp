// The colour-keyed companion dialog on real windows: control colours, layering and colour key
// (read back from the screen), OK and Cancel with and without a parent.
#include "TestSupport.h"
#include "TranslucentTestSupport.h"
#include "framework/CDialog.h"
#include "framework/Handles.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test::TestCompanion;

class StandardDialogTest : public testing::Test {};

class ParentDialog : public CDialog {
public:
    ParentDialog() : CDialog(IDD_VXGAME_DIALOG) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CLOSE) {
            ++closes;
            if (journal) journal->push_back("parent close");
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
    int closes = 0;
    std::vector<std::string>* journal = nullptr;
};

TEST_F(StandardDialogTest, DialogBackgroundRequestGetsNoBrushBeforeInitAndTheKeyBrushAfter) {
    TestCompanion dlg(nullptr);
    EXPECT_EQ(dlg.Key(), RGB(0, 255, 0));
    EXPECT_EQ(dlg.KeyBrush(), nullptr);
    EXPECT_EQ(dlg.OnCtlColor(nullptr, nullptr, CTLCOLOR_DLG), nullptr);

    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    fw::WindowDc dc(dlg.m_hWnd);
    const auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(dlg.m_hWnd, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc.get()), reinterpret_cast<LPARAM>(dlg.m_hWnd)));
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(brush, dlg.KeyBrush());
    LOGBRUSH lb{};
    ASSERT_EQ(::GetObjectW(brush, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(lb.lbColor, RGB(0, 255, 0));
}

TEST_F(StandardDialogTest, StaticAndButtonColourRequestsGetTheDefaultAnswer) {
    TestCompanion dlg(nullptr);
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    HWND button = dlg.GetDlgItem(IDC_BTN_SITE);
    ASSERT_NE(button, nullptr);
    fw::WindowDc dc(button);
    const auto hdc = reinterpret_cast<WPARAM>(dc.get());
    const auto item = reinterpret_cast<LPARAM>(button);
    for (UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN}) {
        const auto answer = reinterpret_cast<HBRUSH>(::SendMessageW(dlg.m_hWnd, message, hdc, item));
        // What the dialog's default procedure says when nobody handles the request.
        const auto plain = reinterpret_cast<HBRUSH>(::DefDlgProcW(dlg.m_hWnd, message, hdc, item));
        EXPECT_EQ(answer, plain) << message;
        EXPECT_NE(answer, dlg.KeyBrush()) << message;
    }
}

TEST_F(StandardDialogTest, InitLayersTheWindowWithTheColourKeyAndMakesNoBrowserOfItsOwn) {
    TestCompanion dlg(nullptr);
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    EXPECT_NE(dlg.GetExStyle() & WS_EX_LAYERED, 0u);
    COLORREF key = 0;
    BYTE alpha = 1;
    DWORD flags = 0;
    ASSERT_TRUE(::GetLayeredWindowAttributes(dlg.m_hWnd, &key, &alpha, &flags));
    EXPECT_EQ(key, RGB(0, 255, 0));
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
    // Only the dialog part of the HTML dialog ran: its own browser view does not exist.
    EXPECT_EQ(dlg.m_wndBrowser.m_hWnd, nullptr);
    EXPECT_FALSE(dlg.m_pBrowserApp);
    // The ordinary initialisation ran (data exchange loads the controls).
    EXPECT_EQ(dlg.journal, (std::vector<std::string>{"load data"}));
    EXPECT_NE(dlg.GetDlgItem(IDC_BTN_CLOSE), nullptr);
    EXPECT_FALSE(dlg.IsWindowVisible()) << "the template is not visible; CreateAndShow shows it";
}

TEST_F(StandardDialogTest, CreateAndShowMakesAVisiblePopupOwnedByTheParentGivenAtConstruction) {
    ParentDialog parent;
    ASSERT_TRUE(parent.Create(IDD_VXGAME_DIALOG));
    TestCompanion dlg(&parent);
    dlg.CreateAndShow();
    ASSERT_NE(dlg.m_hWnd, nullptr);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_EQ(::GetWindow(dlg.m_hWnd, GW_OWNER), parent.m_hWnd);
    EXPECT_EQ(::GetWindowLongW(dlg.m_hWnd, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_NE(dlg.GetExStyle() & WS_EX_LAYERED, 0u);
}

TEST_F(StandardDialogTest, CreateAndShowWithAMissingTemplateShowsNothing) {
    TestCompanion dlg(nullptr, 4321);
    dlg.CreateAndShow();
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST_F(StandardDialogTest, CancelSendsOneCloseToTheParentThenEndsWithIdCancel) {
    ParentDialog parent;
    ASSERT_TRUE(parent.Create(IDD_VXGAME_DIALOG));
    TestCompanion dlg(&parent);
    parent.journal = &dlg.journal;
    HWND owner = nullptr;
    test::Deadline deadline("the companion's cancel command to end its modal run");
    test::RunSoon([&] {
        owner = ::GetParent(dlg.m_hWnd);
        ::PostMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(owner, parent.m_hWnd);
    EXPECT_EQ(parent.closes, 1);
    EXPECT_EQ(dlg.journal, (std::vector<std::string>{"load data", "parent close"}));
}

TEST_F(StandardDialogTest, OkSendsOneCloseToTheParentThenTakesTheOkPath) {
    ParentDialog parent;
    ASSERT_TRUE(parent.Create(IDD_VXGAME_DIALOG));
    TestCompanion dlg(&parent);
    parent.journal = &dlg.journal;
    test::Deadline deadline("the companion's OK command to end its modal run");
    test::RunSoon([&] {
        dlg.journal.clear();
        ::PostMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(parent.closes, 1);
    // The parent has handled its close before the OK path saves the data.
    EXPECT_EQ(dlg.journal, (std::vector<std::string>{"parent close", "save data"}));
}

int g_plainOwnerCloses = 0;

LRESULT CALLBACK PlainOwnerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        ++g_plainOwnerCloses;
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

TEST_F(StandardDialogTest, CloseReachesAParentThatHasNoFrameworkObject) {
    // A plain window as owner: the close goes to the handle, framework object or not.
    fw::UniqueWindow owner(test::CreateSolidWindow(RECT{0, 0, 50, 50}, RGB(1, 1, 1)));
    ::SetWindowLongPtrW(owner.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PlainOwnerProc));
    g_plainOwnerCloses = 0;
    TestCompanion dlg(nullptr);
    ASSERT_TRUE(dlg.CreateWithOwner(owner.get()));
    ASSERT_EQ(::GetParent(dlg.m_hWnd), owner.get());
    ::SendMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(g_plainOwnerCloses, 1);
    EXPECT_FALSE(dlg.IsWindowVisible());
}

TEST_F(StandardDialogTest, WithoutAParentOkAndCancelOnlyEndTheCompanion) {
    ParentDialog bystander;
    ASSERT_TRUE(bystander.Create(IDD_VXGAME_DIALOG));
    test::Deadline deadline("the cancel command to end the companion's modal run");
    {
        TestCompanion dlg(nullptr);
        HWND owner = reinterpret_cast<HWND>(1);
        test::RunSoon([&] {
            owner = ::GetParent(dlg.m_hWnd);
            ::PostMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_EQ(owner, nullptr);
    }
    {
        deadline.Restart("the OK command to end the companion's modal run");
        TestCompanion dlg(nullptr);
        test::RunSoon([&] { ::PostMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }
    EXPECT_EQ(bystander.closes, 0);
    EXPECT_TRUE(bystander.m_hWnd && ::IsWindow(bystander.m_hWnd));
}

// Reads the composed screen back: Xvfb has no compositor, but Wine applies the colour key itself.
TEST_F(StandardDialogTest, OnScreenPureKeyGreenIsTransparentAndGreen254IsOpaque) {
    const COLORREF under = RGB(200, 0, 0);
    fw::UniqueWindow below(test::CreateSolidWindow(RECT{100, 100, 500, 400}, under));
    TestCompanion dlg(nullptr);
    ASSERT_TRUE(dlg.Create(IDD_VXSTANDARD_DIALOG));
    ::MoveWindow(dlg.m_hWnd, 150, 150, 300, 200, TRUE);
    // Left half: the dialog's own key-coloured background; right half: a child in green 254.
    HWND nearKey = test::CreateSolidWindow(RECT{150, 0, 300, 200}, RGB(0, 254, 0), dlg.m_hWnd);
    ::ShowWindow(nearKey, SW_SHOW);
    dlg.ShowWindow(SW_SHOW);
    test::PumpFor(300);

    fw::WindowDc screen(nullptr);
    EXPECT_EQ(::GetPixel(screen.get(), 120, 120), under) << "outside the companion";
    EXPECT_EQ(::GetPixel(screen.get(), 200, 250), under) << "pure green lets the window below show";
    EXPECT_EQ(::GetPixel(screen.get(), 400, 250), RGB(0, 254, 0)) << "one step off the key is opaque";
}

} // namespace
