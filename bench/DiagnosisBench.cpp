// The diagnosis window while its network check waits: the report's total time and the longest
// the window took to answer (WM_NULL sent with SendMessageTimeoutW from another thread every few
// milliseconds). Two start pages on a server of our own on 127.0.0.1: one that answers at once,
// and one that accepts and never answers, where the check's 10-second limit ends the wait.
// The server's Winsock header must come before windows.h.
#include "tests/LocalHttpServer.h"

#include "bench/BenchReport.h"
#include "diag/CDiagnosisDlg.h"
#include "framework/ModulePath.h"
#include "framework/Trace.h"
#include "resource.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr double kTotalBudgetMs = 15000;
constexpr double kAnswerBudgetMs = 100;

void Quiet(std::wstring_view) {}

NameResolution LiteralOnly(const std::wstring& host) {
    NameResolution r;
    r.resolved = host == L"127.0.0.1";
    r.addresses = host;
    r.error = r.resolved ? 0 : 11001;
    return r;
}

struct Figures {
    double totalMs = 0;
    double longestAnswerMs = 0;
    int questions = 0;
    bool finished = false;
};

Figures Measure(const std::wstring& startPage) {
    DiagnosisSettings settings;
    settings.exePath = fw::ModuleFileName(nullptr);
    settings.resolve = &LiteralOnly;
    settings.startPage = startPage;
    settings.audioOutput = true;
    settings.screenshotFolder = L"C:\\Orvane-bench-none";
    Figures f;
    const double start = NowMs();
    CDiagnosisDlg dlg(settings);
    if (!dlg.Create(IDD_DIAGNOSE)) return f;
    std::atomic<bool> stop{false}, done{false};
    std::atomic<int> questions{0};
    double longest = 0;
    HWND target = dlg.m_hWnd;
    std::thread prober([&] {
        while (!stop) {
            const double t0 = NowMs();
            DWORD_PTR r = 0;
            ::SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r);
            const double ms = NowMs() - t0;
            if (ms > longest) longest = ms;
            ++questions;
            ::Sleep(2);
        }
        done = true;
    });
    MSG msg;
    while (!dlg.Finished() && NowMs() - start < 30000) {
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        } else {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    f.totalMs = NowMs() - start;
    f.finished = dlg.Finished();
    stop = true;
    while (!done) {
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        else ::Sleep(1);
    }
    prober.join();
    f.longestAnswerMs = longest;
    f.questions = questions;
    dlg.DestroyWindow();
    return f;
}

void Print(const char* what, const Figures& f) {
    std::printf("  %s: report %s in %.0f ms (budget %.0f ms: %s); longest answer %.1f ms over %d questions "
                "(budget %.0f ms: %s)\n",
                what, f.finished ? "complete" : "NOT complete", f.totalMs, kTotalBudgetMs,
                f.totalMs <= kTotalBudgetMs ? "met" : "MISSED", f.longestAnswerMs, f.questions, kAnswerBudgetMs,
                f.longestAnswerMs <= kAnswerBudgetMs ? "met" : "MISSED");
}

} // namespace

int main() {
    fw::SetTraceSink(&Quiet);
    std::printf("Diagnosis window: total time and longest answer while the checks run\n");
    test::LocalHttpServer server;
    if (server.Port() == 0) {
        std::printf("  no local server\n");
        return 1;
    }
    Print("answered page  ", Measure(server.Url(L"/ok")));
    Print("silent server  ", Measure(server.Url(L"/silent")));
    server.Stop();
    return 0;
}
