// The scans over the present devices of the USB setup classes: detection and the repair pass.
#pragma once

#include "platform/platform.h"

#define DEVICE_FOUND 1

// DEVICE_FOUND (1) when a QEL phone is present, 0 when not, else the error of the class lookup.
DWORD DetectDevice(void);

// Hands every present device to UpdateDevice; 0 or the last nonzero result.
DWORD UpdateAllDevices(void);
// The same for the present devices of one class.
DWORD UpdateDevicesInClass(GUID classGuid);
