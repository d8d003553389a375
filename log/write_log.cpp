#include "log/write_log.h"

#include "log/log_path.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

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

// Appends one entry; echo: show the message on the console as well.
static void WriteEntry(BOOL echo, const char* format, va_list args) {
    if (!g_bLogEnabled)
        return;
    if (g_szLogPath[0] == '\0' && !ResolveLogPath(g_szLogPath))
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

    BOOL cut = FormatMessageInto(line, prefixLength, format, args);

    // The echo is the message as stored, so a cut message shows cut on the console too.
    const char* message = line + prefixLength;
    size_t entryLength = prefixLength + strlen(message);
    if (echo)
        ConsoleWrite(message, entryLength - prefixLength);

    BOOL endsWithLineFeed = entryLength > prefixLength && line[entryLength - 1] == '\n';
    if ((cut && !endsWithLineFeed) || strchr(line, '\n') == NULL)
        line[entryLength++] = '\n';

    LogFileWrite(g_pLogFile, line, entryLength);
    LogFileClose(g_pLogFile);
    g_pLogFile = NULL;
}

void WriteLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteEntry(TRUE, format, args);
    va_end(args);
}

void WriteLogFileOnly(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteEntry(FALSE, format, args);
    va_end(args);
}
