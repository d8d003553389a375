// The CRT pieces of the seam on Windows: the console through the CRT's stdout, the log file
// through a shared text-mode append stream.
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <share.h>

void ConsoleWrite(const char* text, size_t cch) {
    // One locked write and a flush: the piece shows at once and is never split.
    _lock_file(stdout);
    fwrite(text, 1, cch, stdout);
    fflush(stdout);
    _unlock_file(stdout);
}

int ConsoleReadChar(void) {
    return getchar();
}

HLOGFILE LogFileOpenAppend(const char* path) {
    return _fsopen(path, "a", _SH_DENYNO);
}

void LogFileWrite(HLOGFILE file, const char* text, size_t cch) {
    fwrite(text, 1, cch, file);
}

void LogFileClose(HLOGFILE file) {
    fclose(file);
}

#undef CM_Get_Device_ID_ExA

CONFIGRET WINAPI GetDeviceIdExRobust(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen, ULONG ulFlags,
                                     HMACHINE hMachine) {
    if (Buffer != NULL && BufferLen > 0)
        memset(Buffer, 0, BufferLen);
    CONFIGRET result = CM_Get_Device_ID_ExA(dnDevInst, Buffer, BufferLen, ulFlags, hMachine);
    if (result == CR_SUCCESS && hMachine == NULL && Buffer != NULL && BufferLen > 0 &&
        Buffer[0] == '\0')
        result = CM_Get_Device_IDA(dnDevInst, Buffer, BufferLen, ulFlags);
    return result;
}
