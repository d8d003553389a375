#include "app/system_facts.h"

#include <cstring>

void ReadWindowsVersion(DWORD* major, DWORD* minor, DWORD* build) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version)) {
        *major = *minor = *build = 0;
        return;
    }
    *major = version.dwMajorVersion;
    *minor = version.dwMinorVersion;
    *build = version.dwBuildNumber;
}

BOOL IsProcessElevated(void) {
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return FALSE;
    TOKEN_ELEVATION elevation;
    memset(&elevation, 0, sizeof(elevation));
    DWORD returned = 0;
    BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &returned);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}
