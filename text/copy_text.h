// A string handed over by value: a GlobalAlloc copy that the receiver owns and frees.
#pragma once

#include "platform/platform.h"

// A GlobalAlloc copy of text; NULL when memory is out. The caller frees it with GlobalFree.
LPSTR CopyText(const char* text);
