// The simulated PC: what a scenario describes (Pc) and what a run changes and records (World).
#pragma once

#include "sim/winapi.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

// One scripted outcome of a call: success (error 0) or a Windows error code, taking ms of
// virtual time. A disk's "vanish" fails with ERROR_DEV_NOT_EXIST and removes the disk.
struct Outcome {
    DWORD error = 0;
    uint64_t ms = 0;
    bool vanish = false;
    UCHAR scsiStatus = 0; // what an accepted request reports in ScsiStatus (2: check condition)
    bool reboot = false;  // a successful install that needs a restart to finish
};

// One scripted failure of the class lookup; count is what it reports as the required size.
struct LookupFault {
    DWORD error = ERROR_INSUFFICIENT_BUFFER;
    DWORD count = 0;
};

struct RegValue {
    DWORD type = REG_SZ;
    std::vector<uint8_t> data;
};

struct RegKey {
    std::string path; // as written, below HKEY_LOCAL_MACHINE
    LSTATUS openError = ERROR_SUCCESS;
    std::map<std::string, RegValue> values; // by lower-cased name
};

struct Device {
    std::string instanceId;
    bool afterEnter = false;         // present only once the tool has read stdin
    bool listDetailFails = false;    // SetupDiGetDeviceInfoListDetailA fails after this device
    CONFIGRET idResult = CR_SUCCESS; // what CM_Get_Device_ID_ExA answers for it
    bool adbOn = false;              // a phone's ADB interface
};

struct SetupClass {
    GUID guid{};
    std::string name = "USB";
    std::vector<Device> devices;
    DWORD setError = 0;   // SetupDiGetClassDevsExA fails with it
    int enumFailsAt = -1; // SetupDiEnumDeviceInfo fails at this index
    DWORD enumError = ERROR_INVALID_DATA;
};

struct Disk {
    std::string path;
    std::string phoneSerial;    // the phone behind the disk, "" for an ordinary disk
    uint64_t presentFromMs = 0; // virtual time since the start at which it shows up
    uint64_t presentUntilMs = UINT64_MAX;
    DWORD openError = 0;
    std::vector<Outcome> replies; // one per request; after the last, every request is accepted
};

struct Installer {
    DWORD loadError = 0;
    DWORD exportError = 0;
    std::vector<Outcome> outcomes; // one per call; after the last, calls succeed
    DWORD failWhileAdbOff = 0;     // fails with this code while the phone's ADB is off
    uint64_t ms = 0;               // virtual duration of every call without its own
};

struct Pc {
    std::string name;
    uint64_t clockStartMs = 0;    // UTC milliseconds since 1970-01-01
    int timeZoneMinutes = 0;      // local time minus UTC, what GetLocalTime adds
    unsigned ansiCodePage = 1252; // 1252, or the double-byte 932 (Japanese) or 936 (Chinese)
    std::vector<SetupClass> classes;
    std::vector<LookupFault> lookupFaults;
    std::map<std::string, std::string> env; // by upper-cased name: the ANSI value, as bytes
    // The wide values, UTF-8 text by upper-cased name. A variable in only one of the two maps
    // reads in the other through the code page, as Windows keeps one value for both calls.
    std::map<std::string, std::string> envWide;
    // Short (8.3) paths by long path (letter case aside), UTF-8 text; other paths have none.
    std::map<std::string, std::string> shortPaths;
    DWORD windowsMajor = 10, windowsMinor = 0, windowsBuild = 19045;
    bool elevated = true;
    std::string architecture = "i686"; // what the tool says it was built for
    DWORD consoleProcesses = 2;        // on the tool's console, the tool included
    bool stdinRedirected = false;      // standard input is a file or pipe, not the console
    bool stdinAtEnd = true;
    std::string stdinLine;
    uint64_t stdinAfterMs = 0;
    std::string windowsDir = "C:\\Windows";
    DWORD windowsDirError = 0;
    std::vector<Disk> disks;
    std::vector<DWORD> diskSetErrors; // the first disk-interface sets fail with these
    int diskEnumFailsAt = -1;
    int diskDetailFailsAt = -1;
    DWORD diskFailError = ERROR_INVALID_DATA;
    std::map<std::string, RegKey> registry; // by lower-cased path
    Installer installer;
    std::set<unsigned> failAllocs;            // 1-based GlobalAlloc calls that fail
    SIZE_T allocLimit = 64u * 1024 * 1024;    // larger blocks fail as out of memory
    std::map<std::string, std::string> files; // by lower-cased path: bytes as stored
    std::set<std::string> missingFolders;     // lower-cased; files there cannot be opened
    bool threadCreateFails = false;
};

// ---- Helpers shared by the sim and its tests ---------------------------------------------------
// The ANSI code pages the sim knows.
bool KnownCodePage(unsigned codePage);
// In a double-byte code page: c starts a two-byte character.
bool IsLeadByte(unsigned codePage, unsigned char c);
// text lower-cased as LCMapStringA does in that code page: ASCII and accented capitals in 1252;
// in 932 and 936 ASCII capitals and the full-width Latin capitals of a lead-trail pair, whose
// trail bytes are never lowered on their own. A lead byte without its trail becomes the code
// page's default character (932: the two bytes 81 45; 936: '?'), so the length can change.
std::string LowerByCodePage(unsigned codePage, const std::string& text);
// A disk path lower-cased by the running PC's code page, as the storage stack matches paths.
std::string LowerDiskPath(const std::string& path);
// The simulated ANSI code page is Windows-1252, a single-byte one: ASCII letters and the
// accented capitals of Latin-1 (and Š, Œ, Ž, Ÿ) have small forms.
unsigned char LowerCp1252(unsigned char c);
// Lower-cased by the code page: names that Windows compares without regard to case.
std::string Lower(std::string text);
std::string Upper(std::string text);
// Windows-1252 and UTF-8 to and from code points, one per WCHAR; *lossless is cleared when a
// character has no Windows-1252 byte ('?' stands in for it).
std::wstring FromCp1252(const std::string& bytes);
std::string ToCp1252(const std::wstring& text, bool* lossless = nullptr);
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);
std::string EnumKeyPath(const std::string& instanceId);
std::string GuidText(const GUID& guid);
bool ParseGuid(const std::string& text, GUID* guid);
// Writes a REG_SZ "Service" under the device's Enum key.
void SetService(Pc& pc, const std::string& instanceId, const std::string& service);
std::string SerialOf(const std::string& instanceId);

// ---- What a run records ------------------------------------------------------------------------
enum class Resource { Set, Handle, Key, Library, Block, File };
const char* ResourceName(Resource kind);

struct LedgerEntry {
    Resource kind;
    std::string what;
    uint64_t atMs;
};

struct AdbRequest {
    std::string diskPath;
    uint64_t atMs = 0;
    DWORD ioctl = 0;
    DWORD inLength = 0;
    DWORD outLength = 0;
    std::vector<uint8_t> bytes; // the whole buffer as sent
    DWORD error = 0;            // 0 when accepted
};

// One Windows call (or CRT piece) the tool made, as data: the trace line for people is made
// from the same call. Kept while tracing.
struct CallRecord {
    uint64_t atMs = 0;
    std::string thread;   // "main" or "progress"
    std::string function; // "CM_Get_Device_ID_ExA", "Sleep", "console", "stdin", ...
    std::string args;     // the arguments that matter, as traced ("0x14", "\"USB\", 16"); the
                          // bytes written for "console"
    std::string result;   // what the call returned ("CR_SUCCESS \"USB\\...\"", "FALSE (259)"),
                          // "" for a call without one
};

struct InstallCall {
    std::string hardwareId;
    std::string infPath;
    DWORD flags = 0;
    uint64_t atMs = 0;
    DWORD error = 0;
    bool reboot = false; // the installer asked for a restart
};

// A device-information set as the sim keeps it: a snapshot of the members present when made.
struct SetState {
    bool disks = false;
    size_t classIndex = 0;
    std::vector<size_t> members; // device indexes of the class, or disk indexes
    long lastEnumerated = -1;    // the member index last enumerated
};

// One console write: when, by which thread, what.
struct ConsolePiece {
    uint64_t atMs = 0;
    std::string thread;
    std::string text;
};

struct World {
    Pc pc;
    std::map<uintptr_t, SetState> sets;
    std::map<uintptr_t, std::string> diskHandles; // lower-cased path
    std::map<uintptr_t, std::string> keys;        // lower-cased path
    std::set<uintptr_t> libraries;
    uint64_t nowMs = 0; // virtual time since the start
    std::string console;
    std::vector<ConsolePiece> consolePieces;
    std::vector<std::string> trace; // one line per call, for people
    std::vector<CallRecord> calls;  // the same calls as records, for tests
    bool tracing = false;
    std::map<uintptr_t, LedgerEntry> ledger;
    std::vector<std::string> violations; // releases of unknown resources, bad records
    std::vector<AdbRequest> adbRequests;
    std::vector<InstallCall> installCalls;
    bool stdinRead = false;
    unsigned stdinReads = 0; // characters asked for, EOF answers included
    size_t stdinPos = 0;
    unsigned allocCalls = 0;
    unsigned diskSetCalls = 0;
    unsigned lookupCalls = 0;
    size_t installCallIndex = 0;
    std::map<std::string, size_t> diskReplyIndex; // by lower-cased path
    std::set<std::string> vanishedDisks;          // lower-cased paths
    std::set<DWORD> lastErrors;                   // every nonzero last-error value the sim set
    uintptr_t nextHandle = 0x100;
};

// The world of the simulated PC that runs now: what the scenario gave it and what the run recorded.
World& CurrentWorld();
// Changes the calling thread's last error as a CRT call may on Windows (a file opened for
// appending that exists gives ERROR_ALREADY_EXISTS), without counting it as an error the PC gave.
void ClobberLastError(DWORD code);

// Starts a fresh world for pc (clears every record).
void ResetWorld(const Pc& pc);

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
uintptr_t NewHandleValue();
void LedgerOpen(uintptr_t id, Resource kind, const std::string& what);
// FALSE (and a violation) when id is not open as kind.
bool LedgerClose(uintptr_t id, Resource kind);
bool LedgerHas(uintptr_t id, Resource kind);
// The resources still open, one line each.
std::vector<std::string> LedgerReport();
bool LedgerIsClean();

} // namespace sim
