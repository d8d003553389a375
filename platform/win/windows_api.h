// Windows: the SDK headers of mingw-w64, plus the log file type of the seam.
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
