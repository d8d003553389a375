#include "device/driver_package.h"

#include <cstring>

DWORD BuildDriverPackagePath(char* path) {
    memset(path, 0, MAX_PATH);
    unsigned length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0) {
        DWORD error = GetLastError();
        return error != 0 ? error : ERROR_PATH_NOT_FOUND;
    }
    if (length + sizeof(DRIVER_PACKAGE_SUFFIX) > MAX_PATH) {
        path[0] = '\0';
        return ERROR_FILENAME_EXCED_RANGE;
    }
    memcpy(path + length, DRIVER_PACKAGE_SUFFIX, sizeof(DRIVER_PACKAGE_SUFFIX));
    return 0;
}
