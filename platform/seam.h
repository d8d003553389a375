// The CRT pieces that the logic uses, behind names of our own so that the simulated PC can
// stand in for the console, standard input and the file system.
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
