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
    W().console.append(text, cch);
    if (W().tracing) {
        std::string shown;
        for (size_t i = 0; i < cch; ++i)
            shown += text[i] == '\n' ? std::string("\\n") : std::string(1, text[i]);
        Trace("console \"%s\"", shown.c_str());
    }
}

int ConsoleReadChar(void) {
    World& w = W();
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
    if (W().pc.missingFolders.count(FolderOf(lower))) {
        Trace("fopen(\"%s\", \"a\") = NULL", path);
        return NULL;
    }
    W().pc.files[lower]; // created when missing, kept when present
    SimLogFile* file = new SimLogFile{lower};
    LedgerOpen((uintptr_t)file, Resource::File, path);
    Trace("fopen(\"%s\", \"a\") = file", path);
    return file;
}

void LogFileWrite(HLOGFILE file, const char* text, size_t cch) {
    std::string& bytes = W().pc.files[file->path];
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
