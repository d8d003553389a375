// User-facing console texts: each is formatted and written as one piece.
#pragma once

#include "log/write_log.h"

#define CONSOLE_TEXT_SIZE 1024

void PrintConsole(const char* format, ...) PRINTF_LIKE(1, 2);
