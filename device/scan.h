// The scans over the present devices of the USB setup classes: detection and the repair pass.
#pragma once

#include "platform/platform.h"

#define DEVICE_FOUND 1
#define CHECK_MATCH 0
#define CHECK_NO_MATCH 2

// 1 when a QEL phone is present, 0 when not, else the error of the class lookup.
DWORD DetectDevice(void);
// 1 when the class holds a phone (or a device that cannot be told apart from one), else 0.
DWORD FindDevicesInClass(GUID classGuid);
// 0 when the device's instance ID begins with the vendor prefix or cannot be read, else 2.
DWORD CheckDevice(SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail, SP_DEVINFO_DATA* deviceInfo);

// Hands every present device to UpdateDevice; 0 or the last nonzero result.
DWORD UpdateAllDevices(void);
DWORD UpdateDevicesInClass(GUID classGuid);
