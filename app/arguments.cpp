#include "app/arguments.h"

#include <cstring>

// The switches are compared with the plain A-to-Z mapping, whatever the code page.
static char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

static BOOL EqualsAsciiNoCase(const char* text, const char* lowerOther) {
    for (; *text != '\0' && *lowerOther != '\0'; ++text, ++lowerOther) {
        if (LowerAscii(*text) != *lowerOther)
            return FALSE;
    }
    return *text == '\0' && *lowerOther == '\0';
}

static const char* FirstArgument(int argc, char* argv[]) {
    return argc > 1 ? argv[1] : NULL;
}

BOOL IsLogSwitch(int argc, char* argv[]) {
    const char* first = FirstArgument(argc, argv);
    if (first == NULL || strlen(first) < 2)
        return FALSE;
    return LowerAscii(first[1]) == 'l' || EqualsAsciiNoCase(first, "--log");
}

BOOL IsHelpRequest(int argc, char* argv[]) {
    static const char* const kHelpForms[] = {"/?", "-?", "-h", "/h", "-help", "/help", "--help"};
    const char* first = FirstArgument(argc, argv);
    if (first == NULL)
        return FALSE;
    for (const char* form : kHelpForms) {
        if (EqualsAsciiNoCase(first, form))
            return TRUE;
    }
    return FALSE;
}
