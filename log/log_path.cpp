#include "log/log_path.h"

#include "log/write_log.h"

#include <cstring>
#include <cwchar>

// The longest TEMP that still leaves room for the file name and the terminating NUL.
static const DWORD kMaxTempLength = MAX_PATH - (sizeof(LOG_FILE_NAME) - 1) - 1;

// Converts wide text to the ANSI code page into ansi (MAX_PATH bytes); TRUE only when the
// conversion loses nothing, that is when it converts back to the same wide text.
static BOOL ConvertsToAnsiWithoutLoss(const WCHAR* wide, char* ansi) {
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, MAX_PATH, NULL, NULL) == 0)
        return FALSE;
    WCHAR back[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH) == 0)
        return FALSE;
    return wcscmp(back, wide) == 0;
}

// Reads TEMP into path as ANSI text. Returns its length; 0 when there is no usable value; more
// than MAX_PATH - 1 when it does not fit.
static DWORD ReadTemp(char* path) {
    WCHAR wide[MAX_PATH];
    DWORD wideLength = GetEnvironmentVariableW(L"TEMP", wide, MAX_PATH);
    if (wideLength == 0 || wideLength >= MAX_PATH || ConvertsToAnsiWithoutLoss(wide, path))
        return GetEnvironmentVariableA("TEMP", path, MAX_PATH);
    // Letters the code page lacks come out of the A call as '?', which names no folder. The
    // folder's short (8.3) name is plain ASCII where the file system makes one.
    WCHAR shortPath[MAX_PATH];
    DWORD shortLength = GetShortPathNameW(wide, shortPath, MAX_PATH);
    if (shortLength == 0 || shortLength >= MAX_PATH || !ConvertsToAnsiWithoutLoss(shortPath, path))
        return 0;
    return (DWORD)strlen(path);
}

BOOL ResolveLogPath(char* path) {
    DWORD length = ReadTemp(path);
    if (length == 0 || length > kMaxTempLength) {
        // Too long: Windows leaves the buffer undefined, and a stored path must end in the name.
        path[0] = '\0';
        return FALSE;
    }
    memcpy(path + length, LOG_FILE_NAME, sizeof(LOG_FILE_NAME));
    return TRUE;
}
