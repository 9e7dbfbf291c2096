// The game window's screenshot: the file's size and pixels against the screen, its name, the
// clipboard copy, and failures that leave nothing behind.
#include "ImageTestSupport.h"
#include "TestSupport.h"

#include "framework/Handles.h"
#include "framework/Trace.h"
#include "game/Screenshot.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The page area: four quadrants of known colours, at a size whose 24-bit rows need padding.
constexpr int kWidth = 203;
constexpr int kHeight = 117;
constexpr COLORREF kQuadrants[4] = {RGB(200, 30, 40), RGB(20, 160, 60), RGB(30, 60, 220), RGB(240, 200, 20)};
// A window of someone else's above the page's bottom-right corner: part of what the screen shows.
constexpr COLORREF kOverlay = RGB(250, 0, 250);
constexpr int kOverlaySize = 30;
constexpr wchar_t kPatternClass[] = L"OrvaneTestShotPattern";

COLORREF QuadrantAt(int x, int y) {
    return kQuadrants[(y < kHeight / 2 ? 0 : 2) + (x < kWidth / 2 ? 0 : 1)];
}

// Paints the quadrants, or one colour when GWLP_USERDATA holds one (plus 1, so 0 means none).
LRESULT CALLBACK PatternProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT) return ::DefWindowProcW(hWnd, message, wParam, lParam);
    fw::PaintDc dc(hWnd);
    const LONG_PTR solid = ::GetWindowLongPtrW(hWnd, GWLP_USERDATA);
    RECT client{};
    ::GetClientRect(hWnd, &client);
    auto fill = [&](RECT rc, COLORREF color) {
        fw::UniqueBrush brush(::CreateSolidBrush(color));
        ::FillRect(dc.get(), &rc, brush.get());
    };
    if (solid) {
        fill(client, static_cast<COLORREF>(solid - 1));
    } else {
        fill({0, 0, kWidth / 2, kHeight / 2}, kQuadrants[0]);
        fill({kWidth / 2, 0, kWidth, kHeight / 2}, kQuadrants[1]);
        fill({0, kHeight / 2, kWidth / 2, kHeight}, kQuadrants[2]);
        fill({kWidth / 2, kHeight / 2, kWidth, kHeight}, kQuadrants[3]);
    }
    return 0;
}

HWND CreatePatternWindow(DWORD exStyle, DWORD style, RECT rc, HWND parent, COLORREF solid = CLR_INVALID) {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &PatternProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kPatternClass;
        return ::RegisterClassExW(&wc);
    }();
    fw::Ignore(atom);
    HWND hWnd = ::CreateWindowExW(exStyle, kPatternClass, L"", style, rc.left, rc.top, rc.right - rc.left,
                                  rc.bottom - rc.top, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (hWnd && solid != CLR_INVALID) ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, static_cast<LONG_PTR>(solid) + 1);
    return hWnd;
}

// The screen's pixels in rect, read with a BitBlt of the test's own, as 0x00RRGGBB rows.
std::vector<uint32_t> ReadScreen(const RECT& rect) {
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    std::vector<uint32_t> out(static_cast<size_t>(w) * h);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    fw::UniqueBitmap dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    fw::UniqueDc mem(::CreateCompatibleDC(nullptr));
    if (!dib || !mem) return {};
    {
        fw::SelectObjectGuard select(mem.get(), dib.get());
        fw::WindowDc screen(nullptr);
        if (!::BitBlt(mem.get(), 0, 0, w, h, screen.get(), rect.left, rect.top, SRCCOPY)) return {};
    }
    ::GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < out.size(); ++i) out[i] = px[i] & 0xFFFFFF;
    return out;
}

uint32_t Rgb(COLORREF c) {
    return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

std::vector<BYTE> ReadAll(const std::wstring& path) {
    fw::UniqueKernelHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        fw::Ignore(file.release());
        return {};
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return {};
    std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return {};
    return bytes;
}

void WriteAll(const std::wstring& path, const std::string& text) {
    fw::UniqueKernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

// Names in folder, sorted; empty when the folder does not exist.
std::vector<std::wstring> Listing(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::wcscmp(data.cFileName, L".") && std::wcscmp(data.cFileName, L"..")) names.push_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::wstring& path) {
    for (const std::wstring& name : Listing(path)) {
        const std::wstring child = path + L"\\" + name;
        if (::GetFileAttributesW(child.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(child);
        } else {
            fw::Ignore(::DeleteFileW(child.c_str()));
        }
    }
    fw::Ignore(::RemoveDirectoryW(path.c_str()));
}

std::vector<std::wstring> g_traced;
void KeepTraceLine(std::wstring_view line) { g_traced.emplace_back(line); }

// Holds the clipboard open from another thread, as a clipboard viewer does for a moment.
class ClipboardHolder {
public:
    ClipboardHolder() {
        m_thread = std::thread([this] {
            m_opened = ::OpenClipboard(nullptr) != FALSE;
            ::SetEvent(m_ready.get());
            ::WaitForSingleObject(m_release.get(), test::kDeadlineMs);
            if (m_opened) ::CloseClipboard();
        });
        ::WaitForSingleObject(m_ready.get(), test::kDeadlineMs);
    }
    ~ClipboardHolder() {
        ::SetEvent(m_release.get());
        m_thread.join();
    }
    bool opened() const { return m_opened; }

private:
    fw::UniqueKernelHandle m_ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    fw::UniqueKernelHandle m_release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool m_opened = false;
    std::thread m_thread;
};

class Screenshot : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        m_root = std::wstring(temp) + L"orvane-shot-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(::GetTickCount());
        ASSERT_TRUE(::CreateDirectoryW(m_root.c_str(), nullptr));
        m_folder = m_root + L"\\Pictures\\Orvane";
        // The game window: a frame around the page area, the way the browser sits in it.
        m_top.reset(CreatePatternWindow(0, WS_POPUP, {100, 80, 100 + kWidth + 40, 80 + kHeight + 30}, nullptr,
                                        RGB(90, 90, 90)));
        ASSERT_TRUE(m_top);
        m_page = CreatePatternWindow(0, WS_CHILD | WS_VISIBLE, {20, 10, 20 + kWidth, 10 + kHeight}, m_top.get());
        ASSERT_TRUE(m_page);
        ::ShowWindow(m_top.get(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(m_top.get());
        m_old = fw::SetTraceSink(&KeepTraceLine);
        g_traced.clear();
    }
    void TearDown() override {
        fw::SetTraceSink(m_old);
        m_overlay.reset();
        m_top.reset();
        RemoveTree(m_root);
    }
    // The page area in screen coordinates.
    RECT PageOnScreen() const {
        RECT rc{};
        ::GetClientRect(m_page, &rc);
        ::MapWindowPoints(m_page, nullptr, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    // Puts the overlay above the page's corner and waits until the screen shows both.
    void ShowOnScreen() {
        const RECT page = PageOnScreen();
        m_overlay.reset(CreatePatternWindow(WS_EX_TOPMOST | WS_EX_NOACTIVATE, WS_POPUP,
                                            {page.right - kOverlaySize, page.bottom - kOverlaySize,
                                             page.right + 10, page.bottom + 10},
                                            nullptr, kOverlay));
        ASSERT_TRUE(m_overlay);
        ::ShowWindow(m_overlay.get(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(m_overlay.get());
        test::Deadline deadline("the page's quadrants and the overlay on the screen");
        const bool shown = test::PumpUntil([&] {
            const std::vector<uint32_t> px = ReadScreen(page);
            if (px.empty()) return false;
            auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * kWidth + x]; };
            return at(5, 5) == Rgb(kQuadrants[0]) && at(kWidth - 40, 5) == Rgb(kQuadrants[1]) &&
                   at(5, kHeight - 5) == Rgb(kQuadrants[2]) && at(kWidth - 40, kHeight - 5) == Rgb(kQuadrants[3]) &&
                   at(kWidth - 5, kHeight - 5) == Rgb(kOverlay);
        }, test::kDeadlineMs);
        ASSERT_TRUE(shown) << "the test pattern never reached the screen";
    }

    test::GdiplusSession m_gdiplus;
    std::wstring m_root, m_folder;
    fw::UniqueWindow m_top, m_overlay;
    HWND m_page = nullptr;
    fw::TraceSink m_old = nullptr;
};

TEST_F(Screenshot, SavesWhatTheScreenShowsAsPngAndCopiesItToTheClipboard) {
    // The name is in local time: in UTC the two could not be told apart.
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = ::GetTimeZoneInformation(&zone);
    ASSERT_NE(zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0), 0)
        << "runs in a zone with a non-zero bias (the test command sets TZ=Asia/Shanghai)";
    ASSERT_NO_FATAL_FAILURE(ShowOnScreen());
    const RECT page = PageOnScreen();
    const std::vector<uint32_t> screen = ReadScreen(page);
    ASSERT_EQ(screen.size(), size_t(kWidth) * kHeight);

    SYSTEMTIME before, after;
    ::GetLocalTime(&before);
    const ScreenshotResult shot = TakeScreenshot(m_page, m_top.get(), m_folder);
    ::GetLocalTime(&after);
    ASSERT_TRUE(shot.saved) << shot.balloonText.size();
    EXPECT_TRUE(shot.copied);
    EXPECT_EQ(shot.balloonTitle, L"截图已保存");

    // The name: local time of the shot, in the folder made for it, and nothing else left there.
    const std::wstring name = shot.path.substr(shot.path.find_last_of(L'\\') + 1);
    EXPECT_EQ(shot.path, m_folder + L"\\" + name);
    EXPECT_EQ(shot.balloonText, name);
    EXPECT_TRUE(std::regex_match(name, std::wregex(L"Orvane-\\d{8}-\\d{6}\\.png")));
    EXPECT_GE(name, screenshot::FileName(before, 1));
    EXPECT_LE(name, screenshot::FileName(after, 1));
    EXPECT_EQ(Listing(m_folder), std::vector<std::wstring>{name});

    // The file: the page area's size, and exactly the screen's pixels, the overlay included.
    const std::vector<BYTE> png = ReadAll(shot.path);
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    test::ArgbImage decoded;
    ASSERT_TRUE(test::DecodeArgb(png.data(), png.size(), decoded));
    ASSERT_EQ(decoded.width, UINT(kWidth));
    ASSERT_EQ(decoded.height, UINT(kHeight));
    int mismatches = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t expected = screen[static_cast<size_t>(y) * kWidth + x];
            if ((decoded.at(x, y) & 0xFFFFFF) != expected || test::Alpha(decoded.at(x, y)) != 255) {
                if (++mismatches <= 3) ADD_FAILURE() << "pixel " << x << "," << y << ": file " << std::hex
                                                      << decoded.at(x, y) << ", screen " << expected;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(decoded.at(0, 0) & 0xFFFFFF, Rgb(QuadrantAt(0, 0)));
    EXPECT_EQ(decoded.at(kWidth - 1, kHeight - 1) & 0xFFFFFF, Rgb(kOverlay)) << "what the screen shows";

    // The clipboard: a bottom-up 24-bit DIB of the same size and pixels.
    ASSERT_TRUE(::OpenClipboard(m_top.get()));
    HANDLE data = ::GetClipboardData(CF_DIB);
    ASSERT_NE(data, nullptr);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(::GlobalLock(data));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, kWidth);
    EXPECT_EQ(header->biHeight, kHeight);
    EXPECT_EQ(header->biBitCount, 24);
    const BYTE* rows = reinterpret_cast<const BYTE*>(header + 1);
    const size_t stride = (kWidth * 3 + 3) & ~3;
    auto clip = [&](int x, int y) {
        const BYTE* p = rows + stride * (kHeight - 1 - y) + x * 3;
        return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    };
    EXPECT_EQ(clip(0, 0), screen[0]);
    EXPECT_EQ(clip(3, kHeight - 2), screen[size_t(kHeight - 2) * kWidth + 3]);
    EXPECT_EQ(clip(kWidth - 1, kHeight - 1), Rgb(kOverlay));
    ::GlobalUnlock(data);
    ::CloseClipboard();

    ASSERT_EQ(g_traced.size(), 1u);
    std::wstring saved = L"Orvane: screenshot 203x117: saved ";
    fw::AppendTraceQuoted(saved, shot.path);
    EXPECT_EQ(g_traced[0].rfind(saved, 0), 0u) << g_traced[0];
}

TEST_F(Screenshot, ShotsOfOneSecondTakeTheNextFreeNameAndNeverOverwrite) {
    EXPECT_EQ(screenshot::FileName(SYSTEMTIME{2026, 3, 0, 7, 9, 5, 2, 0}, 1), L"Orvane-20260307-090502.png");
    EXPECT_EQ(screenshot::FileName(SYSTEMTIME{2026, 12, 0, 31, 23, 59, 58, 0}, 12), L"Orvane-20261231-235958-12.png");

    const RECT rc{0, 0, 16, 9};
    fw::WindowDc screen(nullptr);
    const screenshot::Image image = screenshot::Capture(screen.get(), rc);
    ASSERT_TRUE(image);
    const SYSTEMTIME when{2026, 12, 0, 9, 21, 40, 7, 0};
    const ScreenshotResult first = screenshot::Deliver(image, m_top.get(), m_folder, when);
    const ScreenshotResult second = screenshot::Deliver(image, m_top.get(), m_folder, when);
    // Someone else's file holds "-3": it is kept as it is, and the next shot takes "-4".
    ASSERT_NO_FATAL_FAILURE(WriteAll(m_folder + L"\\Orvane-20261209-214007-3.png", "not ours"));
    const ScreenshotResult fourth = screenshot::Deliver(image, m_top.get(), m_folder, when);
    EXPECT_EQ(first.path, m_folder + L"\\Orvane-20261209-214007.png");
    EXPECT_EQ(second.path, m_folder + L"\\Orvane-20261209-214007-2.png");
    EXPECT_EQ(fourth.path, m_folder + L"\\Orvane-20261209-214007-4.png");
    EXPECT_EQ(fourth.balloonText, L"Orvane-20261209-214007-4.png");
    const std::vector<BYTE> kept = ReadAll(m_folder + L"\\Orvane-20261209-214007-3.png");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "not ours");
    EXPECT_EQ(ReadAll(first.path), ReadAll(fourth.path));
    EXPECT_EQ(Listing(m_folder).size(), 4u) << "no temporary file left";

    // Every name of one second taken: the shot fails once its file is made, and nothing but the
    // 999 files is left.
    const std::wstring crowded = m_root + L"\\crowded";
    ASSERT_TRUE(::CreateDirectoryW(crowded.c_str(), nullptr));
    const SYSTEMTIME full{2026, 12, 0, 9, 21, 41, 0, 0};
    for (unsigned n = 1; n <= 999; ++n) ASSERT_NO_FATAL_FAILURE(WriteAll(crowded + L"\\" + screenshot::FileName(full, n), "x"));
    const ScreenshotResult none = screenshot::Deliver(image, m_top.get(), crowded, full);
    EXPECT_FALSE(none.saved);
    EXPECT_EQ(none.balloonText, L"无法写入截图文件；图片已复制到剪贴板");
    const std::vector<std::wstring> left = Listing(crowded);
    EXPECT_EQ(left.size(), 999u);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](const std::wstring& n) { return n.rfind(L"Orvane-", 0) == 0; }));
}

TEST_F(Screenshot, FailuresSayWhatFailedAndLeaveNothingBehind) {
    ASSERT_NO_FATAL_FAILURE(ShowOnScreen());
    // The folder would be made under a file: the clipboard copy still counts.
    ASSERT_NO_FATAL_FAILURE(WriteAll(m_root + L"\\afile", "x"));
    const std::wstring underFile = m_root + L"\\afile\\Orvane";
    ScreenshotResult shot = TakeScreenshot(m_page, m_top.get(), underFile);
    EXPECT_FALSE(shot.saved);
    EXPECT_TRUE(shot.copied);
    EXPECT_TRUE(shot.path.empty());
    EXPECT_EQ(shot.balloonTitle, L"截图未保存");
    EXPECT_EQ(shot.balloonText, L"无法创建截图文件夹；图片已复制到剪贴板");
    EXPECT_EQ(Listing(m_root), std::vector<std::wstring>{L"afile"});
    ASSERT_EQ(g_traced.size(), 1u);
    std::wstring notSaved = L"not saved in ";
    fw::AppendTraceQuoted(notSaved, underFile);
    EXPECT_NE(g_traced[0].find(notSaved + L": the folder cannot be made"), std::wstring::npos)
        << g_traced[0];

    {
        // Another program holds the clipboard: the file is still saved, and the balloon says
        // the copy failed; with the folder failing too, the shot failed.
        ClipboardHolder holder;
        ASSERT_TRUE(holder.opened());
        shot = TakeScreenshot(m_page, m_top.get(), m_folder);
        EXPECT_TRUE(shot.saved);
        EXPECT_FALSE(shot.copied);
        EXPECT_EQ(shot.balloonTitle, L"截图已保存");
        EXPECT_NE(shot.balloonText.find(L"未能复制到剪贴板"), std::wstring::npos);
        EXPECT_EQ(Listing(m_folder).size(), 1u);

        shot = TakeScreenshot(m_page, m_top.get(), underFile);
        EXPECT_FALSE(shot.saved || shot.copied);
        EXPECT_EQ(shot.balloonTitle, L"截图失败");
        EXPECT_EQ(shot.balloonText, L"无法创建截图文件夹；也未能复制到剪贴板");
    }

    // A minimised or hidden game window is refused before anything is made.
    const std::wstring fresh = m_root + L"\\fresh";
    ::ShowWindow(m_top.get(), SW_MINIMIZE);
    shot = TakeScreenshot(m_page, m_top.get(), fresh);
    EXPECT_FALSE(shot.saved || shot.copied);
    EXPECT_EQ(shot.balloonTitle, L"截图失败");
    EXPECT_EQ(shot.balloonText, L"游戏窗口未显示，无法截图");
    ::ShowWindow(m_top.get(), SW_HIDE);
    shot = TakeScreenshot(m_page, m_top.get(), fresh);
    EXPECT_FALSE(shot.saved || shot.copied);
    EXPECT_EQ(shot.balloonTitle, L"截图失败");
    EXPECT_EQ(::GetFileAttributesW(fresh.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(g_traced.back(), L"Orvane: screenshot refused: the game window is hidden or minimised");
}

} // namespace
