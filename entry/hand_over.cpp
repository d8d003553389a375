#include "entry/hand_over.h"

#include "app/pe_image.h"

#include <cstring>

BOOL StartWithOurHandles(LPCSTR path, LPCSTR commandLine, PROCESS_INFORMATION* process,
                         CREATE_PROCESS_A createProcess) {
    // CreateProcessA may write to the command line: it gets a copy.
    char* line = (char*)GlobalAlloc(GPTR, strlen(commandLine) + 1);
    if (line == NULL)
        return FALSE;
    strcpy(line, commandLine);

    // No STARTF_USESTDHANDLES and no new console: the child takes this process's console and
    // standard handles, which it can use only when they are inherited.
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    BOOL started = createProcess(path, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, process);
    GlobalFree(line);
    return started;
}

// Set for the exe that a hand-over starts: a process started by the hand-over never hands over
// again, whatever sits under the sibling's name.
static const char kHandedOverMarker[] = "QEL_DRIVER_FIX_HANDED_OVER";

// Whether the file is an x86-64 image; its headers sit within the first kilobytes.
static BOOL IsX64File(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    BYTE header[4096];
    DWORD read = 0;
    BOOL ok = ReadFile(file, header, sizeof(header), &read, NULL);
    CloseHandle(file);
    return ok && IsX64Image(header, read);
}

BOOL MayHandOverTo(LPCSTR path) {
    char marker[4];
    if (GetEnvironmentVariableA(kHandedOverMarker, marker, sizeof(marker)) != 0)
        return FALSE;
    // A 32-bit file under that name (a renamed copy, a broken download) would hand over in turn.
    return IsX64File(path);
}

void MarkHandedOver(void) {
    SetEnvironmentVariableA(kHandedOverMarker, "1");
}

#if !defined(_WIN64)
// Windows asks 32-bit callers of the installer to start the 64-bit version instead.
BOOL RunNativeBuild(DWORD* exitCode) {
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
        return FALSE;

    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    char* name = strrchr(path, '\\');
    static const char kNativeName[] = "qel-driver-fix64.exe";
    if (name == NULL || (size_t)(name + 1 - path) + sizeof(kNativeName) > MAX_PATH)
        return FALSE;
    memcpy(name + 1, kNativeName, sizeof(kNativeName));
    if (!MayHandOverTo(path))
        return FALSE;

    // The command line as given, so the 64-bit exe sees the same arguments; its own name
    // stays first, which the arguments do not depend on. It runs on this console and with
    // this process's standard handles.
    PROCESS_INFORMATION process;
    MarkHandedOver();
    if (!StartWithOurHandles(path, GetCommandLineA(), &process, CreateProcessA))
        return FALSE;
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, exitCode))
        *exitCode = GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return TRUE;
}
#endif
