#include "text/copy_text.h"

#include <cstring>

LPSTR CopyText(const char* text) {
    size_t size = strlen(text) + 1;
    LPSTR copy = (LPSTR)GlobalAlloc(GPTR, size);
    if (copy != NULL)
        memcpy(copy, text, size);
    return copy;
}
