#include "device/update_device.h"

#include "adb/turn_adb.h"
#include "device/driver_package.h"
#include "device/instance_id.h"
#include "device/usb_composite.h"
#include "log/console.h"
#include "log/write_log.h"

#include <cstring>

// TRUE when the ID names a phone's composite device with a serial: the only repair target.
static BOOL IsPhoneCompositeDevice(const char* deviceInstanceId) {
    // An ID too short to carry a serial is no target: an empty serial would select every
    // disk of the PC for the ADB command.
    return HasVendorPrefix(deviceInstanceId) && strlen(deviceInstanceId) > SERIAL_POS &&
           deviceInstanceId[INTERFACE_MARKER_POS] != '&';
}

// The installer's entry point in a freshly loaded newdev.dll; 0 or the error of the step
// that failed, which the user sees even with the log off.
static DWORD LoadInstaller(HMODULE* library, UPDATE_DRIVER_PROC* updateDriver) {
    *library = LoadLibraryA(NEWDEV_LIBRARY);
    if (*library == NULL) {
        DWORD error = GetLastError();
        PrintConsole("Update LoadLibrary error: %d\n", (int)error);
        return error;
    }
    FARPROC proc = GetProcAddress(*library, UPDATE_DRIVER_EXPORT);
    if (proc == NULL) {
        DWORD error = GetLastError();
        PrintConsole("Update GetProcAddress error: %d\n", (int)error);
        FreeLibrary(*library);
        *library = NULL;
        return error;
    }
    *updateDriver = reinterpret_cast<UPDATE_DRIVER_PROC>(reinterpret_cast<void (*)(void)>(proc));
    return 0;
}

// Up to ten install attempts, switching ADB on after a failure while it is off. Returns the
// result and whether ADB was switched on.
static DWORD RunInstallAttempts(UPDATE_DRIVER_PROC updateDriver, const char* hardwareId,
                                const char* serial, const char* package, int* adbOn) {
    DWORD result = 0;
    BOOL rebootRequired = FALSE;
    for (int attempt = 0; attempt < INSTALL_ATTEMPTS; ++attempt) {
        if (updateDriver(NULL, hardwareId, package, INSTALLFLAG_FORCE, &rebootRequired)) {
            WriteLog("Success to Update driver for %s from %s\n", hardwareId, package);
            // Until the restart the phone still runs on its old driver: the user must know.
            if (rebootRequired) {
                WriteLog("Restart required to finish the update for %s\n", hardwareId);
                g_bRebootRequired = 1;
            }
            return 0;
        }
        result = GetLastError();
        if (!*adbOn) {
            WriteLog("Open ADB Device for %s...\n", hardwareId);
            *adbOn = TurnAdb(TRUE, serial);
        } else {
            WriteLog("Fail to Update driver for %s from %s, error: %08X retry=%d\n", hardwareId,
                     package, (unsigned)result, attempt);
            Sleep(WAIT_AFTER_FAILED_ATTEMPT_MS);
        }
    }
    WriteLog("Fail to Update driver for %s from %s, error: %08X\n", hardwareId, package,
             (unsigned)result);
    return result;
}

// Switches ADB off again after the attempts, giving up quietly after ADB_OFF_CALLS tries.
static void TurnAdbOffAfterInstall(const char* hardwareId, const char* serial) {
    WriteLog("Close ADB Device for %s...\n", hardwareId);
    Sleep(WAIT_BEFORE_ADB_OFF_MS);
    for (int call = 0; call < ADB_OFF_CALLS; ++call) {
        if (TurnAdb(FALSE, serial))
            return;
        Sleep(WAIT_AFTER_ADB_OFF_CALL_MS);
    }
}

DWORD UpdateDevice(SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail, SP_DEVINFO_DATA* deviceInfo) {
    char id[DEVICE_ID_SIZE];
    if (ReadDeviceInstanceId(listDetail, deviceInfo, id) != CR_SUCCESS)
        return 0;
    WriteLog("Attempt update Device : %s\n", id);
    if (!IsPhoneCompositeDevice(id) || CheckUsbComposite(id) == USB_COMPOSITE_SERVED)
        return 0;

    HMODULE library = NULL;
    UPDATE_DRIVER_PROC updateDriver = NULL;
    DWORD result = LoadInstaller(&library, &updateDriver);
    if (result != 0)
        return result;

    // The ID now reads as the hardware ID; the serial follows the separator.
    id[HARDWARE_ID_LENGTH] = '\0';
    const char* hardwareId = id;
    const char* serial = id + SERIAL_POS;

    char package[MAX_PATH];
    result = BuildDriverPackagePath(package, hardwareId);
    if (result != 0) {
        FreeLibrary(library);
        return result;
    }

    WriteLog("Updating driver for Device : %s\n", hardwareId);
    int adbOn = 0;
    result = RunInstallAttempts(updateDriver, hardwareId, serial, package, &adbOn);
    if (adbOn)
        TurnAdbOffAfterInstall(hardwareId, serial);
    FreeLibrary(library);
    return result;
}
