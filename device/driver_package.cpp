#include "device/driver_package.h"

#include "log/write_log.h"

#include <cstring>

DWORD BuildDriverPackagePath(char* path, const char* hardwareId) {
    memset(path, 0, MAX_PATH);
    unsigned length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0) {
        DWORD error = GetLastError();
        if (error == 0)
            error = ERROR_PATH_NOT_FOUND;
        WriteLog("Cannot read the Windows directory for %s, error: %08X\n", hardwareId,
                 (unsigned)error);
        return error;
    }
    if (length + sizeof(DRIVER_PACKAGE_SUFFIX) > MAX_PATH) {
        // A directory too long for the buffer is not in it: only a shorter one is shown.
        if (length >= MAX_PATH)
            path[0] = '\0';
        WriteLog("Driver package path too long for %s: %s\n", hardwareId, path);
        path[0] = '\0';
        return ERROR_FILENAME_EXCED_RANGE;
    }
    memcpy(path + length, DRIVER_PACKAGE_SUFFIX, sizeof(DRIVER_PACKAGE_SUFFIX));
    return 0;
}
