#include "device/class_lookup.h"

#include "log/write_log.h"

static GUID* AllocateClassList(DWORD capacity) {
    // A count reported by the lookup can overflow the size in a 32-bit process.
    SIZE_T bytes = (SIZE_T)capacity * sizeof(GUID);
    if (bytes / sizeof(GUID) != capacity)
        return NULL;
    return (GUID*)GlobalAlloc(GPTR, bytes);
}

DWORD LookupUsbClasses(GUID** classes, DWORD* count) {
    *classes = NULL;
    *count = 0;
    DWORD capacity = INITIAL_CLASS_CAPACITY;
    for (;;) {
        GUID* list = AllocateClassList(capacity);
        if (list == NULL)
            return ERROR_INSUFFICIENT_BUFFER;
        DWORD required = 0;
        if (SetupDiClassGuidsFromNameExA("USB", list, capacity, &required, NULL, NULL)) {
            // The count bounds the walk, but never past what the list can hold.
            *classes = list;
            *count = required < capacity ? required : capacity;
            return 0;
        }
        DWORD error = GetLastError();
        GlobalFree(list);
        if (error != ERROR_INSUFFICIENT_BUFFER)
            return error;
        capacity = required;
    }
}

void LogClassHeader(const char* title, const GUID* guid) {
    WriteLog("%s: {%.8x-%.4x-%.4x-%.2x%.2x-%.2x%.2x%.2x%.2x%.2x%.2x} ...\n", title,
             (unsigned)guid->Data1, guid->Data2, guid->Data3, guid->Data4[0], guid->Data4[1],
             guid->Data4[2], guid->Data4[3], guid->Data4[4], guid->Data4[5], guid->Data4[6],
             guid->Data4[7]);
}
