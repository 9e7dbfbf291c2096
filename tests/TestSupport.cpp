#include "TestSupport.h"

#include <gdiplus.h>

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
} // namespace

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

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
}

GdiplusSession::~GdiplusSession() {
    if (m_token) Gdiplus::GdiplusShutdown(m_token);
}

} // namespace test
