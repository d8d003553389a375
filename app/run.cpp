#include "app/run.h"

#include "app/arguments.h"
#include "app/closing.h"
#include "app/console_hold.h"
#include "app/help.h"
#include "app/progress.h"
#include "app/run_marks.h"
#include "device/scan.h"
#include "device/update_device.h"
#include "log/console.h"
#include "log/write_log.h"

static const char kBannerRule[] = "===============================\n";

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

// The run from the banner to the closing text; returns the exit code.
static DWORD RunRepair(void) {
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
    PrintClosingText(result, g_bRebootRequired);
    return result;
}

DWORD ToolMain(int argc, char* argv[]) {
    if (IsHelpRequest(argc, argv)) {
        PrintUsage();
        HoldWindowIfOwnConsole();
        return 0;
    }
    if (IsLogSwitch(argc, argv))
        g_bLogEnabled = 1;

    WriteRunHeader();
    DWORD result = RunRepair();
    // Logged before any wait, so a window closed by the user still leaves a complete log.
    WriteRunEnd(result);
    HoldWindowIfOwnConsole();
    return result;
}
