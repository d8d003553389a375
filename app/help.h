// The usage text that /? and its kind print instead of running the repair.
#pragma once

#include "platform/platform.h"

void PrintUsage(void);
