/* A stand-in for Windows' newdev.dll in the Wine tests, used through the DLL override
 * newdev=native. UpdateDriverForPlugAndPlayDevicesA answers as a script file says and records
 * every call.
 *
 * Script (C:\qel\newdev-script.txt): whitespace-separated error codes in hex, one per call in
 * order, 0 for success, R for success that needs a restart (the reboot-required flag set);
 * calls after the last succeed.
 * Record (C:\qel\newdev-calls.txt): one line per call, "hardware ID|inf path|flags in hex|
 * answer in hex" (r for R), CR LF. The number of lines so far is the index of the next call, so deleting
 * the file restarts the script.
 *
 * Built three ways: the normal stand-in, one without the export (NEWDEV_NO_EXPORT) and one whose
 * DllMain refuses to load (NEWDEV_FAIL_LOAD). */
#include <windows.h>

#define SCRIPT_PATH "C:\\qel\\newdev-script.txt"
#define RECORD_PATH "C:\\qel\\newdev-calls.txt"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
#ifdef NEWDEV_FAIL_LOAD
    return reason != DLL_PROCESS_ATTACH;
#else
    (void)reason;
    return TRUE;
#endif
}

#ifndef NEWDEV_NO_EXPORT

/* Reads a whole small file; returns its length, 0 when it cannot be read. */
static DWORD ReadSmallFile(const char* path, char* buffer, DWORD size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    DWORD read = 0;
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    if (!ReadFile(file, buffer, size, &read, NULL))
        read = 0;
    CloseHandle(file);
    return read;
}

static DWORD CountLines(const char* text, DWORD length) {
    DWORD lines = 0;
    for (DWORD i = 0; i < length; ++i)
        lines += text[i] == '\n';
    return lines;
}

/* The scripted answer to call number index: 0 or an error code; *reboot for an R. */
static DWORD ScriptedAnswer(DWORD index, BOOL* reboot) {
    static char text[4096];
    DWORD length = ReadSmallFile(SCRIPT_PATH, text, sizeof(text) - 1);
    DWORD value = 0, count = 0;
    int inToken = 0;
    BOOL isReboot = FALSE;
    *reboot = FALSE;
    text[length] = ' ';
    for (DWORD i = 0; i <= length; ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit >= 0) {
            value = value * 16 + (DWORD)digit;
            inToken = 1;
        } else if (c == 'R') {
            isReboot = TRUE;
            inToken = 1;
        } else if (inToken) {
            if (count == index) {
                *reboot = isReboot;
                return isReboot ? 0 : value;
            }
            ++count;
            value = 0;
            inToken = 0;
            isReboot = FALSE;
        }
    }
    return 0;
}

__declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND parent,
                                                                     LPCSTR hardwareId,
                                                                     LPCSTR infPath, DWORD flags,
                                                                     PBOOL rebootRequired) {
    static char calls[65536];
    char line[2048];
    DWORD index = CountLines(calls, ReadSmallFile(RECORD_PATH, calls, sizeof(calls)));
    BOOL reboot;
    DWORD answer = ScriptedAnswer(index, &reboot);
    HANDLE file;
    DWORD written;
    (void)parent;

    if (reboot)
        wsprintfA(line, "%.700s|%.700s|%lx|r\r\n", hardwareId ? hardwareId : "(null)",
                  infPath ? infPath : "(null)", flags);
    else
        wsprintfA(line, "%.700s|%.700s|%lx|%lx\r\n", hardwareId ? hardwareId : "(null)",
                  infPath ? infPath : "(null)", flags, answer);
    file = CreateFileA(RECORD_PATH, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, line, lstrlenA(line), &written, NULL);
        CloseHandle(file);
    }
    if (answer != 0) {
        SetLastError(answer);
        return FALSE;
    }
    if (rebootRequired != NULL)
        *rebootRequired = reboot;
    return TRUE;
}

#endif
