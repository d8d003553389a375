// Telling an executable's processor from its first bytes.
#pragma once

#include "platform/platform.h"

// TRUE when header, the first cb bytes of a file, starts an x86-64 (PE32+) Windows image.
BOOL IsX64Image(const BYTE* header, DWORD cb);
