#pragma once
// Shared helpers for tests that run real windows under Wine.
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
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

// Time a test gives one wait (a modal run, a hand-off, a window, a message) before it fails.
constexpr DWORD kDeadlineMs = 10000;
// Time a test gives a process it starts to come up (or to run to its end): starting a process
// under Wine on a loaded machine takes far longer than any wait for a message.
constexpr DWORD kProcessStartDeadlineMs = 30000;

// A time limit on what a test waits for. When it passes, the running test fails with a message
// naming the wait, and every message loop of this thread is made to end (open message boxes of
// the thread are ended, then a quit message unwinds the modal loops), so a fault fails the test
// in seconds instead of hanging until the test driver's timeout. A watchdog thread keeps the
// time and posts to a window of this thread, so the failure is recorded inside whatever loop
// runs then; Passed() lets waits that do not pump messages check it themselves. If the thread
// does not come back a few seconds after that (a hang no loop sees), the watchdog prints the
// message and ends the process with a failure code.
// One deadline keeps the time at once: a deadline made while another is in force on the thread
// (a fixture's inside a test's own) hands its calls to that one.
class Deadline {
public:
    // The failure is reported at the line that made (or restarted) the deadline.
    explicit Deadline(std::string waitingFor, DWORD ms = kDeadlineMs, const char* file = __builtin_FILE(),
                      int line = __builtin_LINE());
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;
    // The next wait of the same test: a new description and a fresh time limit.
    void Restart(std::string waitingFor, DWORD ms = kDeadlineMs, const char* file = __builtin_FILE(),
                 int line = __builtin_LINE());
    // True once the limit has passed (the failure is recorded by then).
    bool Passed();

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Expire();
    void Watch();

    Deadline* m_outer = nullptr;
    HWND m_window = nullptr;
    const char* m_file = nullptr;
    int m_line = 0;
    DWORD m_start = 0;
    bool m_passed = false;
    // Shared with the watchdog.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_waitingFor;
    DWORD m_ms = 0;
    unsigned m_generation = 0;
    bool m_done = false;
    std::thread m_watchdog;
};

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

// The system DPI the test run was started for: ORVANE_EXPECT_DPI, which tools/test-inner.sh sets
// for every run. 0 when it is not set; UINT_MAX when it is not a DPI (so that no DPI matches it).
UINT ExpectedDpi();

// GDI+ started for the life of the object.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();

private:
    ULONG_PTR m_token = 0;
};

} // namespace test
