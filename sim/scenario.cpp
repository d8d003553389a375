// Scenario files: a simulated PC described in TOML (see docs/scenarios.md).
#include "sim/scenario.h"

#include "sim/calendar.h"
#include "sim/scenario_keys.h"

// toml++ 3.3 asserts on some malformed input (a table header such as [`x]) that its parser then
// reports as an error; a scenario file must give that error, not abort the process.
#define TOML_ASSERT(expr) static_assert(true)
#include <toml++/toml.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace sim {
namespace {

struct ScenarioError {
    long line;
    std::string message;
};

[[noreturn]] void Throw(const toml::node& node, const std::string& message) {
    throw ScenarioError{(long)node.source().begin.line, message};
}

using Handler = std::function<void(const toml::node&)>;

// The handlers of a table must be exactly the keys sim/scenario_keys.cpp lists for it: a key
// added on one side only stops every parse at once.
void CheckAgainstKeyTable(const std::string& table,
                          const std::map<std::string, Handler>& handlers) {
    static std::set<std::string> checked;
    if (!checked.insert(table).second)
        return;
    std::vector<std::string> listed = KeysOf(table);
    std::set<std::string> keys(listed.begin(), listed.end());
    std::set<std::string> handled;
    for (const auto& [name, unused] : handlers)
        handled.insert(name);
    if (keys != handled) {
        fprintf(stderr, "scenario parser: the keys of %s differ from sim/scenario_keys.cpp\n",
                table.c_str());
        abort();
    }
}

// Walks a table, handing each key to its handler; an unknown key is an error. keyTable names
// the table in the key table when where (the name in messages) varies.
void ReadTable(const toml::node& node, const std::string& where,
               const std::map<std::string, Handler>& handlers, const std::string& keyTable = "") {
    CheckAgainstKeyTable(keyTable.empty() ? where : keyTable, handlers);
    const toml::table* table = node.as_table();
    if (table == nullptr)
        Throw(node, where + " must be a table");
    for (auto&& [key, value] : *table) {
        auto handler = handlers.find(std::string(key.str()));
        if (handler == handlers.end()) {
            std::string known;
            for (const auto& [name, unused] : handlers)
                known += (known.empty() ? "" : ", ") + name;
            throw ScenarioError{(long)key.source().begin.line,
                                "unknown key '" + std::string(key.str()) + "' in " + where +
                                    " (known: " + known + ")"};
        }
        handler->second(value);
    }
}

// toml++ 3.3 reaches __builtin_unreachable when it tests U+00A1 to U+0499, U+2C5E to U+2FFF,
// U+3001 to U+3057 or U+FB26 to U+FEFE for whitespace, which it does wherever a key or value may
// end, also in malformed text around strings. So the parser is given those characters moved into
// the private use area, which it tests safely, and String() moves them back.
struct ShiftedRange {
    uint32_t first, last, to;
};
const ShiftedRange kShifted[] = {{0xA1, 0x499, 0xE0A1},
                                 {0x2C5E, 0x2FFF, 0xE500},
                                 {0x3001, 0x3057, 0xE900},
                                 {0xFB26, 0xFEFE, 0xEA00}};
const uint32_t kPrivateFirst = 0xE000, kPrivateLast = 0xEFFF; // what the shift may use

// The code point of the UTF-8 sequence of 2 or 3 bytes at text[i], with its length; 0 if none.
uint32_t Decode(std::string_view text, size_t i, size_t* length) {
    auto follows = [&](size_t k) {
        return i + k < text.size() && ((unsigned char)text[i + k] & 0xC0) == 0x80;
    };
    unsigned char lead = (unsigned char)text[i];
    *length = (lead & 0xE0) == 0xC0 && follows(1)                 ? 2
              : (lead & 0xF0) == 0xE0 && follows(1) && follows(2) ? 3
                                                                  : 0;
    if (*length == 2)
        return ((lead & 0x1Fu) << 6) | ((unsigned char)text[i + 1] & 0x3Fu);
    if (*length == 3)
        return ((lead & 0x0Fu) << 12) | (((unsigned char)text[i + 1] & 0x3Fu) << 6) |
               ((unsigned char)text[i + 2] & 0x3Fu);
    return 0;
}

void Encode(uint32_t cp, std::string* out) {
    if (cp < 0x800) {
        *out += (char)(0xC0 | (cp >> 6));
    } else {
        *out += (char)(0xE0 | (cp >> 12));
        *out += (char)(0x80 | ((cp >> 6) & 0x3F));
    }
    *out += (char)(0x80 | (cp & 0x3F));
}

// Moves each character of the shifted ranges into the private use area (toParser) or back.
// *clashLine, when given: the first line that already holds a character of U+E000 to U+EFFF.
std::string ShiftRanges(std::string_view text, bool toParser, long* clashLine = nullptr) {
    long line = 1;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t length;
        uint32_t cp = Decode(text, i, &length);
        if (clashLine && length && cp >= kPrivateFirst && cp <= kPrivateLast && !*clashLine)
            *clashLine = line;
        bool moved = false;
        for (const ShiftedRange& r : kShifted) {
            uint32_t from = toParser ? r.first : r.to;
            if (!moved && length && cp >= from && cp <= from + (r.last - r.first)) {
                Encode(cp - from + (toParser ? r.to : r.first), &out);
                i += length - 1;
                moved = true;
            }
        }
        if (!moved) {
            line += text[i] == '\n';
            out += text[i];
        }
    }
    return out;
}

std::string String(const toml::node& node, const std::string& what) {
    if (!node.is_string())
        Throw(node, what + " must be a string");
    return ShiftRanges(*node.value<std::string_view>(), false);
}

bool Bool(const toml::node& node, const std::string& what) {
    if (!node.is_boolean())
        Throw(node, what + " must be true or false");
    return *node.value<bool>();
}

int64_t Integer(const toml::node& node, const std::string& what, int64_t min, int64_t max) {
    if (!node.is_integer())
        Throw(node, what + " must be an integer");
    int64_t value = *node.value<int64_t>();
    if (value < min || value > max)
        Throw(node,
              what + " must be between " + std::to_string(min) + " and " + std::to_string(max));
    return value;
}

DWORD Code(const toml::node& node, const std::string& what) {
    return (DWORD)Integer(node, what + " (a Windows error code)", 0, 0xFFFFFFFFLL);
}

uint64_t Millis(const toml::node& node, const std::string& what) {
    return (uint64_t)Integer(node, what + " (milliseconds)", 0, 1000LL * 3600 * 24 * 365);
}

template <typename Item>
std::vector<Item> Array(const toml::node& node, const std::string& what,
                        const std::function<Item(const toml::node&)>& read) {
    const toml::array* array = node.as_array();
    if (array == nullptr)
        Throw(node, what + " must be an array");
    std::vector<Item> items;
    for (const toml::node& item : *array)
        items.push_back(read(item));
    return items;
}

// An outcome: "ok"/"accept", an error code, "vanish", or { error = N, ms = N, vanish = B }.
Outcome ReadOutcome(const toml::node& node, const std::string& what, bool allowVanish) {
    Outcome outcome;
    if (node.is_string()) {
        std::string word = String(node, what);
        if (word == "ok" || word == "accept")
            return outcome;
        if (word == "vanish" && allowVanish) {
            outcome.vanish = true;
            return outcome;
        }
        if (word == "reboot" && !allowVanish) {
            outcome.reboot = true;
            return outcome;
        }
        Throw(node, what + ": unknown outcome '" + word + "' (use \"ok\"" +
                        (allowVanish ? ", \"accept\", \"vanish\"" : ", \"reboot\"") +
                        " or an error code)");
    }
    if (node.is_integer()) {
        outcome.error = Code(node, what);
        return outcome;
    }
    std::map<std::string, Handler> fields = {
        {"error", [&](const toml::node& n) { outcome.error = Code(n, what + ".error"); }},
        {"ms", [&](const toml::node& n) { outcome.ms = Millis(n, what + ".ms"); }},
    };
    if (allowVanish)
        fields["vanish"] = [&](const toml::node& n) { outcome.vanish = Bool(n, what + ".vanish"); };
    if (allowVanish)
        fields["status"] = [&](const toml::node& n) {
            outcome.scsiStatus = (UCHAR)Integer(n, what + ".status", 0, 255);
        };
    else
        fields["reboot"] = [&](const toml::node& n) { outcome.reboot = Bool(n, what + ".reboot"); };
    ReadTable(node, what, fields, allowVanish ? "a disk reply" : "an install outcome");
    return outcome;
}

uint64_t ReadClock(const toml::node& node) {
    std::string text = String(node, "clock");
    int year, month, day, hour, minute, second, millis = 0, end = 0;
    if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour, &minute,
               &second, &millis, &end) != 7 ||
        (size_t)end != text.size() || year < 1601 || year > 9999 || month < 1 || month > 12 ||
        day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        Throw(node, "clock must be a UTC time like \"2009-06-05T09:04:07.012Z\"");
    return (uint64_t)MsFromCivil(year, (unsigned)month, (unsigned)day, (unsigned)hour,
                                 (unsigned)minute, (unsigned)second, (unsigned)millis);
}

// A time zone as its offset from UTC, "+05:30" or "-09:30", in minutes.
int ReadTimeZone(const toml::node& node) {
    std::string text = String(node, "time_zone");
    int hours = 0, minutes = 0, end = 0;
    char sign = 0;
    if (sscanf(text.c_str(), "%c%2d:%2d%n", &sign, &hours, &minutes, &end) != 3 ||
        (size_t)end != text.size() || text.size() != 6 || (sign != '+' && sign != '-') ||
        hours > 14 || minutes > 59)
        Throw(node, "time_zone must be an offset from UTC like \"+05:30\" or \"-09:30\"");
    return (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
}

std::vector<uint8_t> ReadHex(const toml::node& node, const std::string& what) {
    std::string text = String(node, what);
    std::vector<uint8_t> bytes;
    std::string digits;
    for (char c : text) {
        if (c == ' ')
            continue;
        if (!isxdigit((unsigned char)c))
            Throw(node, what + " must be hexadecimal bytes like \"75 73 62\"");
        digits += c;
    }
    if (digits.size() % 2)
        Throw(node, what + " has an odd number of hexadecimal digits");
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back((uint8_t)std::stoul(digits.substr(i, 2), nullptr, 16));
    return bytes;
}

DWORD ReadRegType(const toml::node& node) {
    static const std::map<std::string, DWORD> types = {
        {"REG_NONE", REG_NONE},     {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ},
        {"REG_BINARY", REG_BINARY}, {"REG_DWORD", REG_DWORD}, {"REG_MULTI_SZ", REG_MULTI_SZ}};
    if (node.is_integer())
        return Code(node, "type");
    auto it = types.find(String(node, "type"));
    if (it == types.end())
        Throw(node, "type must be REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, "
                    "REG_NONE or a number");
    return it->second;
}

// A registry value: { name, type, string | hex | dword }. A string is stored with its zero.
std::pair<std::string, RegValue> ReadRegValue(const toml::node& node, const std::string& where,
                                              const std::string& defaultName = "") {
    std::string name = defaultName;
    RegValue value;
    bool hasData = false;
    ReadTable(
        node, where,
        {{"name", [&](const toml::node& n) { name = String(n, "name"); }},
         {"type", [&](const toml::node& n) { value.type = ReadRegType(n); }},
         {"string",
          [&](const toml::node& n) {
              std::string text = String(n, "string");
              value.data.assign(text.begin(), text.end());
              value.data.push_back(0);
              hasData = true;
          }},
         {"hex",
          [&](const toml::node& n) {
              value.data = ReadHex(n, "hex");
              hasData = true;
          }},
         {"dword",
          [&](const toml::node& n) {
              DWORD d = Code(n, "dword");
              value.data = {(uint8_t)d, (uint8_t)(d >> 8), (uint8_t)(d >> 16), (uint8_t)(d >> 24)};
              hasData = true;
          }}},
        "a registry value");
    if (name.empty())
        Throw(node, where + " needs a name");
    if (!hasData)
        Throw(node, where + " needs one of string, hex or dword");
    return {name, value};
}

RegKey& KeyFor(Pc& pc, const std::string& path) {
    RegKey& key = pc.registry[Lower(path)];
    if (key.path.empty())
        key.path = path;
    return key;
}

void ReadDevice(const toml::node& node, Pc& pc, SetupClass& setupClass) {
    Device device;
    std::string keyState = "present";
    LSTATUS keyOpenError = 0;
    std::optional<std::string> service;
    std::optional<std::pair<std::string, RegValue>> serviceValue;
    ReadTable(
        node, "[[class.device]]",
        {{"id", [&](const toml::node& n) { device.instanceId = String(n, "id"); }},
         {"service", [&](const toml::node& n) { service = String(n, "service"); }},
         {"service_value",
          [&](const toml::node& n) {
              serviceValue = ReadRegValue(n, "service_value", "Service");
              if (Lower(serviceValue->first) != "service")
                  Throw(n, "service_value is the Service value: leave out its name");
          }},
         {"key",
          [&](const toml::node& n) {
              keyState = String(n, "key");
              if (keyState != "present" && keyState != "missing")
                  Throw(n, "key must be \"present\" or \"missing\"");
          }},
         {"key_open_error",
          [&](const toml::node& n) { keyOpenError = (LSTATUS)Code(n, "key_open_error"); }},
         {"after_enter", [&](const toml::node& n) { device.afterEnter = Bool(n, "after_enter"); }},
         {"list_detail_fails",
          [&](const toml::node& n) { device.listDetailFails = Bool(n, "list_detail_fails"); }},
         {"id_result", [&](const toml::node& n) { device.idResult = Code(n, "id_result"); }},
         {"adb", [&](const toml::node& n) { device.adbOn = Bool(n, "adb"); }}});
    if (device.instanceId.empty())
        Throw(node, "[[class.device]] needs an id");
    if (keyState == "present") {
        RegKey& key = KeyFor(pc, EnumKeyPath(device.instanceId));
        key.openError = keyOpenError;
        if (service)
            SetService(pc, device.instanceId, *service);
        if (serviceValue)
            key.values["service"] = serviceValue->second;
    } else if (service || serviceValue || keyOpenError) {
        Throw(node, "a device with key = \"missing\" cannot have a service");
    }
    setupClass.devices.push_back(device);
}

void ReadClass(const toml::node& node, Pc& pc) {
    SetupClass setupClass;
    bool hasGuid = false;
    const toml::node* devices = nullptr;
    ReadTable(
        node, "[[class]]",
        {{"guid",
          [&](const toml::node& n) {
              if (!ParseGuid(String(n, "guid"), &setupClass.guid))
                  Throw(n, "guid must look like {36FC9E60-C465-11CF-8056-444553540000}");
              hasGuid = true;
          }},
         {"name", [&](const toml::node& n) { setupClass.name = String(n, "name"); }},
         {"set_error", [&](const toml::node& n) { setupClass.setError = Code(n, "set_error"); }},
         {"enum_fails_at",
          [&](const toml::node& n) {
              setupClass.enumFailsAt = (int)Integer(n, "enum_fails_at", 0, 1 << 20);
          }},
         {"enum_error", [&](const toml::node& n) { setupClass.enumError = Code(n, "enum_error"); }},
         {"device", [&](const toml::node& n) { devices = &n; }}});
    if (!hasGuid)
        Throw(node, "[[class]] needs a guid");
    if (devices) {
        const toml::array* array = devices->as_array();
        if (array == nullptr)
            Throw(*devices, "device must be an array of tables ([[class.device]])");
        for (const toml::node& device : *array)
            ReadDevice(device, pc, setupClass);
    }
    pc.classes.push_back(std::move(setupClass));
}

void ReadDisk(const toml::node& node, Pc& pc) {
    Disk disk;
    ReadTable(node, "[[disk]]",
              {{"path", [&](const toml::node& n) { disk.path = String(n, "path"); }},
               {"phone", [&](const toml::node& n) { disk.phoneSerial = String(n, "phone"); }},
               {"present_from_ms",
                [&](const toml::node& n) { disk.presentFromMs = Millis(n, "present_from_ms"); }},
               {"present_until_ms",
                [&](const toml::node& n) { disk.presentUntilMs = Millis(n, "present_until_ms"); }},
               {"open_error", [&](const toml::node& n) { disk.openError = Code(n, "open_error"); }},
               {"replies", [&](const toml::node& n) {
                    disk.replies = Array<Outcome>(n, "replies", [](const toml::node& item) {
                        return ReadOutcome(item, "replies", true);
                    });
                }}});
    if (disk.path.empty())
        Throw(node, "[[disk]] needs a path");
    pc.disks.push_back(std::move(disk));
}

void ReadRegistryKey(const toml::node& node, Pc& pc) {
    std::string path;
    std::optional<LSTATUS> openError;
    std::vector<std::pair<std::string, RegValue>> values;
    ReadTable(
        node, "[[registry]]",
        {{"path", [&](const toml::node& n) { path = String(n, "path"); }},
         {"open_error", [&](const toml::node& n) { openError = (LSTATUS)Code(n, "open_error"); }},
         {"values", [&](const toml::node& n) {
              values = Array<std::pair<std::string, RegValue>>(
                  n, "values", [](const toml::node& item) { return ReadRegValue(item, "values"); });
          }}});
    if (path.empty())
        Throw(node, "[[registry]] needs a path");
    RegKey& key = KeyFor(pc, path);
    if (openError)
        key.openError = *openError;
    for (auto& [name, value] : values)
        key.values[Lower(name)] = value;
}

// Environment variables, NAME = "value", by upper-cased name (Windows ignores their case).
void ReadVariables(const toml::node& node, const std::string& where,
                   std::map<std::string, std::string>* variables) {
    const toml::table* table = node.as_table();
    if (table == nullptr)
        Throw(node, where + " must be a table of NAME = \"value\"");
    for (auto&& [key, value] : *table)
        (*variables)[Upper(std::string(key.str()))] = String(value, std::string(key.str()));
}

void ReadScenario(const toml::table& root, Pc& pc) {
    auto codes = [](const toml::node& n, const std::string& what) {
        return Array<DWORD>(n, what, [&](const toml::node& item) { return Code(item, what); });
    };
    ReadTable(
        root, "the scenario",
        {{"name", [&](const toml::node& n) { pc.name = String(n, "name"); }},
         {"clock", [&](const toml::node& n) { pc.clockStartMs = ReadClock(n); }},
         {"time_zone", [&](const toml::node& n) { pc.timeZoneMinutes = ReadTimeZone(n); }},
         {"ansi_code_page",
          [&](const toml::node& n) {
              pc.ansiCodePage = (unsigned)Integer(n, "ansi_code_page", 0, 65535);
              if (!KnownCodePage(pc.ansiCodePage))
                  Throw(n, "ansi_code_page must be 1252, 932 or 936");
          }},
         {"windows_dir", [&](const toml::node& n) { pc.windowsDir = String(n, "windows_dir"); }},
         {"windows_dir_error",
          [&](const toml::node& n) { pc.windowsDirError = Code(n, "windows_dir_error"); }},
         {"env", [&](const toml::node& n) { ReadVariables(n, "[env]", &pc.env); }},
         {"env_wide", [&](const toml::node& n) { ReadVariables(n, "[env_wide]", &pc.envWide); }},
         {"short_path",
          [&](const toml::node& n) {
              const toml::array* array = n.as_array();
              if (array == nullptr)
                  Throw(n, "short_path must be an array of tables ([[short_path]])");
              for (const toml::node& item : *array) {
                  std::string longPath, shortPath;
                  ReadTable(
                      item, "[[short_path]]",
                      {{"long", [&](const toml::node& v) { longPath = String(v, "long"); }},
                       {"short", [&](const toml::node& v) { shortPath = String(v, "short"); }}});
                  if (longPath.empty() || shortPath.empty())
                      Throw(item, "[[short_path]] needs long and short");
                  pc.shortPaths[longPath] = shortPath;
              }
          }},
         {"system",
          [&](const toml::node& n) {
              ReadTable(
                  n, "[system]",
                  {{"windows_version",
                    [&](const toml::node& v) {
                        std::string text = String(v, "windows_version");
                        unsigned major, minor;
                        int end = 0;
                        if (sscanf(text.c_str(), "%u.%u%n", &major, &minor, &end) != 2 ||
                            (size_t)end != text.size())
                            Throw(v, "windows_version must look like \"10.0\"");
                        pc.windowsMajor = major;
                        pc.windowsMinor = minor;
                    }},
                   {"windows_build",
                    [&](const toml::node& v) { pc.windowsBuild = Code(v, "windows_build"); }},
                   {"elevated", [&](const toml::node& v) { pc.elevated = Bool(v, "elevated"); }},
                   {"architecture", [&](const toml::node& v) {
                        pc.architecture = String(v, "architecture");
                        if (pc.architecture != "i686" && pc.architecture != "x86_64")
                            Throw(v, "architecture must be \"i686\" or \"x86_64\"");
                    }}});
          }},
         {"console",
          [&](const toml::node& n) {
              ReadTable(n, "[console]", {{"processes", [&](const toml::node& v) {
                                              pc.consoleProcesses =
                                                  (DWORD)Integer(v, "processes", 0, 1000);
                                          }}});
          }},
         {"stdin",
          [&](const toml::node& n) {
              ReadTable(
                  n, "[stdin]",
                  {{"at_end", [&](const toml::node& v) { pc.stdinAtEnd = Bool(v, "at_end"); }},
                   {"redirected",
                    [&](const toml::node& v) { pc.stdinRedirected = Bool(v, "redirected"); }},
                   {"line",
                    [&](const toml::node& v) {
                        pc.stdinLine = String(v, "line");
                        pc.stdinAtEnd = false;
                    }},
                   {"after_ms",
                    [&](const toml::node& v) { pc.stdinAfterMs = Millis(v, "after_ms"); }}});
          }},
         {"class_lookup",
          [&](const toml::node& n) {
              ReadTable(n, "[class_lookup]",
                        {{"faults", [&](const toml::node& v) {
                              pc.lookupFaults =
                                  Array<LookupFault>(v, "faults", [](const toml::node& item) {
                                      LookupFault fault;
                                      ReadTable(item, "a class lookup fault",
                                                {{"error",
                                                  [&](const toml::node& f) {
                                                      fault.error = Code(f, "error");
                                                  }},
                                                 {"count", [&](const toml::node& f) {
                                                      fault.count = Code(f, "count");
                                                  }}});
                                      return fault;
                                  });
                          }}});
          }},
         {"memory",
          [&](const toml::node& n) {
              ReadTable(n, "[memory]",
                        {{"fail_allocs",
                          [&](const toml::node& v) {
                              for (DWORD call : codes(v, "fail_allocs"))
                                  pc.failAllocs.insert(call);
                          }},
                         {"limit", [&](const toml::node& v) {
                              pc.allocLimit = (SIZE_T)Integer(v, "limit", 0, 1LL << 40);
                          }}});
          }},
         {"threads",
          [&](const toml::node& n) {
              ReadTable(n, "[threads]", {{"create_fails", [&](const toml::node& v) {
                                              pc.threadCreateFails = Bool(v, "create_fails");
                                          }}});
          }},
         {"class",
          [&](const toml::node& n) {
              const toml::array* array = n.as_array();
              if (array == nullptr)
                  Throw(n, "class must be an array of tables ([[class]])");
              for (const toml::node& item : *array)
                  ReadClass(item, pc);
          }},
         {"disks",
          [&](const toml::node& n) {
              ReadTable(n, "[disks]",
                        {{"set_errors",
                          [&](const toml::node& v) { pc.diskSetErrors = codes(v, "set_errors"); }},
                         {"enum_fails_at",
                          [&](const toml::node& v) {
                              pc.diskEnumFailsAt = (int)Integer(v, "enum_fails_at", 0, 1 << 20);
                          }},
                         {"detail_fails_at",
                          [&](const toml::node& v) {
                              pc.diskDetailFailsAt = (int)Integer(v, "detail_fails_at", 0, 1 << 20);
                          }},
                         {"fail_error",
                          [&](const toml::node& v) { pc.diskFailError = Code(v, "fail_error"); }}});
          }},
         {"disk",
          [&](const toml::node& n) {
              const toml::array* array = n.as_array();
              if (array == nullptr)
                  Throw(n, "disk must be an array of tables ([[disk]])");
              for (const toml::node& item : *array)
                  ReadDisk(item, pc);
          }},
         {"installer",
          [&](const toml::node& n) {
              Installer& in = pc.installer;
              ReadTable(n, "[installer]",
                        {{"load_error",
                          [&](const toml::node& v) { in.loadError = Code(v, "load_error"); }},
                         {"export_error",
                          [&](const toml::node& v) { in.exportError = Code(v, "export_error"); }},
                         {"fail_while_adb_off",
                          [&](const toml::node& v) {
                              in.failWhileAdbOff = Code(v, "fail_while_adb_off");
                          }},
                         {"ms", [&](const toml::node& v) { in.ms = Millis(v, "ms"); }},
                         {"outcomes", [&](const toml::node& v) {
                              in.outcomes = Array<Outcome>(v, "outcomes", [](const toml::node& i) {
                                  return ReadOutcome(i, "outcomes", false);
                              });
                          }}});
          }},
         {"registry",
          [&](const toml::node& n) {
              const toml::array* array = n.as_array();
              if (array == nullptr)
                  Throw(n, "registry must be an array of tables ([[registry]])");
              for (const toml::node& item : *array)
                  ReadRegistryKey(item, pc);
          }},
         {"file",
          [&](const toml::node& n) {
              const toml::array* array = n.as_array();
              if (array == nullptr)
                  Throw(n, "file must be an array of tables ([[file]])");
              for (const toml::node& item : *array) {
                  std::string path, content;
                  ReadTable(
                      item, "[[file]]",
                      {{"path", [&](const toml::node& v) { path = String(v, "path"); }},
                       {"content", [&](const toml::node& v) { content = String(v, "content"); }}});
                  if (path.empty())
                      Throw(item, "[[file]] needs a path");
                  pc.files[Lower(path)] = content;
              }
          }},
         {"fs", [&](const toml::node& n) {
              ReadTable(n, "[fs]", {{"missing_folders", [&](const toml::node& v) {
                                         for (const std::string& folder : Array<std::string>(
                                                  v, "missing_folders", [](const toml::node& item) {
                                                      return String(item, "missing_folders");
                                                  }))
                                             pc.missingFolders.insert(Lower(folder));
                                     }}});
          }}});
}

} // namespace

bool ParseScenario(const std::string& text, const std::string& sourceName, Pc* pc,
                   std::string* error) {
    *pc = Pc{};
    long clashLine = 0;
    std::string shifted = ShiftRanges(text, true, &clashLine);
    if (clashLine) {
        *error = sourceName + ":" + std::to_string(clashLine) +
                 ": the private use characters U+E000 to U+EFFF are not allowed";
        return false;
    }
    try {
        toml::table root = toml::parse(shifted, sourceName);
        ReadScenario(root, *pc);
        return true;
    } catch (const toml::parse_error& e) {
        *error = sourceName + ":" + std::to_string(e.source().begin.line) + ": " +
                 ShiftRanges(e.description(), false);
    } catch (const ScenarioError& e) {
        *error = sourceName + ":" + std::to_string(e.line) + ": " + e.message;
    }
    return false;
}

bool LoadScenario(const std::string& path, Pc* pc, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = path + ": cannot be read";
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return ParseScenario(text.str(), path, pc, error);
}

std::string ClockText(uint64_t ms) {
    CivilTime t = CivilFromMs(ms);
    char text[48];
    snprintf(text, sizeof(text), "%04ld-%02u-%02uT%02u:%02u:%02u.%03uZ", (long)t.year, t.month,
             t.day, t.hour, t.minute, t.second, t.millisecond);
    return text;
}

std::string QuoteBasic(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\u%04X", c);
            out += escape;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

} // namespace sim
