// The CRT pieces of the simulated PC: the console, standard input and log files written as the
// Windows CRT's text mode writes them (LF stored as CR LF).
#include "sim/pc.h"
#include "sim/scheduler.h"
#include "platform/platform.h"

#include <cstdio>

using namespace sim;

struct SimLogFile {
    std::string path; // lower-cased
};

void ConsoleWrite(const char* text, size_t cch) {
    CurrentWorld().console.append(text, cch);
    CurrentWorld().consolePieces.push_back(
        ConsolePiece{CurrentWorld().nowMs, CurrentThreadName(), std::string(text, cch)});
    // The CRT asks whether stdout is a console; on a pipe or file that fails with 6.
    ClobberLastError(ERROR_INVALID_HANDLE);
    if (CurrentWorld().tracing) {
        std::string shown;
        for (size_t i = 0; i < cch; ++i)
            shown += text[i] == '\n' ? std::string("\\n") : std::string(1, text[i]);
        Trace("console \"%s\"", shown.c_str());
        CurrentWorld().calls.back().args.assign(text, cch); // the bytes as written
    }
}

int ConsoleReadChar(void) {
    World& w = CurrentWorld();
    ++w.stdinReads;
    if (w.pc.stdinAtEnd || w.stdinPos >= w.pc.stdinLine.size()) {
        w.stdinRead = true;
        Trace("stdin read = EOF");
        return EOF;
    }
    if (w.stdinPos == 0 && w.pc.stdinAfterMs)
        Block(w.pc.stdinAfterMs);
    w.stdinRead = true;
    int c = (unsigned char)w.pc.stdinLine[w.stdinPos++];
    Trace("stdin read = %d", c);
    return c;
}

static std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

HLOGFILE LogFileOpenAppend(const char* path) {
    std::string lower = Lower(path);
    if (CurrentWorld().pc.missingFolders.count(FolderOf(lower))) {
        ClobberLastError(ERROR_PATH_NOT_FOUND);
        Trace("fopen(\"%s\", \"a\") = NULL", path);
        return NULL;
    }
    // Created when missing, kept when present. The CRT opens with OPEN_ALWAYS, which leaves
    // ERROR_ALREADY_EXISTS behind for an existing file and 0 for a new one.
    bool exists = CurrentWorld().pc.files.count(lower) != 0;
    CurrentWorld().pc.files[lower];
    ClobberLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    SimLogFile* file = new SimLogFile{lower};
    LedgerOpen((uintptr_t)file, Resource::File, path);
    Trace("fopen(\"%s\", \"a\") = file", path);
    return file;
}

void LogFileWrite(HLOGFILE file, const char* text, size_t cch) {
    std::string& bytes = CurrentWorld().pc.files[file->path];
    for (size_t i = 0; i < cch; ++i) {
        if (text[i] == '\n')
            bytes += '\r';
        bytes += text[i];
    }
}

void LogFileClose(HLOGFILE file) {
    Trace("fclose()");
    if (LedgerClose((uintptr_t)file, Resource::File))
        delete file;
}

CONFIGRET GetDeviceIdWithWineFallback(DEVINST devInst, PSTR buffer, ULONG cch, HMACHINE machine) {
    return CM_Get_Device_ID_ExA(devInst, buffer, cch, 0, machine);
}
