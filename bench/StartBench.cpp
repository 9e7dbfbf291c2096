// Start: from process creation to the first presented frame, for the real Orvane.exe and two
// floor programs built beside it (a bare present of a ready 1257 x 877 layered frame; GDI+
// decode, draw and present of skin 158). Runs alternate between the three programs; medians.
//
// "First presented frame", seen from outside and the same test for all three: an unowned,
// visible, layered top-level window of the child process, 1257 x 877 in size. Each program
// makes its window layered, presents the frame with UpdateLayeredWindow and only then shows
// the window, so the window becomes visible only once its first frame is on the screen.
#include "bench/BenchReport.h"
#include "framework/Handles.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 9;
constexpr LONG kWidth = 1257;
constexpr LONG kHeight = 877;
constexpr DWORD kTimeoutMs = 30000;

struct Program {
    const char* name;
    std::wstring exe;
    std::vector<double> ms;
};

struct Search {
    DWORD pid;
    bool found;
};

BOOL CALLBACK IsFirstFrame(HWND h, LPARAM lParam) {
    auto* s = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid != s->pid || !::IsWindowVisible(h) || ::GetWindow(h, GW_OWNER)) return TRUE;
    if (!(::GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED)) return TRUE;
    RECT r{};
    ::GetWindowRect(h, &r);
    if (r.right - r.left != kWidth || r.bottom - r.top != kHeight) return TRUE;
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
        Search s{pi.dwProcessId, false};
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

} // namespace

int main() {
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
