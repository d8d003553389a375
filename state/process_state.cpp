#include "state/process_state.h"

#include <cstring>

int g_bLogEnabled = 0;
char g_szLogPath[MAX_PATH] = {0};
HLOGFILE g_pLogFile = NULL;

std::atomic<int> g_bRunning{0};
std::atomic<int> g_bPaused{0};

int g_bRebootRequired = 0;

void ResetProcessState(void) {
    g_bLogEnabled = 0;
    memset(g_szLogPath, 0, sizeof(g_szLogPath));
    g_pLogFile = NULL;
    g_bRunning.store(0);
    g_bPaused.store(0);
    g_bRebootRequired = 0;
}
