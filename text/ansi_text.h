// Case handling of 8-bit ANSI text with the process's code page, multibyte-aware. The mapping
// always goes into a buffer of its own: its length can differ from the text's, and a failed
// call can leave part of a result behind.
#pragma once

#include "platform/platform.h"

// Maps the first cch bytes of text to lower case into lower, a separate buffer of cbLower bytes,
// and ends it with a NUL; returns the mapped length, or -1 (lower empty) when the mapping fails
// or its result does not fit.
int LowerCaseInto(char* lower, size_t cbLower, const char* text, size_t cch);

// A GlobalAlloc copy of text lower-cased, sized for the mapped length; the text as given when it
// cannot be mapped. NULL when memory is out.
LPSTR LowerCaseCopy(const char* text);

// TRUE when text begins with prefix, letter case aside; prefix is lower-case ASCII.
BOOL StartsWithNoCase(const char* text, const char* lowerPrefix);

// TRUE when text equals other, letter case aside; other is lower-case ASCII.
BOOL EqualsNoCase(const char* text, const char* lowerOther);
