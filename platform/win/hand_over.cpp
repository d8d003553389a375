#include "platform/win/hand_over.h"

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
