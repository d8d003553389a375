// Device instance IDs and the QEL phone's place in them.
#pragma once

#include "platform/platform.h"

#define DEVICE_ID_SIZE 200
#define VENDOR_PREFIX "usb\\vid_1e3f&pid_0"
#define HARDWARE_ID_LENGTH 21
#define INTERFACE_MARKER_POS 21
#define SERIAL_POS 22

// Reads the instance ID of a device into a DEVICE_ID_SIZE buffer; CR_SUCCESS or the failure.
CONFIGRET ReadDeviceInstanceId(const SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail,
                               const SP_DEVINFO_DATA* deviceInfo, char* id);

// TRUE when the ID begins with the QEL vendor prefix, in any letter case.
BOOL HasVendorPrefix(const char* id);
