#include "TestSupport.h"

#include "framework/GdiPlus.h"
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cwchar>
#include <cstdio>
#include <map>

namespace test {

namespace {
std::map<UINT_PTR, std::function<void()>>& Tasks() {
    static std::map<UINT_PTR, std::function<void()>> tasks;
    return tasks;
}

void CALLBACK TaskTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    auto it = Tasks().find(id);
    if (it == Tasks().end()) return;
    auto fn = std::move(it->second);
    Tasks().erase(it);
    fn();
}

MessageBoxAnswerer* g_answerer = nullptr;

// The deadline that keeps the time of this thread's waits (see Deadline).
Deadline* g_deadlineInForce = nullptr;

// Posted by the watchdog to the deadline's window when the time is up. A posted message, unlike
// a timer, is not starved by a loop whose queue never runs empty (boxes answered as they open).
constexpr UINT WM_DEADLINE_PASSED = WM_APP + 0x3D1;

// How long the watchdog waits, after a deadline passed, for the test thread to come back.
constexpr DWORD kWatchdogGraceMs = 5000;

// Ends this thread's message boxes (as Cancel) and posts the quit message that ends every modal
// loop of the framework, each of which posts it again for the loop around it.
void BreakOutOfLoops() {
    for (HWND h : ThreadTopWindows()) {
        if (ClassNameOf(h) == L"#32770" && ::GetDlgItem(h, 0xFFFF)) ::EndDialog(h, IDCANCEL);
    }
    ::PostQuitMessage(0);
}
} // namespace

Deadline::Deadline(std::string waitingFor, DWORD ms, const char* file, int line)
    : m_file(file), m_line(line), m_waitingFor(std::move(waitingFor)), m_ms(ms) {
    if (g_deadlineInForce) {
        m_outer = g_deadlineInForce;
        return;
    }
    g_deadlineInForce = this;
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Deadline::WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvaneTestDeadline";
        return ::RegisterClassW(&wc);
    }();
    (void)atom;
    m_window = ::CreateWindowExW(0, L"OrvaneTestDeadline", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_start = ::GetTickCount();
    m_watchdog = std::thread([this] { Watch(); });
}

Deadline::~Deadline() {
    if (m_outer) return;
    g_deadlineInForce = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_changed.notify_all();
    m_watchdog.join();
    ::DestroyWindow(m_window);
}

void Deadline::Restart(std::string waitingFor, DWORD ms, const char* file, int line) {
    if (m_outer) return m_outer->Restart(std::move(waitingFor), ms, file, line);
    m_file = file;
    m_line = line;
    m_start = ::GetTickCount();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waitingFor = std::move(waitingFor);
        m_ms = ms;
        m_passed = false;
        ++m_generation;
    }
    m_changed.notify_all();
}

bool Deadline::Passed() {
    if (m_outer) return m_outer->Passed();
    if (!m_passed && ::GetTickCount() - m_start >= m_ms) Expire();
    return m_passed;
}

void Deadline::Expire() {
    m_passed = true;
    ADD_FAILURE_AT(m_file, m_line) << "gave up after " << m_ms << " ms waiting for " << m_waitingFor;
    BreakOutOfLoops();
}

LRESULT CALLBACK Deadline::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEADLINE_PASSED) {
        auto* self = reinterpret_cast<Deadline*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && self == g_deadlineInForce && !self->m_passed) {
            unsigned generation;
            {
                std::lock_guard<std::mutex> lock(self->m_mutex);
                generation = self->m_generation;
            }
            // A restart after the watchdog posted this starts a new wait.
            if (generation == static_cast<unsigned>(wParam)) self->Expire();
        }
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

void Deadline::Watch() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        const unsigned generation = m_generation;
        auto changed = [&] { return m_done || m_generation != generation; };
        if (m_changed.wait_for(lock, std::chrono::milliseconds(m_ms), changed)) {
            if (m_done) return;
            continue;
        }
        ::PostMessageW(m_window, WM_DEADLINE_PASSED, generation, 0);
        if (m_changed.wait_for(lock, std::chrono::milliseconds(kWatchdogGraceMs), changed)) {
            if (m_done) return;
            continue;
        }
        // The test thread neither finished the wait nor came back after the failure: no loop of
        // it dispatches messages. Say what it waited for and end the process rather than hang.
        std::fflush(stdout);
        std::fprintf(stderr, "FAILED: no return %lu ms after the deadline passed, waiting for %s; ending the process\n",
                     static_cast<unsigned long>(kWatchdogGraceMs), m_waitingFor.c_str());
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 3);
    }
}

void PumpFor(DWORD ms) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - start < ms) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!pred()) {
        if (::GetTickCount() - start > timeoutMs) return pred();
        PumpFor(5);
    }
    return true;
}

void RunSoon(std::function<void()> fn, UINT delayMs) {
    const UINT_PTR id = ::SetTimer(nullptr, 0, delayMs, &TaskTimer);
    Tasks()[id] = std::move(fn);
}

void ResetThreadState() {
    for (auto& task : Tasks()) ::KillTimer(nullptr, task.first);
    Tasks().clear();
    PumpFor(10);
    while (TakeQuitMessage()) {
    }
}

bool TakeQuitMessage(int* code) {
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        if (code) *code = static_cast<int>(msg.wParam);
        return true;
    }
    return false;
}

MessageBoxAnswerer::MessageBoxAnswerer(int answer) : m_answer(answer) {
    g_answerer = this;
    m_hook = ::SetWindowsHookExW(WH_CBT, &Hook, nullptr, ::GetCurrentThreadId());
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    ::UnhookWindowsHookEx(m_hook);
    g_answerer = nullptr;
}

LRESULT CALLBACK MessageBoxAnswerer::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_answerer) {
        HWND box = reinterpret_cast<HWND>(wParam);
        if (ClassNameOf(box) == L"#32770" && ::GetDlgItem(box, 0xFFFF)) {
            Box rec;
            wchar_t buf[1024] = {};
            ::GetDlgItemTextW(box, 0xFFFF, buf, 1024);
            rec.text = buf;
            ::GetWindowTextW(box, buf, 1024);
            rec.caption = buf;
            rec.owner = ::GetWindow(box, GW_OWNER);
            rec.style = ::GetWindowLongW(box, GWL_STYLE);
            for (int id = IDOK; id <= IDCONTINUE; ++id) {
                HWND b = ::GetDlgItem(box, id);
                if (b && (::GetWindowLongW(b, GWL_STYLE) & WS_VISIBLE)) rec.buttons.push_back(id);
            }
            // The icon static: id 20 on Windows, 0x440 (stc1) on Wine.
            for (int id : {20, 0x440}) {
                HWND icon = ::GetDlgItem(box, id);
                rec.icon = rec.icon || (icon && (::GetWindowLongW(icon, GWL_STYLE) & WS_VISIBLE) &&
                                        ::SendMessageW(icon, STM_GETICON, 0, 0) != 0);
            }
            bool known = false;
            for (HWND h : g_answerer->m_answered) known = known || h == box;
            if (!known) {
                g_answerer->m_answered.push_back(box);
                g_answerer->boxes.push_back(rec);
                if (g_answerer->onShow) g_answerer->onShow(rec);
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(g_answerer->m_answer, BN_CLICKED), 0);
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<HWND> ThreadTopWindows() {
    std::vector<HWND> out;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND h, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

std::wstring ClassNameOf(HWND hWnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(hWnd, name, 256);
    return name;
}

UINT ExpectedDpi() {
    wchar_t text[32] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"ORVANE_EXPECT_DPI", text, 32);
    if (n == 0) return 0;
    if (n >= 32) return UINT_MAX;
    wchar_t* end = nullptr;
    const unsigned long dpi = std::wcstoul(text, &end, 10);
    return end != text && *end == L'\0' && dpi > 0 && dpi < 10000 ? static_cast<UINT>(dpi) : UINT_MAX;
}

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
}

GdiplusSession::~GdiplusSession() {
    if (m_token) Gdiplus::GdiplusShutdown(m_token);
}

} // namespace test
