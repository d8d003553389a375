#include "sim/scheduler.h"

#include "sim/pc.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {
namespace {

struct ThreadEnded {};  // unwinds a thread that called ExitThread
struct ProcessEnded {}; // unwinds a thread when the process ends

struct SimThread {
    std::string name;
    std::condition_variable cv;
    uint64_t wakeAt = 0;
    uint64_t order = 0;
    bool finished = false;
    bool killed = false;
    std::thread thread;
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
};

std::mutex g_mutex;
std::vector<std::unique_ptr<SimThread>> g_threads;
SimThread* g_current = nullptr;
SimThread* g_main = nullptr;
uint64_t g_order = 0;
thread_local SimThread* t_self = nullptr;

SimThread* PickNext() {
    SimThread* next = nullptr;
    for (auto& thread : g_threads) {
        if (thread->finished)
            continue;
        if (!next || thread->wakeAt < next->wakeAt ||
            (thread->wakeAt == next->wakeAt && thread->order < next->order))
            next = thread.get();
    }
    return next;
}

void Hand(SimThread* next) {
    if (next->wakeAt > CurrentWorld().nowMs)
        CurrentWorld().nowMs = next->wakeAt;
    g_current = next;
    next->cv.notify_one();
}

// Waits until the calling thread holds the baton again.
void WaitForTurn(std::unique_lock<std::mutex>& lock) {
    SimThread* self = t_self;
    self->cv.wait(lock, [self] { return g_current == self; });
    if (self->killed)
        throw ProcessEnded{};
}

void MarkReady(SimThread* self, uint64_t wakeAt) {
    self->wakeAt = wakeAt;
    self->order = ++g_order;
}

void ThreadBody(SimThread* self) {
    t_self = self;
    try {
        {
            std::unique_lock<std::mutex> lock(g_mutex);
            WaitForTurn(lock);
        }
        self->start(self->parameter);
        Trace("thread returned");
    } catch (const ThreadEnded&) {
    } catch (const ProcessEnded&) {
    }
    std::unique_lock<std::mutex> lock(g_mutex);
    self->finished = true;
    Hand(self->killed ? g_main : PickNext());
}

void EndOtherThreads() {
    std::unique_lock<std::mutex> lock(g_mutex);
    for (auto& thread : g_threads) {
        if (thread.get() == g_main || thread->finished)
            continue;
        thread->killed = true;
        g_current = thread.get();
        thread->cv.notify_one();
        g_main->cv.wait(lock, [] { return g_current == g_main; });
    }
}

} // namespace

DWORD RunMainThread(const std::function<DWORD()>& entry) {
    {
        std::unique_lock<std::mutex> lock(g_mutex);
        g_threads.clear();
        g_order = 0;
        auto main = std::make_unique<SimThread>();
        main->name = "main";
        g_main = main.get();
        g_current = g_main;
        g_threads.push_back(std::move(main));
    }
    t_self = g_main;
    DWORD code = entry();
    EndOtherThreads();
    for (auto& thread : g_threads)
        if (thread->thread.joinable())
            thread->thread.join();
    std::unique_lock<std::mutex> lock(g_mutex);
    g_threads.clear();
    g_main = g_current = nullptr;
    t_self = nullptr;
    return code;
}

void Block(uint64_t ms) {
    SimThread* self = t_self;
    if (self == nullptr) { // outside a simulated process: just move the clock
        CurrentWorld().nowMs += ms;
        return;
    }
    std::unique_lock<std::mutex> lock(g_mutex);
    MarkReady(self, CurrentWorld().nowMs + ms);
    SimThread* next = PickNext();
    Hand(next);
    if (next != self)
        WaitForTurn(lock);
}

HANDLE StartThread(LPTHREAD_START_ROUTINE start, LPVOID parameter) {
    SimThread* self = t_self;
    std::unique_lock<std::mutex> lock(g_mutex);
    auto created = std::make_unique<SimThread>();
    SimThread* thread = created.get();
    thread->name = "thread" + std::to_string(g_threads.size());
    thread->start = start;
    thread->parameter = parameter;
    MarkReady(thread, CurrentWorld().nowMs);
    g_threads.push_back(std::move(created));
    uintptr_t handle = NewHandleValue();
    LedgerOpen(handle, Resource::Handle, thread->name);
    thread->thread = std::thread(ThreadBody, thread);
    if (self != nullptr) {
        // The creator goes on when the new thread first blocks.
        MarkReady(self, CurrentWorld().nowMs);
        Hand(thread);
        WaitForTurn(lock);
    }
    return (HANDLE)handle;
}

void EndCurrentThread(DWORD code) {
    Trace("ExitThread(%u)", (unsigned)code);
    throw ThreadEnded{};
}

const char* CurrentThreadName() {
    return t_self ? t_self->name.c_str() : "-";
}

} // namespace sim
