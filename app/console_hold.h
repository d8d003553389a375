// A console window that the tool owns closes the moment the tool exits.
#pragma once

#include "platform/platform.h"

// When the tool is the only process on its console (the window that Explorer or UAC elevation
// opened for it) and reads from it, asks for Enter and waits for it, so the user can read the
// result. In a console the user opened, under a script or with input redirected, does nothing.
void HoldWindowIfOwnConsole(void);
