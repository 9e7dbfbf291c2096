#include "diag/DiagnosisCopy.h"

#include "diag/ClipboardText.h"
#include "diag/DiagnosisReport.h"
#include "framework/Handles.h"
#include "framework/Trace.h"
#include "framework/TraceRing.h"

#include <memory>

namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneDiagnosisCopy";

// The copy in progress; one at a time, on the user-interface thread.
struct Copy {
    fw::UniqueWindow window; // message-only: receives the run's progress and owns the clipboard data
    std::shared_ptr<DiagnosisRun> run;
    HWND notify = nullptr;
};

Copy& TheCopy() {
    // Never destroyed: its window goes with the thread that made it.
    static Copy* const copy = new Copy();
    return *copy;
}

void Finish(Copy& copy) {
    const DiagnosisFacts facts = copy.run->Facts();
    copy.run.reset();
    bool copied = false;
    try {
        fw::Trace(L"diagnosis: copying the report and the trace");
        const std::wstring text = ReportWithTrace(BuildDiagnosisReport(facts), fw::RecentTraceLines());
        copied = CopyTextToClipboard(copy.window.get(), text);
    } catch (...) {
        copied = false;
    }
    if (!copied) fw::Trace(L"diagnosis: not copied: the clipboard is busy or there is no memory");
    if (copy.notify && ::IsWindow(copy.notify)) {
        fw::Ignore(::PostMessageW(copy.notify, WM_DIAGNOSIS_COPIED, copied ? TRUE : FALSE, 0));
    }
    copy.notify = nullptr;
}

LRESULT CALLBACK CopyWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_DIAGNOSIS_PROGRESS) {
        Copy& copy = TheCopy();
        if (copy.run && copy.run->Done()) Finish(copy);
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

bool EnsureWindow(Copy& copy) {
    if (copy.window) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &CopyWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    fw::Ignore(::RegisterClassExW(&wc)); // already registered is fine
    copy.window.reset(::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                        nullptr));
    return static_cast<bool>(copy.window);
}

} // namespace

bool StartDiagnosisCopy(HWND notify, DiagnosisSettings settings) {
    Copy& copy = TheCopy();
    if (copy.run) {
        fw::Trace(L"diagnosis: a copy is already running");
        return false;
    }
    if (!EnsureWindow(copy)) {
        fw::Trace(L"diagnosis: no window for the copy");
        return false;
    }
    copy.notify = notify;
    copy.run = DiagnosisRun::Start(std::move(settings), copy.window.get(), WM_DIAGNOSIS_PROGRESS);
    return true;
}

bool DiagnosisCopyRunning() noexcept {
    return static_cast<bool>(TheCopy().run);
}

std::wstring ReportWithTrace(const std::wstring& report, const std::vector<std::wstring>& lines) {
    std::wstring out = report;
    out += L"\r\n[最近的程序日志 (最多 ";
    out += std::to_wstring(fw::kTraceRingLines);
    out += L" 行)]\r\n";
    for (const std::wstring& line : lines) {
        out += line;
        out += L"\r\n";
    }
    return out;
}
