// The registry test of the repair: is the device already served by usbccgp?
#pragma once

#include "platform/platform.h"

// The "Service" value is read into 255 bytes, one more kept for a terminating zero.
#define SERVICE_VALUE_SIZE 255
#define REGISTRY_KEY_SIZE 512

#define USB_COMPOSITE_SERVED 0
#define USB_COMPOSITE_NEEDS_REPAIR 1

// USB_COMPOSITE_SERVED (0) when the device's "Service" is usbccgp in any letter case;
// USB_COMPOSITE_NEEDS_REPAIR (1) otherwise, also when the key or value cannot be read.
int CheckUsbComposite(const char* deviceInstanceId);
