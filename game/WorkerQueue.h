#pragma once
// Work the game window hands off its own thread so that it keeps answering (a PNG to encode and
// write, the engine's cache to walk). Jobs run one after another on a thread that exists only
// while there is work. A job never touches the window's objects or COM objects of the window's
// thread: it posts its result back to the window, which matches it to what it asked for.
#include <windows.h>

#include <functional>
#include <memory>

class WorkerQueue {
public:
    using Job = std::function<void()>;

    WorkerQueue();
    // Waits for nothing: the owner bounds its own wait with Finish. A thread still running keeps
    // what it needs alive.
    ~WorkerQueue();
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    // Queues job; a thread starts when none runs. False when no thread could be started: the job
    // is dropped without running.
    bool Post(Job job);
    // A job is queued or running.
    bool Busy() const noexcept;
    // Waits up to ms for every queued job to end; true when none is left.
    bool Finish(DWORD ms) const noexcept;

private:
    struct State;
    static unsigned __stdcall ThreadMain(void* state) noexcept;
    std::shared_ptr<State> m_state;
};
