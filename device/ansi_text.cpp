#include "device/ansi_text.h"

#include <cstring>

static void LowerAsciiInPlace(char* text) {
    for (; *text; ++text) {
        if (*text >= 'A' && *text <= 'Z')
            *text = (char)(*text - 'A' + 'a');
    }
}

void LowerCaseInPlace(char* text) {
    int length = (int)strlen(text);
    if (length == 0)
        return;
    // The mapping keeps the byte length; should the code page refuse, ASCII still lowers.
    if (LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, length, text, length) != length)
        LowerAsciiInPlace(text);
}

// Lower-cases the first cch characters of text into a bounded copy.
static void LowerCopy(char* copy, size_t cbCopy, const char* text, size_t cch) {
    size_t length = strnlen(text, cch < cbCopy ? cch : cbCopy - 1);
    memcpy(copy, text, length);
    copy[length] = '\0';
    LowerCaseInPlace(copy);
}

BOOL StartsWithNoCase(const char* text, const char* lowerPrefix) {
    char copy[MAX_PATH];
    size_t prefixLength = strlen(lowerPrefix);
    if (prefixLength >= sizeof(copy))
        return FALSE;
    LowerCopy(copy, sizeof(copy), text, prefixLength);
    return strcmp(copy, lowerPrefix) == 0;
}

BOOL EqualsNoCase(const char* text, const char* lowerOther) {
    char copy[MAX_PATH];
    size_t otherLength = strlen(lowerOther);
    if (otherLength >= sizeof(copy) || strlen(text) != otherLength)
        return FALSE;
    LowerCopy(copy, sizeof(copy), text, otherLength);
    return strcmp(copy, lowerOther) == 0;
}
