// Windows: the SDK headers of mingw-w64, plus the few fixes the tool needs on top of them.
#pragma once

#include <windows.h>
#include <initguid.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <newdev.h>
#include <cstdio>

typedef FILE* HLOGFILE;

// Wine 8's CM_Get_Device_ID_ExA reports success and leaves the buffer untouched; the logic
// reads instance IDs through this wrapper, which falls back to CM_Get_Device_IDA for the
// local machine. On Windows the fallback never triggers.
CONFIGRET WINAPI GetDeviceIdExRobust(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen, ULONG ulFlags,
                                     HMACHINE hMachine);
#define CM_Get_Device_ID_ExA GetDeviceIdExRobust
