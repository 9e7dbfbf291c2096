// Time of one screenshot of the game window's page area (capture from the screen, PNG encode,
// file write and rename, clipboard copy) at 1920 x 1080 and 3840 x 2160, and the PNG's size.
// Then, on a screen that large, the window's longest answer time (WM_NULL from another thread)
// during a shot taken all on the window's thread (as before) and as the game window takes it now
// (capture and clipboard there, the file on a worker thread), with the time from the command to
// the result back on the window's thread (when the balloon shows).
// The picture is a colour gradient with fine noise, harder for PNG than a flat page, so the
// figures lean to the slow side. A screen smaller than 3840 x 2160 cannot show that page area:
// the large shot then captures from a 3840 x 2160 DIB section in memory, and says so.
#include "bench/AnswerProbe.h"
#include "bench/BenchReport.h"
#include "framework/Handles.h"
#include "game/Screenshot.h"
#include "game/WorkerQueue.h"

#include <windows.h>
#include "framework/GdiPlus.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kClass[] = L"OrvaneBenchShot";

// The picture as a 32-bit DIB section in a memory DC.
struct Picture {
    fw::UniqueDc dc{::CreateCompatibleDC(nullptr)};
    fw::UniqueBitmap dib;
    uint32_t* bits = nullptr;
    int width, height;
    Picture(int w, int h) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* p = nullptr;
        dib.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0));
        bits = static_cast<uint32_t*>(p);
        if (!bits || !dc) return;
        fw::Ignore(::SelectObject(dc.get(), dib.get()));
        uint32_t seed = 2463534242u;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                seed ^= seed << 13;
                seed ^= seed >> 17;
                seed ^= seed << 5;
                const int noise = static_cast<int>(seed & 15) - 8;
                auto channel = [&](int v) { return static_cast<uint32_t>(std::min(255, std::max(0, v + noise))); };
                bits[static_cast<size_t>(y) * w + x] = (channel(x * 255 / w) << 16) | (channel(y * 255 / h) << 8) |
                                                       channel(((x + y) / 4) % 256);
            }
        }
    }
    explicit operator bool() const { return bits != nullptr; }
};

Picture* g_shown = nullptr;

LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT && g_shown) {
        fw::PaintDc dc(hWnd);
        fw::Ignore(::BitBlt(dc.get(), 0, 0, g_shown->width, g_shown->height, g_shown->dc.get(), 0, 0, SRCCOPY));
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Waits until the screen shows the picture's corner pixels.
bool OnScreen(const Picture& picture) {
    for (int i = 0; i < 500; ++i) {
        Pump();
        fw::WindowDc screen(nullptr);
        const int w = picture.width - 1, h = picture.height - 1;
        bool same = true;
        for (POINT p : {POINT{0, 0}, POINT{w, 0}, POINT{0, h}, POINT{w, h}, POINT{w / 2, h / 2}}) {
            const uint32_t c = picture.bits[static_cast<size_t>(p.y) * picture.width + p.x];
            same = same && ::GetPixel(screen.get(), p.x, p.y) == RGB(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
        }
        if (same) return true;
        ::Sleep(10);
    }
    return false;
}

void RemovePngs(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*.png").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        fw::Ignore(::DeleteFileW((folder + L"\\" + data.cFileName).c_str()));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

ULONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Shots of the page area at (0, 0) of size w x h: from the screen when it is that large, else
// from the picture in memory. False when a shot fails.
bool Measure(int w, int h, int runs, HWND owner, const std::wstring& folder) {
    Picture picture(w, h);
    if (!picture) return false;
    const bool fromScreen = ::GetSystemMetrics(SM_CXSCREEN) >= w && ::GetSystemMetrics(SM_CYSCREEN) >= h;
    fw::UniqueWindow page;
    if (fromScreen) {
        g_shown = &picture;
        page.reset(::CreateWindowExW(WS_EX_TOPMOST, kClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, w, h, nullptr, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr));
        if (!page || !OnScreen(picture)) {
            std::printf("  %dx%d: the picture did not reach the screen\n", w, h);
            return false;
        }
    }
    std::vector<double> total, capture, deliver;
    ULONGLONG bytes = 0;
    for (int i = 0; i <= runs; ++i) { // the first one warms up
        ScreenshotResult shot;
        const double t0 = NowMs();
        double t1 = t0;
        if (fromScreen) {
            shot = TakeScreenshot(page.get(), owner, folder);
        } else {
            const screenshot::Image image = screenshot::Capture(picture.dc.get(), RECT{0, 0, w, h});
            t1 = NowMs();
            SYSTEMTIME now;
            ::GetLocalTime(&now);
            if (image) shot = screenshot::Deliver(image, owner, folder, now);
        }
        const double t2 = NowMs();
        if (!shot.saved || !shot.copied) {
            std::printf("  %dx%d: the shot failed\n", w, h);
            return false;
        }
        bytes = FileSize(shot.path);
        RemovePngs(folder);
        if (i == 0) continue;
        total.push_back(t2 - t0);
        if (!fromScreen) {
            capture.push_back(t1 - t0);
            deliver.push_back(t2 - t1);
        }
    }
    std::printf("  %dx%d %-28s %8.1f ms per shot   PNG %7.2f MB (%llu bytes)\n", w, h,
                fromScreen ? "from the screen:" : "from a DIB section:", Median(total), double(bytes) / 1e6, bytes);
    if (fromScreen) {
        for (int i = 0; i < runs; ++i) {
            const double t0 = NowMs();
            fw::WindowDc screen(nullptr);
            const screenshot::Image image = screenshot::Capture(screen.get(), RECT{0, 0, w, h});
            if (image) capture.push_back(NowMs() - t0);
        }
        std::printf("    (of which the capture from the screen alone: %.1f ms)\n", Median(capture));
    } else {
        std::printf("    (screen %dx%d is smaller: captured from memory; capture %.1f ms, encode + write + "
                    "clipboard %.1f ms)\n",
                    ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), Median(capture),
                    Median(deliver));
    }
    g_shown = nullptr;
    return true;
}

constexpr UINT kWritten = WM_APP + 9;

// The window's longest answer during a shot of w x h from the screen: before (all on the window's
// thread) and now (the file on a worker thread). Needs a screen that large.
void MeasureAnswers(int w, int h, HWND owner, const std::wstring& folder) {
    if (::GetSystemMetrics(SM_CXSCREEN) < w || ::GetSystemMetrics(SM_CYSCREEN) < h) {
        std::printf("  %dx%d answer times: the screen is smaller (run on a screen that large)\n", w, h);
        return;
    }
    Picture picture(w, h);
    g_shown = &picture;
    fw::UniqueWindow page(::CreateWindowExW(WS_EX_TOPMOST, kClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, w, h, nullptr,
                                            nullptr, ::GetModuleHandleW(nullptr), nullptr));
    if (!page || !OnScreen(picture)) {
        g_shown = nullptr;
        return;
    }
    double before = 0, beforeTotal = 0;
    {
        AnswerProbe probe(page.get());
        ::Sleep(20);
        const double t0 = NowMs();
        fw::Ignore(TakeScreenshot(page.get(), owner, folder));
        beforeTotal = NowMs() - t0;
        before = probe.Stop();
    }
    RemovePngs(folder);
    double now = 0, onThread = 0, toResult = 0;
    {
        WorkerQueue worker;
        auto written = std::make_shared<std::atomic<bool>>(false);
        AnswerProbe probe(page.get());
        ::Sleep(20);
        const double t0 = NowMs();
        auto shot = std::make_shared<screenshot::Shot>(screenshot::Take(page.get(), owner));
        onThread = NowMs() - t0;
        const HWND target = owner;
        // As the game window's job: the result is posted back to the window's thread.
        fw::Ignore(worker.Post([shot, target, folder, written] {
            fw::Ignore(screenshot::Write(*shot, folder));
            written->store(true);
            ::PostMessageW(target, kWritten, 0, 0);
        }));
        PumpUntil([&] { return written->load(); }, 60000);
        toResult = NowMs() - t0;
        now = probe.Stop();
    }
    RemovePngs(folder);
    g_shown = nullptr;
    std::printf("  %dx%d longest answer: before %.0f ms (the whole shot on the window's thread, %.0f ms); now %.0f ms "
                "(capture and clipboard on the window's thread %.0f ms; command to written file %.0f ms)\n",
                w, h, before, beforeTotal, now, onThread, toResult);
}

} // namespace

int main() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ::RegisterClassExW(&wc);
    int rc = 0;
    {
        fw::UniqueWindow owner(::CreateWindowExW(0, kClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                                 ::GetModuleHandleW(nullptr), nullptr));
        wchar_t temp[MAX_PATH];
        const std::wstring folder = std::wstring(temp, ::GetTempPathW(MAX_PATH, temp)) + L"orvane-shot-bench-" +
                                    std::to_wstring(::GetCurrentProcessId());
        std::printf("  screenshot: capture, PNG encode, write and rename, clipboard (median; gradient with noise)\n");
        if (!Measure(1920, 1080, 5, owner.get(), folder)) rc = 1;
        if (!Measure(3840, 2160, 3, owner.get(), folder)) rc = 1;
        MeasureAnswers(1920, 1080, owner.get(), folder);
        MeasureAnswers(3840, 2160, owner.get(), folder);
        RemovePngs(folder);
        fw::Ignore(::RemoveDirectoryW(folder.c_str()));
    }
    Gdiplus::GdiplusShutdown(token);
    return rc;
}
