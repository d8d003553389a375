// What the log header tells support about the PC and the process.
#pragma once

#include "platform/platform.h"

// The Windows version and build as the exe's manifest lets it see them; zeros when unknown.
void ReadWindowsVersion(DWORD* major, DWORD* minor, DWORD* build);

// TRUE when the process runs with an administrator's elevated token.
BOOL IsProcessElevated(void);
