// The tool's entry: the run sequence with its console texts and exit code.
#pragma once

#include "app/arguments.h"
#include "platform/platform.h"

#define EXIT_NO_DEVICE 1

// Runs the whole tool; returns the process exit code.
DWORD ToolMain(int argc, char* argv[]);
