// The real Orvane.exe, started as its own process and driven from outside: windows found by
// process, the screen read back, the close button clicked and its confirmation answered.
#include "TestSupport.h"
#include "app/ConfigStore.h"
#include "framework/ModulePath.h"
#include "framework/Handles.h"
#include "resource.h"

#include <gtest/gtest.h>
#include "framework/GdiPlus.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<HWND> ProcessTopWindows(DWORD pid) {
    struct Ctx {
        DWORD pid;
        std::vector<HWND> out;
    } ctx{pid, {}};
    ::EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(p);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(h, &owner);
            if (owner == c->pid) c->out.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.out;
}

// Polls pred until it holds; false (and the test failed, naming the wait) once the deadline passes.
bool WaitFor(const std::function<bool()>& pred, test::Deadline& deadline) {
    while (!pred()) {
        if (deadline.Passed()) return false;
        ::Sleep(20);
    }
    return true;
}

std::wstring TextOf(HWND h) {
    wchar_t buf[512] = {};
    ::GetWindowTextW(h, buf, 512);
    return buf;
}

COLORREF ScreenPixel(int x, int y) {
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, x, y);
    ::ReleaseDC(nullptr, screen);
    return c;
}

// The running launcher: its process and its two windows.
class OrvaneProcess {
public:
    explicit OrvaneProcess(const std::wstring& exe, const std::wstring& options = L"") {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = L"\"" + exe + L"\"" + (options.empty() ? L"" : L" " + options);
        m_started = ::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi);
    }
    ~OrvaneProcess() {
        if (!m_started) return;
        if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(m_pi.hProcess, 1);
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
    }
    bool started() const { return m_started != FALSE; }
    DWORD pid() const { return m_pi.dwProcessId; }
    HANDLE process() const { return m_pi.hProcess; }

    // The launcher background: the visible layered top-level window titled "Orvane".
    HWND Background() const {
        for (HWND h : ProcessTopWindows(pid())) {
            if (::IsWindowVisible(h) && TextOf(h) == L"Orvane" && (::GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED) &&
                !::GetWindow(h, GW_OWNER)) {
                return h;
            }
        }
        return nullptr;
    }
    HWND Companion(HWND background) const {
        for (HWND h : ProcessTopWindows(pid())) {
            if (::GetWindow(h, GW_OWNER) == background && ::GetDlgItem(h, IDC_BTN_CLOSE)) return h;
        }
        return nullptr;
    }
    HWND MessageBoxWindow() const {
        for (HWND h : ProcessTopWindows(pid())) {
            if (::IsWindowVisible(h) && test::ClassNameOf(h) == L"#32770" && ::GetDlgItem(h, 0xFFFF)) return h;
        }
        return nullptr;
    }

private:
    PROCESS_INFORMATION m_pi{};
    BOOL m_started = FALSE;
};

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        m_folder = ModuleFolder(fw::ModuleFileName(nullptr));
        m_exe = m_folder + L"Orvane.exe";
        if (::GetFileAttributesW(m_exe.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "Orvane.exe not built";
        m_config = m_folder + L"config.ini";
        HANDLE h = ::CreateFileW(m_config.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        const std::string text = "[mw]\r\nclient_web=http://launcher.example/e2e\r\n";
        DWORD n = 0;
        ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
        ::CloseHandle(h);
    }
    void TearDown() override {
        if (!m_config.empty()) ::DeleteFileW(m_config.c_str());
    }
    std::wstring m_folder, m_exe, m_config;
};

TEST_F(EndToEnd, LauncherShowsItsSkinAndClosesOnlyAfterYes) {
    test::GdiplusSession gdiplus;
    // The skin as the executable carries it, to compare with the screen.
    Gdiplus::Bitmap* skin = nullptr;
    {
        HRSRC res = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDB_SKIN), L"PNG");
        ASSERT_NE(res, nullptr);
        const DWORD size = ::SizeofResource(nullptr, res);
        HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(::GlobalLock(block), ::LockResource(::LoadResource(nullptr, res)), size);
        ::GlobalUnlock(block);
        IStream* stream = nullptr;
        ASSERT_EQ(::CreateStreamOnHGlobal(block, TRUE, &stream), S_OK);
        skin = Gdiplus::Bitmap::FromStream(stream);
        stream->Release();
    }
    ASSERT_NE(skin, nullptr);

    const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
    const COLORREF desktopBefore = ScreenPixel(sw / 2, 40);

    OrvaneProcess orvane(m_exe);
    ASSERT_TRUE(orvane.started());
    HWND background = nullptr, companion = nullptr;
    test::Deadline deadline("Orvane.exe to start and show the launcher's background and companion",
                            test::kProcessStartDeadlineMs);
    ASSERT_TRUE(WaitFor([&] { return (background = orvane.Background()) != nullptr &&
                                     (companion = orvane.Companion(background)) != nullptr; },
                        deadline));
    // Give the first presentation and the buttons' painting a moment.
    ::Sleep(500);
    RECT bg{}, co{};
    ::GetWindowRect(background, &bg);
    ::GetWindowRect(companion, &co);
    EXPECT_EQ(bg.right - bg.left, 1257);
    EXPECT_EQ(bg.bottom - bg.top, 877);
    EXPECT_TRUE(::EqualRect(&bg, &co));
    EXPECT_TRUE(::IsWindowVisible(companion));
    EXPECT_EQ(test::ClassNameOf(::GetDlgItem(companion, IDC_BTN_CLOSE)).size(), 9u); // "MfcButton", any case

    // The screen shows the skin: opaque skin pixels as they are, transparent ones the desktop.
    int opaqueChecked = 0, opaqueWrong = 0, clearChecked = 0, clearWrong = 0;
    for (int y = 20; y < 877; y += 37) {
        for (int x = 20; x < 1257; x += 41) {
            const int sx = bg.left + x, sy = bg.top + y;
            if (sx < 0 || sy < 0 || sx >= sw || sy >= sh) continue;
            // Leave the browser and the buttons out: they are the companion's.
            if (x >= 360 && x < 1080 && y >= 230 && y < 740) continue;
            Gdiplus::Color c;
            skin->GetPixel(x, y, &c);
            const COLORREF screen = ScreenPixel(sx, sy);
            if (c.GetA() == 255) {
                ++opaqueChecked;
                const COLORREF want = RGB(c.GetR(), c.GetG(), c.GetB());
                if (std::abs(GetRValue(screen) - GetRValue(want)) > 2 || std::abs(GetGValue(screen) - GetGValue(want)) > 2 ||
                    std::abs(GetBValue(screen) - GetBValue(want)) > 2) {
                    ++opaqueWrong;
                }
            } else if (c.GetA() == 0) {
                ++clearChecked;
                if (screen != desktopBefore) ++clearWrong;
            }
        }
    }
    delete skin;
    EXPECT_GT(opaqueChecked, 100);
    EXPECT_GT(clearChecked, 50);
    EXPECT_EQ(opaqueWrong, 0);
    EXPECT_EQ(clearWrong, 0);

    // Close button: No keeps everything, Yes ends the process.
    HWND closeButton = ::GetDlgItem(companion, IDC_BTN_CLOSE);
    for (int answer : {IDNO, IDYES}) {
        ASSERT_TRUE(::PostMessageW(closeButton, BM_CLICK, 0, 0));
        HWND box = nullptr;
        deadline.Restart("the close button's click to open the exit confirmation");
        ASSERT_TRUE(WaitFor([&] { return (box = orvane.MessageBoxWindow()) != nullptr; }, deadline));
        EXPECT_EQ(TextOf(box), L"退出游戏");
        wchar_t text[256] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 256);
        EXPECT_STREQ(text, L"即将退出Orvane，是否继续？");
        EXPECT_EQ(::GetWindow(box, GW_OWNER), companion);
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        if (answer == IDNO) {
            deadline.Restart("No to close the exit confirmation");
            ASSERT_TRUE(WaitFor([&] { return orvane.MessageBoxWindow() == nullptr; }, deadline));
            ::Sleep(200);
            EXPECT_TRUE(::IsWindowVisible(background));
            EXPECT_TRUE(::IsWindowVisible(companion));
            EXPECT_EQ(::WaitForSingleObject(orvane.process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
        }
    }
    deadline.Restart("Orvane.exe to end after Yes");
    ASSERT_TRUE(WaitFor([&] { return ::WaitForSingleObject(orvane.process(), 0) == WAIT_OBJECT_0; }, deadline));
    DWORD code = 1;
    ::GetExitCodeProcess(orvane.process(), &code);
    EXPECT_EQ(code, 0u);
}

} // namespace

// "Orvane.exe -DIAGNOSE": the diagnosis window instead of the launcher; its report complete with
// the start page's check (a closed port on 127.0.0.1 here); "关闭" ends the process with code 0.
TEST_F(EndToEnd, DiagnoseOptionShowsTheReportInsteadOfTheLauncher) {
    {
        HANDLE h = ::CreateFileW(m_config.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        // Port 9 (discard) on the loopback address: nothing listens there in the test prefix.
        const std::string text = "[mw]\r\nclient_web=http://127.0.0.1:9/start\r\n";
        DWORD n = 0;
        ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
        ::CloseHandle(h);
    }
    OrvaneProcess orvane(m_exe, L"-DIAGNOSE");
    ASSERT_TRUE(orvane.started());
    test::Deadline deadline("the diagnosis window of Orvane.exe", test::kProcessStartDeadlineMs);
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (HWND h : ProcessTopWindows(orvane.pid())) {
                if (::IsWindowVisible(h) && TextOf(h) == L"Orvane 诊断") window = h;
            }
            return window != nullptr;
        },
        deadline));
    HWND report = ::GetDlgItem(window, IDC_DIAG_REPORT);
    ASSERT_NE(report, nullptr);
    std::wstring text;
    deadline.Restart("the diagnosis report to be complete", 20000);
    ASSERT_TRUE(WaitFor(
        [&] {
            // WM_GETTEXT itself: GetWindowTextW of another process's window reads only its caption.
            text.assign(16384, L'\0');
            DWORD_PTR got = 0;
            if (!::SendMessageTimeoutW(report, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                                       SMTO_NORMAL, 1000, &got)) {
                got = 0;
            }
            text.resize(static_cast<size_t>(got));
            return text.find(L"用时:") != std::wstring::npos;
        },
        deadline));
    EXPECT_NE(text.find(L"[结论]"), std::wstring::npos);
    EXPECT_NE(text.find(L"起始页: http://127.0.0.1:9/start"), std::wstring::npos) << testing::PrintToString(text);
    EXPECT_NE(text.find(L"12029 ERROR_INTERNET_CANNOT_CONNECT"), std::wstring::npos);
    EXPECT_EQ(orvane.Background(), nullptr) << "no launcher in the diagnosis";

    ::PostMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    deadline.Restart("Orvane.exe to end after 关闭");
    ASSERT_TRUE(WaitFor([&] { return ::WaitForSingleObject(orvane.process(), 0) == WAIT_OBJECT_0; }, deadline));
    DWORD code = 1;
    ::GetExitCodeProcess(orvane.process(), &code);
    EXPECT_EQ(code, 0u);
}
