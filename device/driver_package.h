// The driver package that Windows itself carries: <Windows directory>\inf\usb.inf.
#pragma once

#include "platform/platform.h"

#define DRIVER_PACKAGE_SUFFIX "\\inf\\usb.inf"

// Builds "<Windows directory>\inf\usb.inf" into a MAX_PATH buffer; 0 or an error code, which
// it logs for the device of hardwareId.
DWORD BuildDriverPackagePath(char* path, const char* hardwareId);
