#include "adb/turn_adb.h"

#include "adb/adb_command.h"
#include "adb/disk_interfaces.h"
#include "log/write_log.h"
#include "text/ansi_text.h"
#include "text/copy_text.h"
#include "text/path_list.h"

#include <cstring>

// Sends the command up to 20 times, waiting after every refusal; TRUE when accepted.
static BOOL SendUntilAccepted(HANDLE disk, BOOL on) {
    for (int attempt = 0; attempt < ADB_ATTEMPTS_PER_DISK; ++attempt) {
        if (SendAdbModeCommand(disk, on))
            return TRUE;
        Sleep(ADB_WAIT_MS);
    }
    return FALSE;
}

// Opens one matching disk and commands it; TRUE when it accepted.
static BOOL TurnAdbOnDisk(const char* lowerPath, BOOL on) {
    WriteLog("Attempt to turn %s ADB for %s\n", on ? "on" : "off", lowerPath);
    HANDLE disk = CreateFileA(lowerPath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (disk == INVALID_HANDLE_VALUE) {
        WriteLog("Failed to open ADB device %s: %x\n", lowerPath, (unsigned)GetLastError());
        return FALSE;
    }
    BOOL accepted = SendUntilAccepted(disk, on);
    CloseHandle(disk);
    return accepted;
}

// One pass over the present disk interfaces. Sets *matched when any path held the filter.
static int TurnAdbPass(const char* filter, BOOL on, BOOL* matched) {
    PATH_LIST paths;
    memset(&paths, 0, sizeof(paths));
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        WriteLog("SetupDiGetClassDevs error: %X\n", (unsigned)GetLastError());
    else
        EnumDiskInterfaces(&paths, set);

    int result = 0;
    for (DWORD i = 0; i < paths.Count; ++i) {
        LPSTR lowerPath = LowerCaseCopy(paths.Items[i]);
        if (lowerPath == NULL)
            continue;
        if (strstr(lowerPath, filter) != NULL) {
            *matched = TRUE;
            if (TurnAdbOnDisk(lowerPath, on))
                result = 1;
        }
        GlobalFree(lowerPath);
    }
    Sleep(ADB_WAIT_MS);
    FreePathList(&paths);
    return result;
}

int TurnAdb(BOOL on, const char* serial) {
    // The call works on a copy of its own, as a string handed over belongs to the callee;
    // without memory for it the switch does nothing.
    LPSTR copy = CopyText(serial);
    if (copy == NULL)
        return 0;
    // Lowered into a buffer of its own; a serial that cannot be mapped is matched as given.
    char lowered[DEVICE_FILTER_SIZE];
    const char* filter =
        LowerCaseInto(lowered, sizeof(lowered), copy, strlen(copy)) >= 0 ? lowered : copy;
    WriteLog("DeviceFilter: %s\n", filter);

    int result = 0;
    BOOL matched = FALSE;
    for (int pass = 0; pass < ADB_PASSES && !matched; ++pass) {
        if (TurnAdbPass(filter, on, &matched))
            result = 1;
    }
    GlobalFree(copy);
    return result;
}
