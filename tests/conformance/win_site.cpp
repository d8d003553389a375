// The conformance checks' machine on Windows or Wine: the keys come from the Wine harness's
// registry import (tests/wine/harness.py); the checks run in C:\qel\conformance.
#include "conformance.h"

#include <cstdio>

std::string SiteFilePath();

void SiteSetUp() {
    // The file is appended to: start from nothing.
    DeleteFileA(SiteFilePath().c_str());
    CreateDirectoryW(kCyrillicFolder, NULL);
}

std::string SiteFilePath() {
    return "C:\\qel\\conformance\\text-mode.txt";
}

std::string SiteMissingFolderFile() {
    return "C:\\qel\\no-such-folder\\text-mode.txt";
}

std::string SiteReadFile(const std::string& path) {
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == NULL)
        return bytes;
    char buffer[512];
    size_t read;
    while ((read = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, read);
    fclose(file);
    return bytes;
}

bool SiteIsWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

std::string SiteTearDown() {
    return "";
}
