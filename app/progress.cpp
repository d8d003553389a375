#include "app/progress.h"

#include "log/console.h"

// Prints a dot a second while g_bRunning is set, and keeps quiet while g_bPaused is.
static DWORD WINAPI ProgressThread(LPVOID parameter) {
    (void)parameter;
    while (g_bRunning.load(std::memory_order_relaxed)) {
        if (g_bPaused.load(std::memory_order_relaxed)) {
            Sleep(200);
        } else {
            ConsoleWrite(".", 1);
            Sleep(1000);
        }
    }
    ExitThread(0);
}

void StartProgressIndicator(void) {
    g_bRunning.store(1, std::memory_order_relaxed);
    HANDLE thread = CreateThread(NULL, 0, ProgressThread, NULL, 0, NULL);
    // The thread lives until the process ends; its handle is not needed.
    if (thread != NULL)
        CloseHandle(thread);
}

void SetProgressPaused(int paused) {
    g_bPaused.store(paused, std::memory_order_relaxed);
}

void StopProgressIndicator(void) {
    g_bRunning.store(0, std::memory_order_relaxed);
}
