// Starting another exe of the tool in this one's place: on this process's console and with its
// standard handles, which the new process inherits, so it writes to the same console or
// redirected output and reads the same input.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* CREATE_PROCESS_A)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                       BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                                       LPPROCESS_INFORMATION);

// Starts the exe at path with commandLine through createProcess (CreateProcessA; tests pass a
// recorder). FALSE when it cannot start; otherwise the caller owns the handles in *process.
BOOL StartWithOurHandles(LPCSTR path, LPCSTR commandLine, PROCESS_INFORMATION* process,
                         CREATE_PROCESS_A createProcess);
