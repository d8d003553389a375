#include "log/write_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// The longest TEMP that still leaves room for the file name and the terminating NUL.
static const DWORD kMaxTempLength = MAX_PATH - (sizeof(LOG_FILE_NAME) - 1) - 1;

// Fills g_szLogPath from TEMP; FALSE when TEMP is missing, empty or too long for the path.
static BOOL ResolveLogPath(void) {
    DWORD length = GetEnvironmentVariableA("TEMP", g_szLogPath, MAX_PATH);
    if (length == 0 || length > kMaxTempLength) {
        // Too long: Windows leaves the buffer undefined, and a stored path must end in the name.
        g_szLogPath[0] = '\0';
        return FALSE;
    }
    memcpy(g_szLogPath + length, LOG_FILE_NAME, sizeof(LOG_FILE_NAME));
    return TRUE;
}

int FormatLogPrefix(char* buffer, size_t cb, const SYSTEMTIME* time) {
    int length = snprintf(buffer, cb, "QELDriverFixed\t[%4d-%2d-%2d  %2d:%2d:%2d:%3d]\t",
                          time->wYear, time->wMonth, time->wDay, time->wHour, time->wMinute,
                          time->wSecond, time->wMilliseconds);
    if (length < 0)
        return 0;
    return (size_t)length < cb ? length : (int)cb - 1;
}

// Formats the message after the prefix into the line. A message that does not fit, together
// with the line feed that an entry must end with, is cut; returns TRUE when it was.
static BOOL FormatMessageInto(char* line, size_t prefixLength, const char* format, va_list args) {
    char* message = line + prefixLength;
    size_t room = LOG_LINE_SIZE - prefixLength;
    int length = vsnprintf(message, room, format, args);
    BOOL cut = length < 0 || (size_t)length >= room;
    size_t messageLength = strlen(message);
    BOOL needsLineFeed = cut || strchr(line, '\n') == NULL;
    if (needsLineFeed && prefixLength + messageLength + 2 > LOG_LINE_SIZE) {
        message[--messageLength] = '\0';
        cut = TRUE;
    }
    return cut;
}

void WriteLog(const char* format, ...) {
    if (!g_bLogEnabled)
        return;
    if (g_szLogPath[0] == '\0' && !ResolveLogPath())
        return;

    g_pLogFile = LogFileOpenAppend(g_szLogPath);
    if (g_pLogFile == NULL)
        return;

    SYSTEMTIME time;
    memset(&time, 0, sizeof(time));
    GetSystemTime(&time);

    char line[LOG_LINE_SIZE];
    memset(line, 0, sizeof(line));
    size_t prefixLength = (size_t)FormatLogPrefix(line, sizeof(line), &time);

    va_list args;
    va_start(args, format);
    BOOL cut = FormatMessageInto(line, prefixLength, format, args);
    va_end(args);

    // The echo is the message as stored, so a cut message shows cut on the console too.
    const char* message = line + prefixLength;
    size_t entryLength = prefixLength + strlen(message);
    ConsoleWrite(message, entryLength - prefixLength);

    BOOL endsWithLineFeed = entryLength > prefixLength && line[entryLength - 1] == '\n';
    if ((cut && !endsWithLineFeed) || strchr(line, '\n') == NULL)
        line[entryLength++] = '\n';

    LogFileWrite(g_pLogFile, line, entryLength);
    LogFileClose(g_pLogFile);
    g_pLogFile = NULL;
}
