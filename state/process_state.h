// The tool's process-wide variables, the only state shared beyond one call, and their reset.
#pragma once

#include "platform/platform.h"

#include <atomic>

// The log switch, the log file's path (resolved once, on the first entry) and its open file.
// All three belong to the main thread.
extern int g_bLogEnabled;
extern char g_szLogPath[MAX_PATH];
extern HLOGFILE g_pLogFile;

// Written by the main thread, read by the progress thread; only visibility matters.
extern std::atomic<int> g_bRunning;
extern std::atomic<int> g_bPaused;

// Set by the repair when an install succeeded but Windows needs a restart to finish it; read
// for the closing text. Main thread only.
extern int g_bRebootRequired;

// Puts every process-wide variable back to its value at process start. A real process starts
// that way; every run on the simulated PC starts through this.
void ResetProcessState(void);
