// The command line: only the first argument is read.
#pragma once

#include "platform/platform.h"

// TRUE when the first argument switches the diagnostic log on: any whose second character is
// l or L (-l, /L, xl, -log ...), and --log in any letter case.
BOOL IsLogSwitch(int argc, char* argv[]);

// TRUE when the first argument asks for the usage text: /?, -?, -h, /h, -help, /help or
// --help, in any letter case.
BOOL IsHelpRequest(int argc, char* argv[]);
