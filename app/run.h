// The tool's entry: the run sequence with its console texts and exit code.
#pragma once

#include "platform/platform.h"

#define EXIT_NO_DEVICE 1

// Runs the whole tool; returns the process exit code.
DWORD ToolMain(int argc, char* argv[]);

// TRUE when the first argument switches the diagnostic log on (-l, /L, xl, -log ...).
BOOL IsLogSwitch(int argc, char* argv[]);
