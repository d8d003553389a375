#include "log/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void PrintConsole(const char* format, ...) {
    char text[CONSOLE_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    int written = vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (written < 0)
        return;
    // A text longer than the buffer is shown cut, never overrun.
    ConsoleWrite(text, strlen(text));
}
