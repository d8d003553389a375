// The CRT pieces that the logic uses, behind names of our own so that the simulated PC can
// stand in for the console, standard input and the file system; and the one Windows call that
// needs a workaround on Wine.
#pragma once

#include <cstddef>

// Writes one piece of console text and shows it at once; a piece is never split by another
// thread's write.
void ConsoleWrite(const char* text, size_t cch);

// Reads one character from standard input; EOF (-1) when it is at its end or closed.
int ConsoleReadChar(void);

// Opens a file for appending in text mode, sharing reading and writing; NULL on failure.
HLOGFILE LogFileOpenAppend(const char* path);
void LogFileWrite(HLOGFILE file, const char* text, size_t cch);
void LogFileClose(HLOGFILE file);

// Reads a device's instance ID as CM_Get_Device_ID_ExA does (flags 0). Wine 8's
// CM_Get_Device_ID_ExA reports success and leaves the buffer untouched, so on Windows builds an
// empty ID of the local machine is read once more through CM_Get_Device_IDA; on Windows itself
// that never triggers. The simulated PC answers through CM_Get_Device_ID_ExA alone.
CONFIGRET GetDeviceIdWithWineFallback(DEVINST devInst, PSTR buffer, ULONG cch, HMACHINE machine);

// The processor the exe was built for, as the log header names it: "i686" or "x86_64".
const char* ToolArchitecture(void);
