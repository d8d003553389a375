// The setup classes named "USB": looked up afresh by every scan.
#pragma once

#include "platform/platform.h"

#define INITIAL_CLASS_CAPACITY 16

// Fills *classes (a GlobalAlloc block the caller frees) and *count. Returns 0, 122 when the
// list cannot be allocated, or the last-error value of a failed lookup.
DWORD LookupUsbClasses(GUID** classes, DWORD* count);

// Logs a class header line: the given title, then the GUID in lower-case hexadecimal.
void LogClassHeader(const char* title, const GUID* guid);
