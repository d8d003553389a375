// The repair of one device: force the composite driver usbccgp from the system's usb.inf onto
// a QEL phone that is served by another driver.
#pragma once

#include "platform/platform.h"

// The installer may keep failing while the phone settles after its ADB switch; ten attempts,
// a second apart after the first failures, ride that out without waiting forever.
#define INSTALL_ATTEMPTS 10
// A phone still busy after the install may refuse the switch-off; four tries, then it stays on.
#define ADB_OFF_CALLS 4
#define WAIT_AFTER_FAILED_ATTEMPT_MS 1000
// Gives the freshly bound composite driver time to settle before ADB goes off again.
#define WAIT_BEFORE_ADB_OFF_MS 4000
#define WAIT_AFTER_ADB_OFF_CALL_MS 1000
#define NEWDEV_LIBRARY "newdev.dll"
#define UPDATE_DRIVER_EXPORT "UpdateDriverForPlugAndPlayDevicesA"

typedef BOOL(WINAPI* UPDATE_DRIVER_PROC)(HWND hwndParent, LPCSTR HardwareId, LPCSTR FullInfPath,
                                         DWORD InstallFlags, PBOOL bRebootRequired);

// 0 when there was nothing to do or the driver was installed, else a Windows error code.
DWORD UpdateDevice(SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail, SP_DEVINFO_DATA* deviceInfo);
