#include "logreplay/log_reader.h"

#include "sim/calendar.h"
#include "sim/scenario.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace logreplay {
namespace {

const char kTag[] = "QELDriverFixed\t[";
const size_t kPrefixLength = 42; // tag, tab, [YYYY-MM-DD  hh:mm:ss:mmm], tab

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A number right-aligned in a field of width characters, padded with spaces.
bool Field(std::string_view text, size_t at, size_t width, unsigned* value) {
    size_t i = at, end = at + width;
    while (i < end && text[i] == ' ')
        ++i;
    if (i == end)
        return false;
    *value = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        *value = *value * 10 + (unsigned)(text[i] - '0');
    }
    return true;
}

// The time stamp of an entry that starts at text[at] with the tag; false when it is none.
bool ParseStamp(std::string_view text, size_t at, uint64_t* utcMs) {
    if (text.size() - at < kPrefixLength)
        return false;
    std::string_view p = text.substr(at, kPrefixLength);
    if (p[20] != '-' || p[23] != '-' || p[26] != ' ' || p[27] != ' ' || p[30] != ':' ||
        p[33] != ':' || p[36] != ':' || p[40] != ']' || p[41] != '\t')
        return false;
    unsigned year, month, day, hour, minute, second, millis;
    if (!Field(p, 16, 4, &year) || !Field(p, 21, 2, &month) || !Field(p, 24, 2, &day) ||
        !Field(p, 28, 2, &hour) || !Field(p, 31, 2, &minute) || !Field(p, 34, 2, &second) ||
        !Field(p, 37, 3, &millis))
        return false;
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    int64_t ms = sim::MsFromCivil(year, month, day, hour, minute, second, millis);
    if (ms < 0)
        return false;
    *utcMs = (uint64_t)ms;
    return true;
}

// ---- Encodings ----------------------------------------------------------------------------------
// Windows-1252's characters 0x80 to 0x9F; 0 where the code page has none.
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool AnsiByte(uint32_t cp, char* byte) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        *byte = (char)cp;
        return true;
    }
    for (unsigned i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp && cp != 0) {
            *byte = (char)(0x80 + i);
            return true;
        }
    if (cp >= 0x80 && cp <= 0x9F) { // undefined in the code page: kept as the byte
        *byte = (char)cp;
        return true;
    }
    return false;
}

bool FromUtf16(const std::string& in, size_t start, bool bigEndian, std::string* out,
               std::string* error) {
    if ((in.size() - start) % 2) {
        *error = "the file looks like UTF-16 but has an odd number of bytes";
        return false;
    }
    out->clear();
    out->reserve((in.size() - start) / 2);
    for (size_t i = start; i + 1 < in.size(); i += 2) {
        uint32_t unit = bigEndian ? ((unsigned char)in[i] << 8) | (unsigned char)in[i + 1]
                                  : ((unsigned char)in[i + 1] << 8) | (unsigned char)in[i];
        char byte;
        if (!AnsiByte(unit, &byte)) {
            char text[120];
            snprintf(text, sizeof(text),
                     "the file is UTF-16 and holds U+%04X, which the tool never writes (its log "
                     "is Windows-1252 text)",
                     (unsigned)unit);
            *error = text;
            return false;
        }
        *out += byte;
    }
    return true;
}

bool FromUtf8(const std::string& in, size_t start, std::string* out, std::string* error) {
    out->clear();
    out->reserve(in.size() - start);
    for (size_t i = start; i < in.size();) {
        unsigned char lead = (unsigned char)in[i];
        uint32_t cp = lead;
        size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
        if (length == 0 || i + length > in.size()) {
            *error = "the file starts with a UTF-8 byte order mark but is not UTF-8";
            return false;
        }
        if (length > 1) {
            cp = lead & (length == 2 ? 0x1F : 0x0F);
            for (size_t k = 1; k < length; ++k) {
                unsigned char c = (unsigned char)in[i + k];
                if ((c & 0xC0) != 0x80) {
                    *error = "the file starts with a UTF-8 byte order mark but is not UTF-8";
                    return false;
                }
                cp = (cp << 6) | (c & 0x3F);
            }
        }
        char byte;
        if (!AnsiByte(cp, &byte)) {
            char text[120];
            snprintf(text, sizeof(text),
                     "the file is UTF-8 and holds U+%04X, which the tool never writes (its log is "
                     "Windows-1252 text)",
                     (unsigned)cp);
            *error = text;
            return false;
        }
        *out += byte;
        i += length;
    }
    return true;
}

// Converts a log saved in another encoding back to the bytes the tool wrote.
bool ToAnsi(std::string* bytes, std::string* encoding, std::string* error) {
    const std::string& b = *bytes;
    auto at = [&](size_t i) { return i < b.size() ? (unsigned char)b[i] : 0x100u; };
    std::string converted;
    bool ok = true;
    if (at(0) == 0xFF && at(1) == 0xFE) {
        *encoding = "UTF-16 little-endian";
        ok = FromUtf16(b, 2, false, &converted, error);
    } else if (at(0) == 0xFE && at(1) == 0xFF) {
        *encoding = "UTF-16 big-endian";
        ok = FromUtf16(b, 2, true, &converted, error);
    } else if (at(0) == 'Q' && at(1) == 0) {
        *encoding = "UTF-16 little-endian";
        ok = FromUtf16(b, 0, false, &converted, error);
    } else if (at(0) == 0 && at(1) == 'Q') {
        *encoding = "UTF-16 big-endian";
        ok = FromUtf16(b, 0, true, &converted, error);
    } else if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        *encoding = "UTF-8";
        ok = FromUtf8(b, 3, &converted, error);
    } else {
        *encoding = "ANSI";
        return true;
    }
    if (ok)
        bytes->swap(converted);
    return ok;
}

// ---- Messages -----------------------------------------------------------------------------------
std::string_view WithoutLineEnd(std::string_view stored) {
    if (EndsWith(stored, "\r\n"))
        return stored.substr(0, stored.size() - 2);
    if (EndsWith(stored, "\n"))
        return stored.substr(0, stored.size() - 1);
    return stored;
}

// Hexadecimal digits (1 to 8; exactly 8 when fixed) that make up all of text.
bool Hex(std::string_view text, bool fixed, uint32_t* value) {
    if (text.empty() || text.size() > 8 || (fixed && text.size() != 8))
        return false;
    *value = 0;
    for (char c : text) {
        unsigned digit = c >= '0' && c <= '9'   ? (unsigned)(c - '0')
                         : c >= 'a' && c <= 'f' ? (unsigned)(c - 'a' + 10)
                         : c >= 'A' && c <= 'F' ? (unsigned)(c - 'A' + 10)
                                                : 16;
        if (digit == 16)
            return false;
        *value = *value * 16 + digit;
    }
    return true;
}

bool Decimal(std::string_view text, int* value) {
    if (text.empty() || text.size() > 9)
        return false;
    *value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        *value = *value * 10 + (c - '0');
    }
    return true;
}

bool GuidShape(std::string_view g) {
    if (g.size() != 38 || g[0] != '{' || g[37] != '}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        uint32_t unused;
        if (dash ? g[i] != '-' : !Hex(g.substr(i, 1), false, &unused))
            return false;
    }
    return true;
}

// "for HWID from PATH, error: CODE[ retry=N]" of the failure lines.
bool ParseFailure(std::string_view rest, Message* m) {
    size_t from = rest.find(" from ");
    size_t error = rest.rfind(", error: ");
    if (from == std::string_view::npos || error == std::string_view::npos || error < from)
        return false;
    m->a = std::string(rest.substr(0, from));
    m->b = std::string(rest.substr(from + 6, error - from - 6));
    std::string_view tail = rest.substr(error + 9);
    size_t retry = tail.find(" retry=");
    if (retry == std::string_view::npos) {
        m->kind = Kind::FailFinal;
        return Hex(tail, true, &m->code);
    }
    m->kind = Kind::FailRetry;
    return Hex(tail.substr(0, retry), true, &m->code) &&
           Decimal(tail.substr(retry + 7), &m->number);
}

bool ParseHeader(std::string_view rest, Message* m) {
    // VERSION ARCH, Windows M.N build B, elevated|not elevated
    size_t space = rest.find(' ');
    size_t comma = rest.find(", Windows ");
    if (space == std::string_view::npos || comma == std::string_view::npos || comma < space)
        return false;
    m->a = std::string(rest.substr(0, space));
    m->arch = std::string(rest.substr(space + 1, comma - space - 1));
    std::string_view windows = rest.substr(comma + 10);
    size_t dot = windows.find('.'), build = windows.find(" build "), last = windows.find(", ");
    if (dot == std::string_view::npos || build == std::string_view::npos ||
        last == std::string_view::npos || !(dot < build && build < last))
        return false;
    int major, minor, number;
    if (!Decimal(windows.substr(0, dot), &major) ||
        !Decimal(windows.substr(dot + 1, build - dot - 1), &minor) ||
        !Decimal(windows.substr(build + 7, last - build - 7), &number))
        return false;
    std::string_view elevation = windows.substr(last + 2);
    if (elevation != "elevated" && elevation != "not elevated")
        return false;
    m->winMajor = (unsigned)major;
    m->winMinor = (unsigned)minor;
    m->number = number;
    m->elevated = elevation == "elevated";
    return true;
}

bool ParseKnown(std::string_view t, Message* m) {
    auto after = [&](std::string_view prefix, std::string* out) {
        if (!StartsWith(t, prefix))
            return false;
        *out = std::string(t.substr(prefix.size()));
        return true;
    };
    std::string rest;
    if (t == "Update ADB Device Driver ...") {
        m->kind = Kind::UpdateAdb;
        return true;
    }
    for (auto [prefix, kind] :
         {std::pair<std::string_view, Kind>{"remove devices: ", Kind::RemoveDevices},
          {"update devices: ", Kind::UpdateDevices}})
        if (StartsWith(t, prefix) && EndsWith(t, " ...") && t.size() == prefix.size() + 42 &&
            GuidShape(t.substr(prefix.size(), 38))) {
            m->kind = kind;
            m->a = std::string(t.substr(prefix.size(), 38));
            return true;
        }
    if (after("Exit code: 0x", &rest)) {
        m->kind = Kind::ExitCode;
        return Hex(rest, true, &m->code);
    }
    if (after("qel-driver-fix ", &rest)) {
        m->kind = Kind::Header;
        return ParseHeader(rest, m);
    }
    if (after("Check Device : ", &m->a)) {
        m->kind = Kind::CheckDevice;
        return true;
    }
    if (after("Attempt update Device : ", &m->a)) {
        m->kind = Kind::AttemptUpdate;
        return true;
    }
    if (after("check usb composite: ", &m->a)) {
        m->kind = Kind::CheckComposite;
        return true;
    }
    if (after("Updating driver for Device : ", &m->a)) {
        m->kind = Kind::UpdatingDriver;
        return true;
    }
    if (after("Open ADB Device for ", &rest) && EndsWith(rest, "...")) {
        m->kind = Kind::OpenAdb;
        m->a = rest.substr(0, rest.size() - 3);
        return true;
    }
    if (after("Close ADB Device for ", &rest) && EndsWith(rest, "...")) {
        m->kind = Kind::CloseAdb;
        m->a = rest.substr(0, rest.size() - 3);
        return true;
    }
    if (after("Fail to Update driver for ", &rest))
        return ParseFailure(rest, m);
    if (after("Success to Update driver for ", &rest)) {
        size_t from = rest.find(" from ");
        if (from == std::string::npos)
            return false;
        m->kind = Kind::Success;
        m->a = rest.substr(0, from);
        m->b = rest.substr(from + 6);
        return true;
    }
    if (after("Restart required to finish the update for ", &m->a)) {
        m->kind = Kind::RestartRequired;
        return true;
    }
    if (after("Cannot read the Windows directory for ", &rest)) {
        size_t error = rest.rfind(", error: ");
        if (error == std::string::npos)
            return false;
        m->kind = Kind::WindowsDirError;
        m->a = rest.substr(0, error);
        return Hex(std::string_view(rest).substr(error + 9), true, &m->code);
    }
    if (after("Driver package path too long for ", &rest)) {
        size_t colon = rest.find(": ");
        if (colon == std::string::npos)
            return false;
        m->kind = Kind::PathTooLong;
        m->a = rest.substr(0, colon);
        m->b = rest.substr(colon + 2);
        return true;
    }
    if (after("DeviceFilter: ", &m->a)) {
        m->kind = Kind::DeviceFilter;
        return true;
    }
    if (after("SetupDiGetClassDevs error: ", &rest)) {
        m->kind = Kind::DiskSetError;
        return Hex(rest, false, &m->code);
    }
    if (after("InterfaceDevice : ", &m->a)) {
        m->kind = Kind::InterfaceDevice;
        return true;
    }
    for (bool on : {true, false})
        if (after(on ? "Attempt to turn on ADB for " : "Attempt to turn off ADB for ", &m->a)) {
            m->kind = Kind::AttemptTurn;
            m->on = on;
            return true;
        }
    if (after("Failed to open ADB device ", &rest)) {
        size_t colon = rest.rfind(": ");
        if (colon == std::string::npos)
            return false;
        m->kind = Kind::OpenFailed;
        m->a = rest.substr(0, colon);
        return Hex(std::string_view(rest).substr(colon + 2), false, &m->code);
    }
    if (after("turn on/off ADB fail: ", &rest)) {
        m->kind = Kind::CommandFailed;
        return Hex(rest, false, &m->code);
    }
    size_t service = t.find(": Service = ");
    if (service != std::string_view::npos) {
        m->kind = Kind::Service;
        m->a = std::string(t.substr(0, service));
        m->b = std::string(t.substr(service + 12));
        return true;
    }
    return false;
}

// ---- Runs ---------------------------------------------------------------------------------------
// Where runs begin: at a header; after an exit-code entry; and, in logs written before those
// existed, where the sequence of a run cannot go on (a third detection, a second repair pass).
void SplitRuns(LogFile* log) {
    enum Phase { Start, Detect1, Detect2, Repair, Ended } phase = Start;
    std::string firstClass;
    bool hasEntries = false;
    bool onlyForeign = false; // the run so far holds no line of the tool: it stays apart
    auto begin = [&](size_t index) {
        if (hasEntries)
            log->runs.back().count = index - log->runs.back().first;
        log->runs.push_back(LogRun{index, 0});
        hasEntries = true;
        phase = Start;
        firstClass.clear();
        onlyForeign = true;
    };
    for (size_t i = 0; i < log->entries.size(); ++i) {
        const LogEntry& e = log->entries[i];
        if (!hasEntries || phase == Ended || e.kind == Kind::Header ||
            (onlyForeign && e.kind != Kind::Unknown && i > log->runs.back().first))
            begin(i);
        switch (e.kind) {
        case Kind::ExitCode:
            phase = Ended;
            break;
        case Kind::RemoveDevices: {
            std::string guid(e.text.substr(16, 38));
            if (phase == Repair || (phase == Detect2 && guid == firstClass))
                begin(i);
            if (phase == Start) {
                phase = Detect1;
                firstClass = guid;
            } else if (phase == Detect1 && guid == firstClass) {
                phase = Detect2;
            }
            break;
        }
        case Kind::UpdateAdb:
            if (phase == Repair)
                begin(i);
            phase = Repair;
            break;
        default:
            break;
        }
        if (e.kind != Kind::Unknown)
            onlyForeign = false;
    }
    if (hasEntries)
        log->runs.back().count = log->entries.size() - log->runs.back().first;
}

// What splitting needs, fast: the kinds that mark runs, read in full, and for every other line
// whether it begins as one of the tool's messages (the whole test waits until a run is used).
Kind Classify(std::string_view stored, Message* scratch) {
    static const std::pair<std::string_view, Kind> kStarts[] = {
        {"Check Device : ", Kind::CheckDevice},
        {"Attempt update Device : ", Kind::AttemptUpdate},
        {"check usb composite: ", Kind::CheckComposite},
        {"Updating driver for Device : ", Kind::UpdatingDriver},
        {"Open ADB Device for ", Kind::OpenAdb},
        {"Fail to Update driver for ", Kind::FailFinal},
        {"Success to Update driver for ", Kind::Success},
        {"Restart required to finish the update for ", Kind::RestartRequired},
        {"Close ADB Device for ", Kind::CloseAdb},
        {"Cannot read the Windows directory for ", Kind::WindowsDirError},
        {"Driver package path too long for ", Kind::PathTooLong},
        {"DeviceFilter: ", Kind::DeviceFilter},
        {"SetupDiGetClassDevs error: ", Kind::DiskSetError},
        {"InterfaceDevice : ", Kind::InterfaceDevice},
        {"Attempt to turn ", Kind::AttemptTurn},
        {"Failed to open ADB device ", Kind::OpenFailed},
        {"turn on/off ADB fail: ", Kind::CommandFailed},
        {"update devices: ", Kind::UpdateDevices},
    };
    std::string_view t = WithoutLineEnd(stored);
    if (StartsWith(t, "remove devices: ") || StartsWith(t, "Exit code: 0x") ||
        StartsWith(t, "qel-driver-fix ") || StartsWith(t, "Update ADB Device Driver")) {
        // The scratch message keeps its strings' room from entry to entry.
        scratch->kind = Kind::Unknown;
        return ParseKnown(t, scratch) ? scratch->kind : Kind::Unknown;
    }
    for (const auto& [start, kind] : kStarts)
        if (StartsWith(t, start))
            return kind;
    return t.find(": Service = ") != std::string_view::npos ? Kind::Service : Kind::Unknown;
}

} // namespace

std::string MessageText(std::string_view stored) {
    std::string_view t = WithoutLineEnd(stored);
    std::string text;
    text.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i)
        if (!(t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n'))
            text += t[i];
    return text;
}

Message ParseMessage(std::string_view stored) {
    Message m;
    m.text = MessageText(stored);
    if (!ParseKnown(m.text, &m)) {
        Message unknown;
        unknown.text = std::move(m.text);
        return unknown;
    }
    return m;
}

bool ParseLogBytes(std::string bytes, LogFile* log, std::string* error) {
    *log = LogFile{};
    if (bytes.empty()) {
        *error = "the file is empty";
        return false;
    }
    if (!ToAnsi(&bytes, &log->encoding, error))
        return false;
    log->bytes = std::move(bytes);
    std::string_view text = log->bytes;
    uint32_t line = 1;
    size_t counted = 0; // line feeds are counted up to here
    for (size_t at = text.find(kTag); at != std::string_view::npos; at = text.find(kTag, at + 1)) {
        uint64_t utcMs;
        if (!ParseStamp(text, at, &utcMs))
            continue;
        for (const char* p = text.data() + counted;
             (p = (const char*)memchr(p, '\n', at - (size_t)(p - text.data()))) != nullptr; ++p)
            ++line;
        counted = at;
        if (!log->entries.empty()) {
            LogEntry& last = log->entries.back();
            last.text = text.substr((size_t)(last.text.data() - text.data()),
                                    at - (size_t)(last.text.data() - text.data()));
        }
        LogEntry entry;
        entry.utcMs = utcMs;
        entry.text = text.substr(at + kPrefixLength);
        entry.line = line;
        log->entries.push_back(entry);
    }
    if (log->entries.empty()) {
        *error = memchr(text.data(), '\0', text.size()) != nullptr
                     ? "the file is binary, not a qel-driver-fix log"
                     : "no entry of a qel-driver-fix log (a line that begins with "
                       "\"QELDriverFixed\" and a time stamp)";
        return false;
    }
    Message scratch;
    for (LogEntry& e : log->entries)
        e.kind = Classify(e.text, &scratch);
    for (const char* p = text.data();
         (p = (const char*)memchr(p, '\n', text.size() - (size_t)(p - text.data()))); ++p)
        if (p == text.data() || p[-1] != '\r') {
            log->crlf = false;
            break;
        }
    SplitRuns(log);
    return true;
}

bool ReadLogFile(const std::string& path, LogFile* log, std::string* error) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        *error = path + ": cannot be read";
        return false;
    }
    std::streamoff size = file.tellg();
    if (size < 0) {
        *error = path + ": cannot be read";
        return false;
    }
    // Read in pieces: a string of the file's size, zero-filled first, would touch it twice.
    std::string bytes;
    bytes.reserve((size_t)size);
    file.seekg(0);
    std::vector<char> piece(1 << 20);
    while (file.read(piece.data(), (std::streamsize)piece.size()) || file.gcount() > 0)
        bytes.append(piece.data(), (size_t)file.gcount());
    if (file.bad() || (std::streamoff)bytes.size() != size) {
        *error = path + ": cannot be read";
        return false;
    }
    if (!ParseLogBytes(std::move(bytes), log, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool PickRun(const LogFile& log, long n, LogRun* run, std::string* error) {
    long count = (long)log.runs.size();
    if (n < 0 || n > count) {
        *error = "there is no run " + std::to_string(n) + ": the log holds " +
                 std::to_string(count) + (count == 1 ? " run" : " runs");
        return false;
    }
    *run = log.runs[(size_t)(n == 0 ? count - 1 : n - 1)];
    return true;
}

std::string UtcText(uint64_t utcMs) {
    std::string clock = sim::ClockText(utcMs);
    clock[10] = ' ';
    clock.pop_back();
    return clock;
}

} // namespace logreplay
