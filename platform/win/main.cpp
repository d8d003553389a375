// The process entry on Windows.
#include "app/run.h"
#include "platform/win/hand_over.h"

#include <windows.h>

#include <cstring>

#if !defined(_WIN64)
// On 64-bit Windows the driver installer refuses 32-bit callers (ERROR_IN_WOW64) and asks them
// to start the 64-bit version instead. When qel-driver-fix64.exe sits beside this exe, it runs
// with the same command line and console; returns FALSE when there is nothing to hand over to.
static BOOL RunNativeBuild(DWORD* exitCode) {
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
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return FALSE;

    // The command line as given, so the 64-bit exe sees the same arguments; its own name
    // stays first, which the arguments do not depend on. It runs on this console and with
    // this process's standard handles.
    PROCESS_INFORMATION process;
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

int main(int argc, char* argv[]) {
#if !defined(_WIN64)
    DWORD exitCode = 0;
    if (RunNativeBuild(&exitCode))
        return (int)exitCode;
#endif
    return (int)ToolMain(argc, argv);
}
