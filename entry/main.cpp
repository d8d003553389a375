// The process entry of qel-driver-fix.exe on Windows.
#include "app/console_hold.h"
#include "app/run.h"
#include "entry/hand_over.h"

int main(int argc, char* argv[]) {
#if !defined(_WIN64)
    DWORD exitCode = 0;
    if (RunNativeBuild(&exitCode)) {
        // The 64-bit exe shared this console and so never waited; now this process is alone.
        HoldWindowIfOwnConsole();
        return (int)exitCode;
    }
#endif
    return (int)ToolMain(argc, argv);
}
