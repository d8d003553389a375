// The text that ends a repair run: its outcome and, for a failure, what the user can do.
#pragma once

#include "platform/platform.h"

// Prints the closing text for the repair pass's result, then the restart notice when an
// install needs a restart to finish.
void PrintClosingText(DWORD result, BOOL restartRequired);
