// The driver package that Windows itself carries: <Windows directory>\inf\usb.inf.
#pragma once

#include "platform/platform.h"

#define DRIVER_PACKAGE_SUFFIX "\\inf\\usb.inf"

// Builds "<Windows directory>\inf\usb.inf" into a MAX_PATH buffer; 0 or an error code.
DWORD BuildDriverPackagePath(char* path);
