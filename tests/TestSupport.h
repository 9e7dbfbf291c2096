#pragma once
// Shared helpers for tests that run real windows under Wine.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace test {

// Dispatches queued messages for about ms milliseconds.
void PumpFor(DWORD ms);
// Pumps until pred() holds or timeoutMs passes; returns pred().
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000);
// Runs fn from a thread timer after delayMs, inside whatever message loop is running then.
void RunSoon(std::function<void()> fn, UINT delayMs = 1);
// Between tests: drops pending tasks, dispatches what is queued and removes a pending quit.
void ResetThreadState();
// Removes a pending WM_QUIT from this thread's queue; true when there was one.
bool TakeQuitMessage(int* code = nullptr);

// Answers message boxes of this thread as they appear, and records them.
class MessageBoxAnswerer {
public:
    struct Box {
        std::wstring text, caption;
        HWND owner = nullptr;
        LONG style = 0;
        // Ids of the push buttons the box offers (IDOK, IDCANCEL, IDYES, IDNO, ...), in id order.
        std::vector<int> buttons;
        // Whether the box shows an icon.
        bool icon = false;
    };
    explicit MessageBoxAnswerer(int answer);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
    void SetAnswer(int answer) { m_answer = answer; }
    // Called with each box before it is answered.
    std::function<void(const Box&)> onShow;
    std::vector<Box> boxes;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook = nullptr;
    int m_answer;
    std::vector<HWND> m_answered;
};

// Top-level windows of this process's thread, visible or not.
std::vector<HWND> ThreadTopWindows();
std::wstring ClassNameOf(HWND hWnd);

// GDI+ started for the life of the object.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();

private:
    ULONG_PTR m_token = 0;
};

} // namespace test
