#include "game/WorkerQueue.h"

#include "framework/Handles.h"

#include <process.h>

#include <deque>
#include <mutex>
#include <utility>

struct WorkerQueue::State {
    std::mutex lock;
    std::deque<Job> jobs;
    bool running = false; // a thread takes jobs from the queue
    // Set while no job is queued or running: what Finish waits for.
    fw::UniqueKernelHandle idle{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
};

WorkerQueue::WorkerQueue() : m_state(std::make_shared<State>()) {}

WorkerQueue::~WorkerQueue() = default;

bool WorkerQueue::Post(Job job) {
    State& state = *m_state;
    if (!state.idle) return false;
    std::lock_guard<std::mutex> guard(state.lock);
    state.jobs.push_back(std::move(job));
    fw::Ignore(::ResetEvent(state.idle.get()));
    if (state.running) return true;
    // The thread holds its own reference: the queue may go before the last job ends.
    auto* keep = new std::shared_ptr<State>(m_state);
    // _beginthreadex rather than CreateThread: the C run-time library is set up for the thread.
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, &WorkerQueue::ThreadMain, keep, 0, nullptr);
    if (!thread) {
        delete keep;
        state.jobs.pop_back();
        if (state.jobs.empty()) fw::Ignore(::SetEvent(state.idle.get()));
        return false;
    }
    // Waited for through the idle event, never through the thread's handle.
    fw::Ignore(::CloseHandle(reinterpret_cast<HANDLE>(thread)));
    state.running = true;
    return true;
}

bool WorkerQueue::Busy() const noexcept {
    return m_state->idle && ::WaitForSingleObject(m_state->idle.get(), 0) != WAIT_OBJECT_0;
}

bool WorkerQueue::Finish(DWORD ms) const noexcept {
    return !m_state->idle || ::WaitForSingleObject(m_state->idle.get(), ms) == WAIT_OBJECT_0;
}

unsigned __stdcall WorkerQueue::ThreadMain(void* param) noexcept {
    std::unique_ptr<std::shared_ptr<State>> keep(static_cast<std::shared_ptr<State>*>(param));
    State& state = **keep;
    for (;;) {
        Job job;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            if (state.jobs.empty()) {
                state.running = false;
                fw::Ignore(::SetEvent(state.idle.get()));
                return 0;
            }
            job = std::move(state.jobs.front());
            state.jobs.pop_front();
        }
        try {
            if (job) job();
        } catch (...) {
            // A job reports its own failures; one that ran out of memory ends here, quietly.
        }
    }
}
