#include "app/run.h"

#include "app/progress.h"
#include "device/scan.h"
#include "log/console.h"
#include "log/write_log.h"

#include <cstring>

static const char kBannerRule[] = "===============================\n";

BOOL IsLogSwitch(int argc, char* argv[]) {
    if (argc <= 1 || argv[1] == NULL || strlen(argv[1]) < 2)
        return FALSE;
    char second = argv[1][1];
    if (second >= 'A' && second <= 'Z')
        second = (char)(second - 'A' + 'a');
    return second == 'l';
}

static void PrintBanner(void) {
    PrintConsole("%s", kBannerRule);
    PrintConsole("QEL Android driver update tool\n");
    PrintConsole("%s", kBannerRule);
    PrintConsole("\nDetecting \"QEL Tarrow\" on your PC...");
}

// Asks the user to connect the phone and detects once more; nonzero when it is found.
static DWORD DetectAfterPrompt(void) {
    SetProgressPaused(1);
    PrintConsole("\nDevice not found.\nPlease be sure \"QEL Tarrow\" already connect to your PC "
                 "and try again.");
    ConsoleReadChar();
    Sleep(2000);
    return DetectDevice();
}

DWORD ToolMain(int argc, char* argv[]) {
    if (IsLogSwitch(argc, argv))
        g_bLogEnabled = 1;

    PrintBanner();
    StartProgressIndicator();

    if (DetectDevice() == 0 && DetectAfterPrompt() == 0) {
        PrintConsole("\nDevice not found.\nNow exiting...");
        return EXIT_NO_DEVICE;
    }

    SetProgressPaused(1);
    PrintConsole("\nUpdating driver...");
    SetProgressPaused(0);

    WriteLog("Update ADB Device Driver ...\n");
    DWORD result = UpdateAllDevices();

    StopProgressIndicator();
    PrintConsole("\nDriver updated.\n");
    return result;
}
