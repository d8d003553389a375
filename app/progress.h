// The progress indicator: a second thread that prints a dot a second while the main thread
// works, and keeps quiet while paused.
#pragma once

#include "platform/platform.h"
#include "state/process_state.h"

// Sets g_bRunning and starts ProgressThread; a thread that cannot start means no dots.
void StartProgressIndicator(void);
void SetProgressPaused(int paused);
void StopProgressIndicator(void);
