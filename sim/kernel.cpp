// Kernel services of the simulated PC: last error, memory, threads, time, environment,
// the Windows directory and the ANSI code page's case mapping.
#include "sim/calendar.h"
#include "sim/pc.h"
#include "sim/scheduler.h"
#include "sim/winapi.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

using namespace sim;

static thread_local DWORD t_lastError = 0;

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}
namespace sim {
void ClobberLastError(DWORD code) {
    t_lastError = code;
}
} // namespace sim

void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
    // Kept so a run's exit code can be traced back to an error the PC actually gave.
    if (dwErrCode != 0)
        CurrentWorld().lastErrors.insert(dwErrCode);
}

HGLOBAL WINAPI GlobalAlloc(unsigned uFlags, SIZE_T dwBytes) {
    World& w = CurrentWorld();
    unsigned call = ++w.allocCalls;
    if (w.pc.failAllocs.count(call) || dwBytes > w.pc.allocLimit) {
        Trace("GlobalAlloc(%#x, %zu) = NULL (8)", uFlags, (size_t)dwBytes);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    void* block = calloc(1, dwBytes ? dwBytes : 1);
    // Blocks are named by their call number: addresses differ from run to run, the trace must not.
    LedgerOpen((uintptr_t)block, Resource::Block,
               "#" + std::to_string(call) + ", " + std::to_string(dwBytes) + " bytes");
    Trace("GlobalAlloc(%#x, %zu) = block #%u", uFlags, (size_t)dwBytes, call);
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (CurrentWorld().tracing) {
        auto entry = CurrentWorld().ledger.find((uintptr_t)hMem);
        Trace("GlobalFree(block %s)",
              entry == CurrentWorld().ledger.end() ? "unknown" : entry->second.what.c_str());
    }
    if (!LedgerClose((uintptr_t)hMem, Resource::Block)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    free(hMem);
    return NULL;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    Trace("Sleep(%u)", (unsigned)dwMilliseconds);
    Block(dwMilliseconds);
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD, LPDWORD lpThreadId) {
    if (CurrentWorld().pc.threadCreateFails) {
        Trace("CreateThread() = NULL (8)");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    if (lpThreadId)
        *lpThreadId = 0;
    Trace("CreateThread()");
    return StartThread(lpStartAddress, lpParameter);
}

void WINAPI ExitThread(DWORD dwExitCode) {
    EndCurrentThread(dwExitCode);
}

// Disk handles are closed by the storage part; thread handles here.
bool CloseDiskHandle(uintptr_t handle);

BOOL WINAPI CloseHandle(HANDLE hObject) {
    uintptr_t id = (uintptr_t)hObject;
    Trace("CloseHandle(%#llx)", (unsigned long long)id);
    if (CloseDiskHandle(id))
        return TRUE;
    if (!LedgerClose(id, Resource::Handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// A variable's ANSI value: as the scenario gives it, or its wide value through the code page.
static bool AnsiVariable(const std::string& name, std::string* value) {
    const Pc& pc = CurrentWorld().pc;
    auto ansi = pc.env.find(Upper(name));
    if (ansi != pc.env.end()) {
        *value = ansi->second;
        return true;
    }
    auto wide = pc.envWide.find(Upper(name));
    if (wide == pc.envWide.end())
        return false;
    *value = ToCp1252(FromUtf8(wide->second));
    return true;
}

// A variable's wide value: as the scenario gives it, or its ANSI bytes through the code page.
static bool WideVariable(const std::string& name, std::wstring* value) {
    const Pc& pc = CurrentWorld().pc;
    auto wide = pc.envWide.find(Upper(name));
    if (wide != pc.envWide.end()) {
        *value = FromUtf8(wide->second);
        return true;
    }
    auto ansi = pc.env.find(Upper(name));
    if (ansi == pc.env.end())
        return false;
    *value = FromCp1252(ansi->second);
    return true;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    std::string value;
    if (!AnsiVariable(lpName, &value)) {
        Trace("GetEnvironmentVariableA(\"%s\") = 0 (203)", lpName);
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    DWORD length = (DWORD)value.size();
    if (length + 1 > nSize) {
        // Windows leaves the buffer undefined here: make that visible.
        if (lpBuffer && nSize)
            memset(lpBuffer, 'X', nSize);
        Trace("GetEnvironmentVariableA(\"%s\") = %u (too small)", lpName, (unsigned)(length + 1));
        return length + 1;
    }
    memcpy(lpBuffer, value.c_str(), length + 1);
    Trace("GetEnvironmentVariableA(\"%s\") = %u", lpName, (unsigned)length);
    SetLastError(0);
    return length;
}

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    std::string name = ToUtf8(lpName);
    std::wstring value;
    if (!WideVariable(name, &value)) {
        Trace("GetEnvironmentVariableW(L\"%s\") = 0 (203)", name.c_str());
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    DWORD length = (DWORD)value.size();
    if (length + 1 > nSize) {
        if (lpBuffer && nSize)
            wmemset(lpBuffer, L'X', nSize);
        Trace("GetEnvironmentVariableW(L\"%s\") = %u (too small)", name.c_str(),
              (unsigned)(length + 1));
        return length + 1;
    }
    wmemcpy(lpBuffer, value.c_str(), length + 1);
    Trace("GetEnvironmentVariableW(L\"%s\") = %u", name.c_str(), (unsigned)length);
    SetLastError(0);
    return length;
}

// A path's short form where the scenario gives one; other paths have none and come back as they
// are, as on a volume that makes no 8.3 names. Paths in missing folders do not exist.
DWORD WINAPI GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer) {
    const Pc& pc = CurrentWorld().pc;
    std::string longPath = ToUtf8(lpszLongPath);
    std::string lower = Lower(longPath);
    if (pc.missingFolders.count(lower) || pc.missingFolders.count(Lower(ToCp1252(lpszLongPath)))) {
        Trace("GetShortPathNameW(\"%s\") = 0 (2)", longPath.c_str());
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    std::wstring result = lpszLongPath;
    for (const auto& [path, shortPath] : pc.shortPaths)
        if (Lower(path) == lower)
            result = FromUtf8(shortPath);
    DWORD length = (DWORD)result.size();
    if (length + 1 > cchBuffer) {
        Trace("GetShortPathNameW(\"%s\") = %u (too small)", longPath.c_str(),
              (unsigned)(length + 1));
        return length + 1;
    }
    wmemcpy(lpszShortPath, result.c_str(), length + 1);
    Trace("GetShortPathNameW(\"%s\") = %u \"%s\"", longPath.c_str(), (unsigned)length,
          ToUtf8(result).c_str());
    return length;
}

// The calendar fields of ms milliseconds since 1970-01-01.
static void FillTime(uint64_t ms, LPSYSTEMTIME lpSystemTime) {
    CivilTime t = CivilFromMs(ms);
    lpSystemTime->wYear = (WORD)t.year;
    lpSystemTime->wMonth = (WORD)t.month;
    lpSystemTime->wDay = (WORD)t.day;
    lpSystemTime->wDayOfWeek = (WORD)t.dayOfWeek;
    lpSystemTime->wHour = (WORD)t.hour;
    lpSystemTime->wMinute = (WORD)t.minute;
    lpSystemTime->wSecond = (WORD)t.second;
    lpSystemTime->wMilliseconds = (WORD)t.millisecond;
}

static void TraceTime(const char* call, const SYSTEMTIME* t) {
    Trace("%s() = %04u-%02u-%02u %02u:%02u:%02u.%03u", call, t->wYear, t->wMonth, t->wDay, t->wHour,
          t->wMinute, t->wSecond, t->wMilliseconds);
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    FillTime(CurrentWorld().pc.clockStartMs + CurrentWorld().nowMs, lpSystemTime);
    TraceTime("GetSystemTime", lpSystemTime);
}

// The PC's time zone lies far from UTC in the tests, so a stamp taken in local time shows.
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    int64_t offsetMs = (int64_t)CurrentWorld().pc.timeZoneMinutes * 60000;
    FillTime(
        (uint64_t)((int64_t)(CurrentWorld().pc.clockStartMs + CurrentWorld().nowMs) + offsetMs),
        lpSystemTime);
    TraceTime("GetLocalTime", lpSystemTime);
}

unsigned WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, unsigned uSize) {
    const Pc& pc = CurrentWorld().pc;
    if (pc.windowsDirError) {
        Trace("GetWindowsDirectoryA() = 0 (%u)", (unsigned)pc.windowsDirError);
        SetLastError(pc.windowsDirError);
        return 0;
    }
    unsigned length = (unsigned)pc.windowsDir.size();
    if (length == 0) {
        // An empty directory stands for a failure that gives no reason.
        Trace("GetWindowsDirectoryA() = 0 (0)");
        SetLastError(0);
        return 0;
    }
    if (length + 1 > uSize) {
        Trace("GetWindowsDirectoryA() = %u (too small)", length + 1);
        return length + 1;
    }
    memcpy(lpBuffer, pc.windowsDir.c_str(), length + 1);
    Trace("GetWindowsDirectoryA() = %u \"%s\"", length, lpBuffer);
    return length;
}

int WINAPI LCMapStringA(LCID, DWORD dwMapFlags, LPCSTR lpSrcStr, int cchSrc, LPSTR lpDestStr,
                        int cchDest) {
    if (dwMapFlags != LCMAP_LOWERCASE || lpSrcStr == NULL || cchSrc == 0 || cchDest < 0 ||
        (lpDestStr == NULL && cchDest != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int length = cchSrc < 0 ? (int)strlen(lpSrcStr) + 1 : cchSrc;
    unsigned codePage = CurrentWorld().pc.ansiCodePage;
    if (codePage == 1252) {
        // The tool lowers every disk path it lists: a table keeps the single-byte case cheap.
        static const struct LowerTable {
            unsigned char map[256];
            LowerTable() {
                for (int c = 0; c < 256; ++c)
                    map[c] = LowerCp1252((unsigned char)c);
            }
        } table;
        if (cchDest == 0)
            return length;
        for (int i = 0; i < length && i < cchDest; ++i)
            lpDestStr[i] = (char)table.map[(unsigned char)lpSrcStr[i]];
        if (cchDest < length) {
            // Windows may leave part of a result behind a failure; so does the sim.
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        Trace("LCMapStringA(LCMAP_LOWERCASE, %d) = %d", cchSrc, length);
        return length;
    }
    // A double-byte code page: the mapped length may differ from the source's.
    std::string mapped = LowerByCodePage(codePage, std::string(lpSrcStr, (size_t)length));
    int mappedLength = (int)mapped.size();
    if (cchDest == 0)
        return mappedLength;
    memcpy(lpDestStr, mapped.data(), (size_t)(mappedLength < cchDest ? mappedLength : cchDest));
    if (cchDest < mappedLength) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    Trace("LCMapStringA(LCMAP_LOWERCASE, %d) = %d", cchSrc, mappedLength);
    return mappedLength;
}
