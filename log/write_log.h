// The diagnostic log: one time-stamped entry per message in %TEMP%\_QEL_InstallerUpdata.log,
// echoed to the console, only when the log switch was given.
#pragma once

#include "platform/platform.h"
#include "state/process_state.h"

#define LOG_FILE_NAME "\\_QEL_InstallerUpdata.log"
#define LOG_LINE_SIZE 2048

#if defined(__GNUC__)
#define PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PRINTF_LIKE(fmt, args)
#endif

void WriteLog(const char* format, ...) PRINTF_LIKE(1, 2);

// An entry for the file alone, not echoed: the marks where a run begins and ends.
void WriteLogFileOnly(const char* format, ...) PRINTF_LIKE(1, 2);

// Formats the entry prefix (tag, UTC time stamp, tab) into buffer; returns its length.
int FormatLogPrefix(char* buffer, size_t cb, const SYSTEMTIME* time);
