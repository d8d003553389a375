#include "app/console_hold.h"

#include "log/console.h"

// Whether nobody else is attached to the console, so it goes away with this process.
static BOOL IsAloneOnConsole(void) {
    DWORD processes[4];
    return GetConsoleProcessList(processes, 4) == 1;
}

// Whether standard input is the console's keyboard, not a file or a pipe.
static BOOL ReadsFromConsole(void) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);
}

void HoldWindowIfOwnConsole(void) {
    if (!IsAloneOnConsole() || !ReadsFromConsole())
        return;
    PrintConsole("\nPress Enter to close this window.");
    ConsoleReadChar();
}
