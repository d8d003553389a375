// Reads a user's _QEL_InstallerUpdata.log: its time-stamped entries, what each message says, and
// the runs the appended file holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace logreplay {

enum class Kind : uint8_t {
    Unknown,
    Header,          // qel-driver-fix VERSION ARCH, Windows M.N build B, elevated
    ExitCode,        // Exit code: 0x%08X
    UpdateAdb,       // Update ADB Device Driver ...
    RemoveDevices,   // remove devices: {GUID} ...
    UpdateDevices,   // update devices: {GUID} ...
    CheckDevice,     // Check Device : ID
    AttemptUpdate,   // Attempt update Device : ID
    CheckComposite,  // check usb composite: KEY
    Service,         // ID: Service = VALUE
    UpdatingDriver,  // Updating driver for Device : HWID
    OpenAdb,         // Open ADB Device for HWID...
    FailRetry,       // Fail to Update driver for HWID from PATH, error: CODE retry=N
    FailFinal,       // Fail to Update driver for HWID from PATH, error: CODE
    Success,         // Success to Update driver for HWID from PATH
    RestartRequired, // Restart required to finish the update for HWID
    CloseAdb,        // Close ADB Device for HWID...
    WindowsDirError, // Cannot read the Windows directory for HWID, error: CODE
    PathTooLong,     // Driver package path too long for HWID: DIR
    DeviceFilter,    // DeviceFilter: SERIAL
    DiskSetError,    // SetupDiGetClassDevs error: CODE
    InterfaceDevice, // InterfaceDevice : PATH
    AttemptTurn,     // Attempt to turn on|off ADB for PATH
    OpenFailed,      // Failed to open ADB device PATH: CODE
    CommandFailed,   // turn on/off ADB fail: CODE
};

// One entry of the file: its UTC time and its message as stored (line ends CR LF or LF).
struct LogEntry {
    uint64_t utcMs = 0;    // milliseconds since 1970-01-01
    std::string_view text; // the message, line end included, into LogFile::bytes
    uint32_t line = 0;     // the line of the file the entry starts on, from 1
    // Exact for the kinds that mark runs; for other lines of the tool, the kind their message
    // begins as (ParseMessage reads them in full); Unknown: not a line of the tool.
    Kind kind = Kind::Unknown;
};

// What a message says: its kind and its fields.
struct Message {
    Kind kind = Kind::Unknown;
    std::string text; // the message without its final line end, line ends as LF
    std::string a, b; // the ID, hardware ID, path, filter, GUID or version, by kind
    uint32_t code = 0;
    int number = 0; // retry index; Windows build
    bool on = false;
    // Header only.
    std::string arch;
    unsigned winMajor = 0, winMinor = 0;
    bool elevated = false;
};

struct LogRun {
    size_t first = 0, count = 0; // entries
};

struct LogFile {
    std::string bytes; // as read, or converted to the ANSI bytes the tool wrote
    std::vector<LogEntry> entries;
    std::vector<LogRun> runs;
    std::string encoding; // "ANSI", or what it was converted from
    bool crlf = true;     // line ends as the tool writes them
};

// Reads and splits a log; false with one line in *error when the file is no such log.
bool ReadLogFile(const std::string& path, LogFile* log, std::string* error);
bool ParseLogBytes(std::string bytes, LogFile* log, std::string* error);

Message ParseMessage(std::string_view stored);
// The message without its final line end, CR LF as LF.
std::string MessageText(std::string_view stored);

// Picks run N (1 is the oldest; 0 the last); false with a reason when there is no such run.
bool PickRun(const LogFile& log, long n, LogRun* run, std::string* error);

// The UTC time as "2026-12-11 09:04:07.012".
std::string UtcText(uint64_t utcMs);

} // namespace logreplay
