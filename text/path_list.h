// A growable list of device paths, each a GlobalAlloc copy owned by the list.
#pragma once

#include "platform/platform.h"

typedef struct PATH_LIST {
    LPSTR* Items;
    DWORD Count;
    DWORD Capacity;
} PATH_LIST;

// Appends a copy of path; FALSE when memory is out, and the list is unchanged.
BOOL AppendPath(PATH_LIST* list, const char* path);
// Frees every entry and the array, and leaves the list empty.
void FreePathList(PATH_LIST* list);
