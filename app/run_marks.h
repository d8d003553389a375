// The log entries that frame a run in the appended log file: which build ran where, and how the
// run ended. They go to the file only; the console does not show them.
#pragma once

#include "platform/platform.h"

// The first entry of a run: version, architecture, Windows version and build, elevation.
void WriteRunHeader(void);

// The last entry of a run: its exit code.
void WriteRunEnd(DWORD exitCode);
