// The facts the tool reports about itself and the PC: Windows version, elevation, architecture,
// and the console it shares with other processes.
#include "sim/pc.h"
#include "sim/winapi.h"

#include "platform/platform.h"

#include <cstring>

using namespace sim;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    if (lpVersionInformation == NULL ||
        lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        CurrentWorld().violations.emplace_back(
            "GetVersionExA: dwOSVersionInfoSize is not the record's size");
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const Pc& pc = CurrentWorld().pc;
    lpVersionInformation->dwMajorVersion = pc.windowsMajor;
    lpVersionInformation->dwMinorVersion = pc.windowsMinor;
    lpVersionInformation->dwBuildNumber = pc.windowsBuild;
    lpVersionInformation->dwPlatformId = 2; // VER_PLATFORM_WIN32_NT
    lpVersionInformation->szCSDVersion[0] = '\0';
    Trace("GetVersionExA() = %u.%u.%u", (unsigned)pc.windowsMajor, (unsigned)pc.windowsMinor,
          (unsigned)pc.windowsBuild);
    return TRUE;
}

static const HANDLE kCurrentProcess = (HANDLE)(INT_PTR)-1;

HANDLE WINAPI GetCurrentProcess(void) {
    return kCurrentProcess;
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    if (ProcessHandle != kCurrentProcess || TokenHandle == NULL) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    uintptr_t token = NewHandleValue();
    LedgerOpen(token, Resource::Handle, "process token");
    Trace("OpenProcessToken(%#x) = handle %#llx", (unsigned)DesiredAccess,
          (unsigned long long)token);
    *TokenHandle = (HANDLE)token;
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength,
                                PDWORD ReturnLength) {
    if (!LedgerHas((uintptr_t)TokenHandle, Resource::Handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (TokenInformationClass != TokenElevation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (ReturnLength)
        *ReturnLength = sizeof(TOKEN_ELEVATION);
    if (TokenInformationLength < sizeof(TOKEN_ELEVATION)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    TOKEN_ELEVATION elevation = {CurrentWorld().pc.elevated ? 1u : 0u};
    memcpy(TokenInformation, &elevation, sizeof(elevation));
    Trace("GetTokenInformation(TokenElevation) = %u", (unsigned)elevation.TokenIsElevated);
    return TRUE;
}

const char* ToolArchitecture(void) {
    return CurrentWorld().pc.architecture.c_str();
}

// The console: the processes attached to it, and whether standard input is its keyboard.
static const HANDLE kStdinHandle = (HANDLE)(uintptr_t)0x5D10;

DWORD WINAPI GetConsoleProcessList(LPDWORD lpdwProcessList, DWORD dwProcessCount) {
    DWORD count = CurrentWorld().pc.consoleProcesses;
    if (lpdwProcessList == NULL || dwProcessCount == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (count == 0) { // no console at all
        Trace("GetConsoleProcessList(%u) = 0 (6)", (unsigned)dwProcessCount);
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // Ids of the tool first, then the others; a list too small gets none and the count.
    if (count <= dwProcessCount)
        for (DWORD i = 0; i < count; ++i)
            lpdwProcessList[i] = 0x1000 + 4 * i;
    Trace("GetConsoleProcessList(%u) = %u", (unsigned)dwProcessCount, (unsigned)count);
    return count;
}

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
    return nStdHandle == STD_INPUT_HANDLE ? kStdinHandle : INVALID_HANDLE_VALUE;
}

BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    if (hConsoleHandle != kStdinHandle || CurrentWorld().pc.stdinRedirected ||
        CurrentWorld().pc.consoleProcesses == 0) {
        Trace("GetConsoleMode() = FALSE (6)");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpMode = 0x1F7; // line input, echo, processed: the console's defaults
    Trace("GetConsoleMode() = TRUE");
    return TRUE;
}
