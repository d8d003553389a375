// Deterministic threads on the virtual clock. One simulated thread runs at a time; it runs
// until it blocks (Sleep, or a call that takes virtual time), ends, or starts a new thread.
// A new thread runs at once until it first blocks. When a thread blocks, the thread with the
// earliest wake-up time runs next; equal times go to the thread that blocked first. The clock
// jumps to the wake-up time of the thread that runs. So every run prints the same bytes.
#pragma once

#include "sim/winapi.h"

#include <cstdint>
#include <functional>

namespace sim {

// Runs entry as the main thread of a simulated process; when it returns, the process ends and
// every other thread with it, wherever it is.
DWORD RunMainThread(const std::function<DWORD()>& entry);

// Blocks the calling thread for ms of virtual time while other threads may run.
void Block(uint64_t ms);

HANDLE StartThread(LPTHREAD_START_ROUTINE start, LPVOID parameter);
[[noreturn]] void EndCurrentThread(DWORD code);

const char* CurrentThreadName();

} // namespace sim
