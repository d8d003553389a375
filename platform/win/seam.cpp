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

const char* ToolArchitecture(void) {
#if defined(_WIN64)
    return "x86_64";
#else
    return "i686";
#endif
}

CONFIGRET GetDeviceIdWithWineFallback(DEVINST devInst, PSTR buffer, ULONG cch, HMACHINE machine) {
    if (buffer != NULL && cch > 0)
        memset(buffer, 0, cch);
    CONFIGRET result = CM_Get_Device_ID_ExA(devInst, buffer, cch, 0, machine);
    // Wine 8 reports success and leaves the buffer untouched; an ID is never empty on Windows,
    // so an empty one on the local machine is read again through the call Wine does answer.
    if (result == CR_SUCCESS && machine == NULL && buffer != NULL && cch > 0 && buffer[0] == '\0')
        result = CM_Get_Device_IDA(devInst, buffer, cch, 0);
    return result;
}
