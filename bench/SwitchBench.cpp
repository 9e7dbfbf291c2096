// Launcher -> game -> launcher cycles with the real windows: stack used per switch (each
// switch nests one more modal loop) and memory kept per cycle (each replaced window object
// lives on until the process ends).
#include "app/CTranslucentApp.h"
#include "bench/BenchReport.h"
#include "bench/MemoryProbe.h"
#include "app/MainWindowSwitch.h"
#include "framework/COleControlSite.h"
#include "framework/Trace.h"
#include "framework/TraceRing.h"
#include "game/CVxGameDlg.h"
#include "launcher/CVxStandardDlg.h"
#include "launcher/CVxTranslucentDlg.h"
#include "resource.h"

#include <windows.h>
#include "framework/GdiPlus.h"
#include <mshtmhst.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kCycles = 40;


LRESULT CALLBACK AnswerYes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND h = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        ::GetClassNameW(h, cls, 16);
        if (lstrcmpW(cls, L"#32770") == 0 && ::GetDlgItem(h, 0xFFFF)) ::PostMessageW(h, WM_COMMAND, IDYES, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

int g_cycle = 0;
std::vector<size_t> g_stack, g_memory;
// Browser controls still referenced and still open, at each launcher.
COleControlSite::Census g_census;

void CALLBACK Step(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    CWnd* pMain = AfxGetMainWnd();
    if (auto* game = dynamic_cast<CVxGameDlg*>(pMain)) {
        ::PostMessageW(game->m_hWnd, WM_CLOSE, 0, 0); // confirmed by the hook
        return;
    }
    // A launcher: find its companion and hand over through window.external.outLink.
    CVxStandardDlg* companion = nullptr;
    for (HWND h = ::GetWindow(::GetDesktopWindow(), GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (pMain && ::GetWindow(h, GW_OWNER) == pMain->m_hWnd) {
            companion = dynamic_cast<CVxStandardDlg*>(CWnd::FromHandlePermanent(h));
            if (companion) break;
        }
    }
    if (!companion) return;
    g_stack.push_back(RemainingStackBytes());
    g_memory.push_back(CommittedPrivateBytes());
    g_census = COleControlSite::GetCensus();
    if (g_cycle++ == kCycles) {
        ::PostMessageW(companion->m_hWnd, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    IDocHostUIHandler* handler = nullptr;
    static_cast<IOleClientSite*>(companion->m_browser.m_pCtrlSite)->QueryInterface(IID_IDocHostUIHandler,
                                                                                    reinterpret_cast<void**>(&handler));
    IDispatch* external = nullptr;
    handler->GetExternal(&external);
    handler->Release();
    LPOLESTR name = const_cast<LPOLESTR>(L"outLink");
    DISPID id2 = 0;
    external->GetIDsOfNames(IID_NULL, &name, 1, 0, &id2);
    VARIANT args[2];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = ::SysAllocString(L"http://game.example/play");
    args[1].vt = VT_BSTR;
    args[1].bstrVal = ::SysAllocString(L"s1");
    DISPPARAMS params{args, nullptr, 2, 0};
    ::SetTimer(nullptr, 0, 30, &Step); // runs inside the game window's loop
    external->Invoke(id2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    ::SysFreeString(args[0].bstrVal);
    ::SysFreeString(args[1].bstrVal);
    external->Release();
}

// The game window's own loop needs a step too: every new main window gets one shortly after it shows.
LRESULT CALLBACK WatchActivate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        CWnd* pMain = AfxGetMainWnd();
        if (pMain && reinterpret_cast<HWND>(wParam) == pMain->m_hWnd && dynamic_cast<CVxTranslucentDlg*>(pMain)) {
            ::SetTimer(nullptr, 0, 30, &Step);
        }
    }
    return AnswerYes(code, wParam, lParam);
}

double Milliseconds(const std::function<void()>& fn, int runs) {
    LARGE_INTEGER freq, start, end;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < runs; ++i) fn();
    ::QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) * 1000.0 / double(freq.QuadPart) / runs;
}

// A launcher background as far as its skin goes: same template, same skin request, no companion.
class SkinOnly : public CTranslucentDialog {
public:
    SkinOnly() : CTranslucentDialog(IDD_VXTRANSLUCENT_DIALOG, IDB_SKIN, L"PNG", nullptr, nullptr) {}
    CStandardDialog* CreateStandardDialog() override { return nullptr; }
    void OnInitChildrenWnds() override {}
};

// What the skin costs a new launcher once the process has one: getting the skin and presenting
// the first frame, against a bare UpdateLayeredWindow of a ready frame; and the memory a live
// launcher's skin adds.
void ReportSkinShare(double cycleMs) {
    constexpr int kRuns = 20;
    SkinOnly bg;
    if (!bg.Create(IDD_VXTRANSLUCENT_DIALOG)) {
        std::printf("skin: no window\n");
        return;
    }
    const double acquire = Milliseconds([] { SkinOnly another; }, kRuns);
    RECT r{};
    bg.GetWindowRect(&r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO bmi{};
    fw::Ignore(MakeFrameHeader(static_cast<UINT>(w), static_cast<UINT>(h), bmi.bmiHeader));
    void* bits = nullptr;
    fw::UniqueBitmap dib(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    fw::WindowDc windowDc(bg.m_hWnd);
    fw::UniqueDc mem(::CreateCompatibleDC(windowDc.get()));
    fw::SelectObjectGuard select(mem.get(), dib.get());
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const std::vector<double> medians = AlternatingMedians(
        {[&] { bg.UpdateView(); },
         [&] {
             POINT dst{r.left, r.top}, src{0, 0};
             SIZE size{w, h};
             ::UpdateLayeredWindow(bg.m_hWnd, windowDc.get(), &dst, &size, mem.get(), &src, 0, &blend, ULW_ALPHA);
         }},
        kRuns);
    const double firstFrame = medians[0], present = medians[1];

    constexpr int kLive = 8;
    const SIZE_T before = CommittedPrivateBytes();
    {
        std::vector<std::unique_ptr<SkinOnly>> live;
        for (int i = 0; i < kLive; ++i) live.push_back(std::make_unique<SkinOnly>());
        const double perLauncher = (double(CommittedPrivateBytes()) - double(before)) / kLive / 1024.0;
        std::printf("skin memory per live launcher:  %.0f KB (the process keeps one shared frame of %.0f KB)\n",
                    perLauncher, double(bmi.bmiHeader.biSizeImage) / 1024.0);
    }
    const double skin = acquire + firstFrame;
    std::printf("skin per new launcher:          %.2f ms (getting the skin %.3f ms + first frame %.2f ms)\n", skin,
                acquire, firstFrame);
    std::printf("skin share of a cycle:          %.1f %% of %.0f ms\n", 100.0 * skin / cycleMs, cycleMs);
    std::printf("bare present of a ready frame:  %.2f ms\n", present);
    if (present > 0) PrintRatio("new launcher's skin + first frame / present", skin / present, 1.5);
}

// Trace lines sent during the cycles (counted instead of sent), and a sink that only counts.
size_t g_traceLines = 0;
void CountTraceLine(std::wstring_view) {
    ++g_traceLines;
}

// What a trace line costs when nobody listens: a typical line (an outLink decision with two
// quoted arguments) sent with OutputDebugStringW, against putting the same line together for a
// sink that drops it; and the share of a cycle that the cycle's lines take.
void ReportTraceCost(double cycleMs, double linesPerCycle) {
    constexpr int kLines = 2000;
    const std::wstring a = L"s1", b = L"http://game.example/play?server=7&session=0123456789abcdef";
    const auto line = [&] {
        fw::Trace(L"outLink handed over: address ", fw::Quoted(b), L", first argument ", fw::Quoted(a));
    };
    const std::vector<double> medians = AlternatingMedians(
        {[&] {
             fw::SetTraceSink(nullptr);
             for (int i = 0; i < kLines; ++i) line();
         },
         [&] {
             fw::SetTraceSink(&CountTraceLine);
             for (int i = 0; i < kLines; ++i) line();
             fw::SetTraceSink(nullptr);
         }},
        9);
    const double sentUs = medians[0] * 1000.0 / kLines, formatUs = medians[1] * 1000.0 / kLines;
    std::printf("trace line, nobody listening:  %.2f us (putting it together %.2f us, OutputDebugStringW %.2f us)\n",
                sentUs, formatUs, sentUs - formatUs);
    std::printf("trace lines per cycle:         %.1f, %.3f %% of a cycle of %.0f ms\n", linesPerCycle,
                100.0 * linesPerCycle * sentUs / 1000.0 / cycleMs, cycleMs);
}

} // namespace

int main() {
    // Held across the run so that the skin can be measured after the application has ended.
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
    CTranslucentApp app;
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, &WatchActivate, nullptr, ::GetCurrentThreadId());
    const DWORD start = ::GetTickCount();
    fw::SetTraceSink(&CountTraceLine);
    // The ring of the last trace lines full before the first cycle, with lines as long as the
    // cycles' own: its cost is fixed (a few tens of KB for the run), not a cost per cycle.
    for (size_t i = 0; i < fw::kTraceRingLines; ++i) fw::RecordTraceLine(std::wstring(160, L'x'));
    AfxWinMain(::GetModuleHandleW(nullptr));
    fw::SetTraceSink(nullptr);
    const DWORD ms = ::GetTickCount() - start;
    ::UnhookWindowsHookEx(hook);
    if (g_stack.size() < 2) {
        std::printf("switch cycles: did not run (%zu launchers)\n", g_stack.size());
        Gdiplus::GdiplusShutdown(token);
        return 1;
    }
    const size_t cycles = g_stack.size() - 1;
    const double stackPerSwitch = double(g_stack.front() - g_stack.back()) / double(2 * cycles);
    const double memPerCycle = (double(g_memory.back()) - double(g_memory[1])) / double(cycles - 1) / 1024.0;
    std::printf("launcher/game cycles:          %zu (%.0f ms per cycle, two 30 ms step timers included)\n", cycles,
                double(ms) / double(cycles));
    std::printf("stack per switch:              %.0f bytes (reserve %zu KB left after %zu switches)\n", stackPerSwitch,
                g_stack.back() / 1024, 2 * cycles);
    std::printf("switches the stack allows:     about %.0f\n",
                double(g_stack.front() - kSwitchStackReserve) / stackPerSwitch);
    std::printf("memory kept per cycle:         %.0f KB (private committed; target <= 64 KB%s)\n", memPerCycle,
                memPerCycle <= 64.0 ? "" : ", MISSED");
    // After the last cycle: every launcher and game so far made one browser. Only the launchers'
    // may still be open (a retired launcher's own call is still on the stack below the game).
    const int games = static_cast<int>(cycles);
    const int launchers = games + 1;
    const int openGames = g_census.open - launchers;
    std::printf("browser controls after %d cycles: %d live, %d open (%d launchers, %d games: %d game pages open%s)\n",
                games, g_census.live, g_census.open, launchers, games, openGames > 0 ? openGames : 0,
                openGames > 0 ? ", MISSED" : "");
    ReportSkinShare(double(ms) / double(cycles));
    ReportTraceCost(double(ms) / double(cycles), double(g_traceLines) / double(cycles));
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
