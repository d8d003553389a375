// Where the log file goes: the TEMP folder, read so that a folder named in letters outside the
// ANSI code page still gets the log.
#pragma once

#include "platform/platform.h"

// Fills path (MAX_PATH characters) with TEMP followed by the log file's name; FALSE, with path
// empty, when TEMP is missing, empty, too long or names no folder the ANSI calls can reach.
BOOL ResolveLogPath(char* path);
