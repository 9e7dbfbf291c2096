// Start: from process creation to the first presented frame, for the real Orvane.exe and two
// floor programs built beside it (a bare present of a ready 1257 x 877 layered frame; GDI+
// decode, draw and present of skin 158). Runs alternate between the three programs; medians.
//
// "First presented frame", seen from outside and the same test for all three: an unowned,
// visible, layered top-level window of the child process, 1257 x 877 in size. Each program
// makes its window layered, presents the frame with UpdateLayeredWindow and only then shows
// the window, so the window becomes visible only once its first frame is on the screen.
//
// StartBench --dpi <dpi>: Orvane.exe alone, started alternately at that system DPI and at 96 DPI
// (HKCU\Control Panel\Desktop LogPixels, which Wine reads at each process start, is set before
// each start and left at <dpi> at the end); the first frame is then the launcher at its scale on
// this screen. Run by the test command at 192 DPI on a 3840 x 2160 screen.
#include "bench/BenchReport.h"
#include "framework/Handles.h"
#include "framework/UiScale.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 9;
constexpr LONG kWidth = 1257;
constexpr LONG kHeight = 877;
constexpr DWORD kTimeoutMs = 30000;

// Size of the first frame to wait for; the launcher's at 96 DPI unless a DPI run changes it.
SIZE g_frame{kWidth, kHeight};

struct Program {
    const char* name;
    std::wstring exe;
    std::vector<double> ms;
};

struct Search {
    DWORD pid;
    bool found;
    SIZE frame;
};

BOOL CALLBACK IsFirstFrame(HWND h, LPARAM lParam) {
    auto* s = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid != s->pid || !::IsWindowVisible(h) || ::GetWindow(h, GW_OWNER)) return TRUE;
    if (!(::GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED)) return TRUE;
    RECT r{};
    ::GetWindowRect(h, &r);
    if (r.right - r.left != s->frame.cx || r.bottom - r.top != s->frame.cy) return TRUE;
    s->found = true;
    return FALSE;
}

// Milliseconds from CreateProcess to the first presented frame; negative when it never came.
double TimeToFirstFrame(const std::wstring& exe, const std::wstring& folder) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    const double t0 = NowMs();
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
        return -1;
    }
    fw::UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    double result = -1;
    while (NowMs() - t0 < kTimeoutMs) {
        Search s{pi.dwProcessId, false, g_frame};
        ::EnumWindows(&IsFirstFrame, reinterpret_cast<LPARAM>(&s));
        if (s.found) {
            result = NowMs() - t0;
            break;
        }
        if (::WaitForSingleObject(process.get(), 1) != WAIT_TIMEOUT) break; // ended without a frame
    }
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), kTimeoutMs);
    ::Sleep(200); // let the window system settle before the next start
    return result;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::wstring Folder(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

bool WriteText(const std::wstring& path, const char* text) {
    fw::UniqueKernelHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE) {
        fw::Ignore(h.release());
        return false;
    }
    DWORD n = 0;
    return ::WriteFile(h.get(), text, static_cast<DWORD>(std::strlen(text)), &n, nullptr) != FALSE;
}

// The system DPI the next process starts with.
bool SetLogPixels(DWORD dpi) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = ::RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                                     sizeof dpi) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

// Orvane.exe started at dpi against at 96 DPI, alternating; medians and their ratio.
int CompareDpi(const std::wstring& exe, const std::wstring& folder, UINT dpi) {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // As the launcher: at most 2, the scale of its high-DPI art.
    const UiScale scale = FitScale(dpi, SIZE{kWidth, kHeight}, work, UiScale::FromQuarters(8));
    const SIZE high{scale.Ceil(kWidth), scale.Ceil(kHeight)};
    std::vector<double> at96, atDpi;
    auto start = [&](UINT d, SIZE frame, std::vector<double>* out) {
        if (!SetLogPixels(d)) return false;
        g_frame = frame;
        const double ms = TimeToFirstFrame(exe, folder);
        if (out) out->push_back(ms);
        return ms >= 0;
    };
    bool ok = start(dpi, high, nullptr) && start(96, SIZE{kWidth, kHeight}, nullptr);
    for (int round = 0; ok && round < kRounds; ++round) {
        ok = round % 2 ? start(96, SIZE{kWidth, kHeight}, &at96) && start(dpi, high, &atDpi)
                       : start(dpi, high, &atDpi) && start(96, SIZE{kWidth, kHeight}, &at96);
    }
    SetLogPixels(dpi);
    if (!ok) {
        std::printf("start: Orvane.exe showed no layered frame of the launcher's size at %u or 96 DPI\n", dpi);
        return 1;
    }
    std::printf("start at %u DPI (launcher at %.2fx, %ld x %ld) against 96 DPI, median of %d alternating runs\n", dpi,
                scale.Value(), high.cx, high.cy, kRounds);
    std::printf("  %-44s %8.1f ms\n", "Orvane.exe at 96 DPI", Median(at96));
    char label[64];
    std::snprintf(label, sizeof label, "Orvane.exe at %u DPI", dpi);
    std::printf("  %-44s %8.1f ms\n", label, Median(atDpi));
    std::snprintf(label, sizeof label, "start at %u DPI / start at 96 DPI", dpi);
    PrintRatio(label, Median(atDpi) / Median(at96), 1.5);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring here = Folder(self);
    // All three run from one folder of their own, with the launcher's configuration beside it
    // (a start page that needs no network), away from the folder the tests write theirs into.
    const std::wstring folder = here + L"startbench\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<Program> programs = {{"bare present floor", L"StartFloorPresent.exe", {}},
                                     {"decode floor (GDI+ decode + draw)", L"StartFloorDecode.exe", {}},
                                     {"Orvane.exe", L"Orvane.exe", {}}};
    for (Program& p : programs) {
        if (!::CopyFileW((here + p.exe).c_str(), (folder + p.exe).c_str(), FALSE)) {
            std::printf("start: %s not built\n", p.name);
            return 1;
        }
        p.exe = folder + p.exe;
    }
    if (!WriteText(folder + L"config.ini", "[mw]\r\nclient_web=http://launcher.example/start\r\n")) return 1;
    if (argc == 3 && std::strcmp(argv[1], "--dpi") == 0) {
        return CompareDpi(programs[2].exe, folder, static_cast<UINT>(std::atoi(argv[2])));
    }

    // One unmeasured round warms the file cache and the window system.
    for (Program& p : programs) fw::Ignore(TimeToFirstFrame(p.exe, folder));
    for (int round = 0; round < kRounds; ++round) {
        for (size_t i = 0; i < programs.size(); ++i) {
            Program& p = programs[(i + static_cast<size_t>(round)) % programs.size()];
            const double ms = TimeToFirstFrame(p.exe, folder);
            if (ms < 0) {
                std::printf("start: %s showed no %ld x %ld layered frame\n", p.name, kWidth, kHeight);
                return 1;
            }
            p.ms.push_back(ms);
        }
    }
    std::printf("start: process creation to first presented frame, median of %d alternating runs\n", kRounds);
    for (const Program& p : programs) {
        const auto [lo, hi] = std::minmax_element(p.ms.begin(), p.ms.end());
        std::printf("  %-44s %8.1f ms  (%.1f .. %.1f)\n", p.name, Median(p.ms), *lo, *hi);
    }
    const double bare = Median(programs[0].ms), decode = Median(programs[1].ms), orvane = Median(programs[2].ms);
    PrintRatio("Orvane.exe / decode floor", orvane / decode, 1.0);
    std::printf("  %-44s %6.2fx  (for information)\n", "Orvane.exe / bare present floor", orvane / bare);
    return 0;
}
