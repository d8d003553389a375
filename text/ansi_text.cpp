#include "text/ansi_text.h"

#include <climits>
#include <cstring>

int LowerCaseInto(char* lower, size_t cbLower, const char* text, size_t cch) {
    if (cbLower == 0)
        return -1;
    lower[0] = '\0';
    if (cch == 0)
        return 0;
    if (cch > INT_MAX || cbLower - 1 > INT_MAX)
        return -1;
    int mapped = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, (int)cch, lower,
                              (int)(cbLower - 1));
    if (mapped <= 0) {
        lower[0] = '\0'; // whatever part of a result the failed call left is not used
        return -1;
    }
    lower[mapped] = '\0';
    return mapped;
}

LPSTR LowerCaseCopy(const char* text) {
    size_t length = strlen(text);
    int needed =
        length == 0 || length > INT_MAX
            ? 0
            : LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, (int)length, NULL, 0);
    size_t size = (needed > 0 ? (size_t)needed : length) + 1;
    LPSTR copy = (LPSTR)GlobalAlloc(GPTR, size);
    if (copy == NULL)
        return NULL;
    if (needed <= 0 || LowerCaseInto(copy, size, text, length) < 0)
        memcpy(copy, text, length + 1);
    return copy;
}

BOOL StartsWithNoCase(const char* text, const char* lowerPrefix) {
    char lower[MAX_PATH];
    size_t prefixLength = strlen(lowerPrefix);
    // A mapping that fails cannot show the texts equal.
    return LowerCaseInto(lower, sizeof(lower), text, strnlen(text, prefixLength)) >= 0 &&
           strcmp(lower, lowerPrefix) == 0;
}

BOOL EqualsNoCase(const char* text, const char* lowerOther) {
    char lower[MAX_PATH];
    return LowerCaseInto(lower, sizeof(lower), text, strlen(text)) >= 0 &&
           strcmp(lower, lowerOther) == 0;
}
