#include "app/closing.h"

#include "log/console.h"
#include "log/write_log.h"

#include <cstdio>
#include <cstring>

// One line the user can act on for the codes a user can fix; else how to reach support.
static void FormatAdvice(char* text, size_t cb, DWORD result) {
    switch (result) {
    case ERROR_ACCESS_DENIED:
        snprintf(text, cb,
                 "Run the tool as administrator: right-click it, \"Run as "
                 "administrator\".\n");
        return;
    case ERROR_IN_WOW64:
        snprintf(text, cb,
                 "On 64-bit Windows, keep qel-driver-fix64.exe in the same folder as "
                 "this tool.\n");
        return;
    case ERROR_MOD_NOT_FOUND:
    case ERROR_PROC_NOT_FOUND:
        snprintf(text, cb,
                 "Windows' driver installer newdev.dll is missing or damaged: run "
                 "\"sfc /scannow\" as administrator.\n");
        return;
    }
    if (g_bLogEnabled && g_szLogPath[0] != '\0')
        snprintf(text, cb, "Please send the log %s to support.\n", g_szLogPath);
    else
        snprintf(text, cb,
                 "Run the tool again with -l and send "
                 "%%TEMP%%\\_QEL_InstallerUpdata.log to support.\n");
}

void PrintClosingText(DWORD result, BOOL restartRequired) {
    // One write, so that no progress dot still under way can fall inside it.
    char text[CONSOLE_TEXT_SIZE];
    if (result == 0) {
        snprintf(text, sizeof(text), "\nDriver updated.\n");
    } else {
        int length = snprintf(text, sizeof(text), "\nDriver update failed, error 0x%08X.\n",
                              (unsigned)result);
        FormatAdvice(text + length, sizeof(text) - (size_t)length, result);
    }
    if (restartRequired) {
        size_t length = strlen(text);
        snprintf(text + length, sizeof(text) - length, "Restart your PC to finish the update.\n");
    }
    ConsoleWrite(text, strlen(text));
}
