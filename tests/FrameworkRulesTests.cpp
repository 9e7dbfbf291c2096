// The four framework rules that switching and shutdown rest on, on real windows.
#include "TestSupport.h"
#include "framework/CDialog.h"
#include "framework/CWinApp.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

class CountingDialog : public CDialog {
public:
    explicit CountingDialog(UINT id = IDD_VXGAME_DIALOG, CWnd* parent = nullptr) : CDialog(id, parent) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CLOSE) ++closes;
        if (message == WM_DESTROY) ++destroys;
        return CDialog::WindowProc(message, wParam, lParam);
    }
    int closes = 0;
    int destroys = 0;
};

TEST(FrameworkRules, DetachedWindowGetsPlainDefaultProcessing) {
    CountingDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    HWND h = dlg.m_hWnd;
    EXPECT_EQ(CWnd::FromHandlePermanent(h), &dlg);

    // Attached: the class's handler sees WM_CLOSE and the dialog manager keeps the window.
    ::SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_TRUE(::IsWindow(h));

    EXPECT_EQ(dlg.Detach(), h);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);

    // Detached: DefWindowProcW destroys the window; none of the class's handlers run.
    ::SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(h));
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_EQ(dlg.destroys, 0);
    // DestroyWindow on the detached object does nothing.
    EXPECT_FALSE(dlg.DestroyWindow());
}

// The creation hook cannot route the window through its object: the window would run with
// nothing to handle or end it, so the creation fails and takes the window with it.
template <class TBase>
class Unroutable : public TBase {
public:
    using TBase::TBase;
    void PreSubclassWindow() override { throw std::runtime_error("no routing"); }
};

TEST(FrameworkRules, CreationFailsAndLeavesNoWindowWhenItsObjectCannotTakeIt) {
    test::Deadline deadline("a modal run of a dialog that could not be created");
    const size_t before = test::ThreadTopWindows().size();
    Unroutable<CWnd> wnd;
    EXPECT_FALSE(wnd.CreateEx(0, L"STATIC", L"", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, 0));
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    Unroutable<CDialog> dlg(IDD_VXGAME_DIALOG);
    EXPECT_FALSE(dlg.Create(IDD_VXGAME_DIALOG));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(test::ThreadTopWindows().size(), before) << "an orphan window is left";
    // A modal run of it returns at once instead of running a loop that nothing ends.
    Unroutable<CDialog> modal(IDD_VXGAME_DIALOG);
    EXPECT_EQ(modal.DoModal(), -1);
    EXPECT_FALSE(deadline.Passed());
}

TEST(FrameworkRules, PostedCloseToDetachedDialogIsServedByTheNextLoop) {
    CountingDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_VXGAME_DIALOG));
    HWND h = dlg.m_hWnd;
    ::PostMessageW(h, WM_CLOSE, 0, 0);
    dlg.Detach();
    EXPECT_TRUE(::IsWindow(h));
    EXPECT_TRUE(test::PumpUntil([&] { return !::IsWindow(h); }, 2000));
    EXPECT_EQ(dlg.closes, 0);
    EXPECT_EQ(dlg.destroys, 0);
}

TEST(FrameworkRules, OnlyTheMainWindowsEndThroughItsObjectPostsQuit) {
    CWinApp app;
    CountingDialog mainDlg, other;
    ASSERT_TRUE(mainDlg.Create(IDD_VXGAME_DIALOG));
    ASSERT_TRUE(other.Create(IDD_VXGAME_DIALOG));
    app.m_pMainWnd = &mainDlg;

    EXPECT_TRUE(other.DestroyWindow());
    EXPECT_EQ(other.destroys, 1);
    EXPECT_FALSE(test::TakeQuitMessage());
    EXPECT_EQ(app.m_pMainWnd, &mainDlg);

    EXPECT_TRUE(mainDlg.DestroyWindow());
    int code = -1;
    EXPECT_TRUE(test::TakeQuitMessage(&code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(mainDlg.m_hWnd, nullptr);
    EXPECT_FALSE(test::TakeQuitMessage()) << "exactly one quit message";
}

TEST(FrameworkRules, MainWindowDestroyedAfterDetachPostsNothing) {
    CWinApp app;
    CountingDialog mainDlg;
    ASSERT_TRUE(mainDlg.Create(IDD_VXGAME_DIALOG));
    app.m_pMainWnd = &mainDlg;
    HWND h = mainDlg.Detach();
    ::DestroyWindow(h);
    EXPECT_FALSE(test::TakeQuitMessage());
    EXPECT_EQ(app.m_pMainWnd, &mainDlg);
    EXPECT_EQ(mainDlg.destroys, 0);
}

TEST(FrameworkRules, ModalLoopThatFetchesQuitPostsItAgainAndDoModalDestroysTheWindow) {
    CWinApp app;
    CountingDialog dlg;
    HWND seen = nullptr;
    test::Deadline deadline("the posted quit message to end the modal loop");
    test::RunSoon([&] {
        seen = dlg.m_hWnd;
        ::PostQuitMessage(7);
    });
    EXPECT_EQ(dlg.DoModal(), -1);
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(::IsWindow(seen));
    EXPECT_EQ(dlg.destroys, 1);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    int code = -1;
    EXPECT_TRUE(test::TakeQuitMessage(&code));
    EXPECT_EQ(code, 0);
}

TEST(FrameworkRules, NestedModalLoopsUnwindInnermostFirstOnOneQuit) {
    CWinApp app;
    std::vector<std::string> order;
    CountingDialog outer;
    test::Deadline deadline("one quit message to unwind three nested modal loops");
    test::RunSoon([&] {
        CountingDialog inner;
        test::RunSoon([&] {
            CountingDialog innermost;
            test::RunSoon([] { ::PostQuitMessage(0); });
            order.push_back("innermost " + std::to_string(innermost.DoModal()));
        });
        order.push_back("inner " + std::to_string(inner.DoModal()));
    });
    order.push_back("outer " + std::to_string(outer.DoModal()));
    EXPECT_EQ(order, (std::vector<std::string>{"innermost -1", "inner -1", "outer -1"}));
    EXPECT_TRUE(test::TakeQuitMessage());
    EXPECT_FALSE(test::TakeQuitMessage());
}

TEST(FrameworkRules, EndDialogEndsTheModalRunWithItsResult) {
    CWinApp app;
    CountingDialog dlg;
    test::Deadline deadline("EndDialog(42) to end the modal run");
    test::RunSoon([&] { dlg.EndDialog(42); });
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_EQ(dlg.destroys, 1);
    EXPECT_FALSE(test::TakeQuitMessage());
}

TEST(FrameworkRules, ModalDialogWithoutParentIsOwnedByTheMainWindowsLastActivePopup) {
    CWinApp app;
    CountingDialog mainDlg(IDD_VXTRANSLUCENT_DIALOG);
    ASSERT_TRUE(mainDlg.Create(IDD_VXTRANSLUCENT_DIALOG));
    app.m_pMainWnd = &mainDlg;

    HWND owner = reinterpret_cast<HWND>(1);
    BOOL mainEnabled = TRUE;
    CountingDialog modal;
    test::Deadline deadline("EndDialog(IDOK) to end the modal run owned by the main window");
    test::RunSoon([&] {
        owner = ::GetWindow(modal.m_hWnd, GW_OWNER);
        mainEnabled = ::IsWindowEnabled(mainDlg.m_hWnd);
        modal.EndDialog(IDOK);
    });
    EXPECT_EQ(modal.DoModal(), IDOK);
    EXPECT_EQ(owner, mainDlg.m_hWnd);
    EXPECT_FALSE(mainEnabled) << "the owner is disabled while the dialog runs";
    EXPECT_TRUE(::IsWindowEnabled(mainDlg.m_hWnd)) << "and enabled again afterwards";

    // With an owned popup active, that popup becomes the owner.
    CountingDialog popup(IDD_VXGAME_DIALOG, &mainDlg);
    ASSERT_TRUE(popup.Create(IDD_VXGAME_DIALOG, &mainDlg));
    popup.ShowWindow(SW_SHOW);
    ::SetActiveWindow(popup.m_hWnd);
    ASSERT_EQ(::GetLastActivePopup(mainDlg.m_hWnd), popup.m_hWnd);
    CountingDialog modal2;
    deadline.Restart("EndDialog(IDOK) to end the modal run owned by the popup");
    test::RunSoon([&] {
        owner = ::GetWindow(modal2.m_hWnd, GW_OWNER);
        modal2.EndDialog(IDOK);
    });
    EXPECT_EQ(modal2.DoModal(), IDOK);
    EXPECT_EQ(owner, popup.m_hWnd);
}

TEST(FrameworkRules, MainWindowObjectWithoutHandleGivesNoOwnerAndDisablesNothing) {
    CWinApp app;
    CountingDialog bystander(IDD_VXTRANSLUCENT_DIALOG);
    ASSERT_TRUE(bystander.Create(IDD_VXTRANSLUCENT_DIALOG));
    CountingDialog modal;
    app.m_pMainWnd = &modal; // the new main window object, not created yet
    HWND owner = reinterpret_cast<HWND>(1);
    BOOL bystanderEnabled = FALSE;
    test::Deadline deadline("EndDialog(IDCANCEL) to end the modal run");
    test::RunSoon([&] {
        owner = ::GetWindow(modal.m_hWnd, GW_OWNER);
        bystanderEnabled = ::IsWindowEnabled(bystander.m_hWnd);
        modal.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(modal.DoModal(), IDCANCEL);
    EXPECT_EQ(owner, nullptr);
    EXPECT_TRUE(bystanderEnabled);
    // The main window's end posted the quit message.
    EXPECT_TRUE(test::TakeQuitMessage());
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

TEST(FrameworkRules, PreTranslateRunsAlongTheWindowChainBeforeTheDialogManager) {
    class Recording : public CountingDialog {
    public:
        BOOL PreTranslateMessage(MSG* pMsg) override {
            if (pMsg->message == WM_KEYDOWN) keys.push_back(pMsg->wParam);
            if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN) return TRUE; // swallowed
            return CountingDialog::PreTranslateMessage(pMsg);
        }
        std::vector<WPARAM> keys;
    };
    CWinApp app;
    Recording dlg;
    int result = 0;
    test::Deadline deadline("Escape to cancel the dialog through the dialog manager");
    test::RunSoon([&] {
        ::PostMessageW(dlg.m_hWnd, WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(dlg.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    app.m_pMainWnd = &dlg;
    result = static_cast<int>(dlg.DoModal());
    // Enter was swallowed before IsDialogMessage; Esc reached the dialog manager and cancelled.
    EXPECT_EQ(dlg.keys, (std::vector<WPARAM>{VK_RETURN, VK_ESCAPE}));
    EXPECT_EQ(result, IDCANCEL);
}

} // namespace
