// Case handling of 8-bit ANSI text with the process's code page, multibyte-aware.
#pragma once

#include "platform/platform.h"

// Lower-cases text in place with the ANSI code page's case mapping.
void LowerCaseInPlace(char* text);

// TRUE when text begins with prefix, letter case aside; prefix is lower-case ASCII.
BOOL StartsWithNoCase(const char* text, const char* lowerPrefix);

// TRUE when text equals other, letter case aside; other is lower-case ASCII.
BOOL EqualsNoCase(const char* text, const char* lowerOther);
