// The repair of one device: force the composite driver usbccgp from the system's usb.inf onto
// a QEL phone that is served by another driver.
#pragma once

#include "platform/platform.h"

#define SERVICE_VALUE_SIZE 255
#define REGISTRY_KEY_SIZE 512
#define INSTALL_ATTEMPTS 10
#define ADB_OFF_CALLS 4
#define WAIT_AFTER_FAILED_ATTEMPT_MS 1000
#define WAIT_BEFORE_ADB_OFF_MS 4000
#define WAIT_AFTER_ADB_OFF_CALL_MS 1000
#define NEWDEV_LIBRARY "newdev.dll"
#define UPDATE_DRIVER_EXPORT "UpdateDriverForPlugAndPlayDevicesA"
#define DRIVER_PACKAGE_SUFFIX "\\inf\\usb.inf"

typedef BOOL(WINAPI* UPDATE_DRIVER_PROC)(HWND hwndParent, LPCSTR HardwareId, LPCSTR FullInfPath,
                                         DWORD InstallFlags, PBOOL bRebootRequired);

// 0 when there was nothing to do or the driver was installed, else a Windows error code.
DWORD UpdateDevice(SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail, SP_DEVINFO_DATA* deviceInfo);

// 0 when the device's "Service" is usbccgp in any letter case; 1 when it needs the repair.
int CheckUsbComposite(const char* deviceInstanceId);

// TRUE when the ID names a phone's composite device with a serial: the only repair target.
BOOL IsPhoneCompositeDevice(const char* deviceInstanceId);

// Builds "<Windows directory>\inf\usb.inf" into a MAX_PATH buffer; 0 or an error code.
DWORD BuildDriverPackagePath(char* path);
