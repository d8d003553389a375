#include "app/help.h"

#include "log/console.h"

void PrintUsage(void) {
    PrintConsole("qel-driver-fix %s - QEL Android driver update tool\n\n", QEL_VERSION);
    PrintConsole("Makes Windows serve a connected QEL Tarrow phone with its own USB composite\n"
                 "driver. Run it as administrator, from its own folder.\n\n");
    PrintConsole("Usage: qel-driver-fix.exe [-l]\n"
                 "  -l, --log  also write a diagnostic log for support, added to the file\n"
                 "             %%TEMP%%\\_QEL_InstallerUpdata.log (times in UTC)\n"
                 "  /?         show this text\n\n");
    PrintConsole("Exit codes:\n"
                 "  0          the phone's driver is installed, or already was\n"
                 "  1          no phone was found\n"
                 "  other      the Windows error code of the repair step that failed,\n"
                 "             for example 0xE0000203\n");
}
