// The WOW64 hand-over: on 64-bit Windows the 32-bit exe runs qel-driver-fix64.exe in its place,
// on this process's console and with its standard handles, which the new process inherits, so
// it writes to the same console or redirected output and reads the same input.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* CREATE_PROCESS_A)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                       BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                                       LPPROCESS_INFORMATION);

// Starts the exe at path with commandLine through createProcess (CreateProcessA; tests pass a
// recorder). FALSE when it cannot start; otherwise the caller owns the handles in *process.
BOOL StartWithOurHandles(LPCSTR path, LPCSTR commandLine, PROCESS_INFORMATION* process,
                         CREATE_PROCESS_A createProcess);

// Whether this process may hand over to the exe at path: it was not started by a hand-over
// itself, and the file is an x86-64 image.
BOOL MayHandOverTo(LPCSTR path);

// Marks this process's environment, which the exe it starts inherits, as handed over.
void MarkHandedOver(void);

#if !defined(_WIN64)
// On 64-bit Windows the driver installer refuses 32-bit callers (ERROR_IN_WOW64). When
// qel-driver-fix64.exe, an x86-64 image, sits beside this exe, runs it with the same command line
// and stores its exit code; FALSE when there is nothing to hand over to, and always in a process
// that a hand-over started.
BOOL RunNativeBuild(DWORD* exitCode);
#endif
