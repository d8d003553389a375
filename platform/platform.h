// The one seam between the tool's logic and the machine it runs on. On Windows it brings the
// SDK; elsewhere it brings the simulated PC's definitions of the same names.
#pragma once

#if defined(_WIN32)
#include "platform/win/windows_api.h"
#else
#include "sim/winapi.h"
#endif

#include "platform/seam.h"
#include "platform/record_sizes.h"
