// The ADB mode switch: finds the phone's disks by its serial and sends each the command.
#pragma once

#include "platform/platform.h"

#define DISK_DETAIL_SIZE 1024
#define ADB_PASSES 2
#define ADB_ATTEMPTS_PER_DISK 20
#define ADB_WAIT_MS 1000
// The lowered serial: a serial from a 200-character instance ID, with room for a double-byte
// code page's mapping to grow it.
#define DEVICE_FILTER_SIZE 512

// A growable list of device paths, each a GlobalAlloc copy owned by the list.
typedef struct PATH_LIST {
    LPSTR* Items;
    DWORD Count;
    DWORD Capacity;
} PATH_LIST;

// A GlobalAlloc copy of text, for handing a string over by value; NULL when memory is out.
LPSTR CopyText(const char* text);

// Switches ADB on or off on every present disk whose path holds the serial. Takes ownership
// of serial (a CopyText copy) and frees it. 1 when any disk accepted the command, else 0.
int TurnAdb(BOOL on, LPSTR serial);

// Appends the device paths of the set's disk interfaces to list and destroys the set;
// returns the number of entries in the list.
int EnumDiskInterfaces(PATH_LIST* list, HDEVINFO set);

// Appends a copy of path; FALSE when memory is out, and the list is unchanged.
BOOL AppendPath(PATH_LIST* list, const char* path);
void FreePathList(PATH_LIST* list);
