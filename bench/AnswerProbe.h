#pragma once
// How long a window takes to answer, seen from a thread of its own: WM_NULL sent every few
// milliseconds, the longest wait kept. Work on the window's thread shows up one for one.
#include "bench/BenchReport.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

class AnswerProbe {
public:
    explicit AnswerProbe(HWND window) : m_window(window) {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                const double start = NowMs();
                DWORD_PTR result = 0;
                ::SendMessageTimeoutW(m_window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
                m_longest.store(std::max(m_longest.load(), NowMs() - start));
                ++m_samples;
                ::Sleep(3);
            }
            m_done = true;
        });
    }
    ~AnswerProbe() { Stop(); }
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;
    // The longest wait in ms; on the window's thread it answers the last message while it waits.
    double Stop() {
        m_stop = true;
        while (m_thread.joinable() && !m_done.load()) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            ::Sleep(1);
        }
        if (m_thread.joinable()) m_thread.join();
        return m_longest.load();
    }
    // How many times the window was asked.
    int Samples() const { return m_samples.load(); }

private:
    HWND m_window;
    std::atomic<bool> m_stop{false}, m_done{false};
    std::atomic<double> m_longest{0};
    std::atomic<int> m_samples{0};
    std::thread m_thread;
};

// Pumps this thread's messages until done() holds or ms pass; false on time-out.
template <typename Done>
bool PumpUntil(Done done, double ms) {
    const double end = NowMs() + ms;
    while (!done()) {
        if (NowMs() > end) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}
