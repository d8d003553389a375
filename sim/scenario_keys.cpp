// Every key a scenario file may hold, by table, each with its meaning, how the parser reads it
// into the PC and how a PC is printed back as a scenario. The parser, the printer (the
// reliability runner's printed PCs) and the docs' key index all come from these rows, so a new
// scriptable call adds its rows here and touches no other scenario code.
#include "sim/scenario_keys.h"

#include "sim/calendar.h"
#include "sim/scenario.h"

#include <cstdio>
#include <optional>

namespace sim {
namespace {

// ---- What a table is read into before it is checked and put into the PC -----------------------
struct ShortPathDraft {
    std::string longPath, shortPath;
};

struct ClassDraft {
    SetupClass setupClass;
    bool hasGuid = false;
    const toml::node* devices = nullptr; // read once the class itself is known to be whole
};

struct DeviceDraft {
    Device device;
    std::string keyState = "present";
    LSTATUS keyOpenError = 0;
    std::optional<std::string> service{};
    std::optional<std::pair<std::string, RegValue>> serviceValue{};
};

struct RegValueDraft {
    std::string name;
    RegValue value;
    bool hasData = false;
};

struct RegistryDraft {
    std::string path;
    std::optional<LSTATUS> openError;
    std::vector<std::pair<std::string, RegValue>> values;
};

struct FileDraft {
    std::string path, content;
};

// ---- Values of particular keys -----------------------------------------------------------------
std::string Quote(const std::string& text) {
    return QuoteBasic(text);
}

template <typename T> std::string NotPrinted(const T&, const Pc&) {
    return "";
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

std::vector<DWORD> Codes(const toml::node& node, const std::string& what) {
    return Array<DWORD>(node, what, [&](const toml::node& item) { return Code(item, what); });
}

std::vector<std::string> CodeTexts(const std::vector<DWORD>& codes) {
    std::vector<std::string> texts;
    for (DWORD code : codes)
        texts.push_back(CodeText(code));
    return texts;
}

uint64_t ReadClock(const toml::node& node) {
    std::string text = String(node, "clock");
    int year, month, day, hour, minute, second, millis = 0, end = 0;
    if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour, &minute,
               &second, &millis, &end) != 7 ||
        (size_t)end != text.size() || year < 1970 || year > 9999 || month < 1 || month > 12 ||
        day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        Throw(node, "clock must be a UTC time like \"2009-06-05T09:04:07.012Z\", from 1970 on");
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

std::string TimeZoneText(int minutes) {
    int offset = minutes < 0 ? -minutes : minutes;
    char zone[16];
    snprintf(zone, sizeof(zone), "\"%c%02d:%02d\"", minutes < 0 ? '-' : '+', offset / 60,
             offset % 60);
    return zone;
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

// Environment variables, NAME = "value", by upper-cased name (Windows ignores their case).
void ReadVariables(const toml::node& node, const std::string& where,
                   std::map<std::string, std::string>* variables) {
    const toml::table* table = node.as_table();
    if (table == nullptr)
        Throw(node, where + " must be a table of NAME = \"value\"");
    for (auto&& [key, value] : *table)
        (*variables)[Upper(std::string(key.str()))] = String(value, std::string(key.str()));
}

// A variable's name as a TOML key: bare when TOML allows it, quoted otherwise ("MY VAR").
std::string VariableKey(const std::string& name) {
    bool bare = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
    return bare ? name : Quote(name);
}

std::string PrintVariables(const std::string& header,
                           const std::map<std::string, std::string>& variables) {
    std::string text = "\n" + header + "\n";
    for (const auto& [name, value] : variables)
        text += VariableKey(name) + " = " + Quote(value) + "\n";
    return text;
}

RegKey& KeyFor(Pc& pc, const std::string& path) {
    RegKey& key = pc.registry[Lower(path)];
    if (key.path.empty())
        key.path = path;
    return key;
}

// ---- Outcomes: a disk's replies and the installer's results ------------------------------------
const TableRule<Outcome>& DiskReplyRule() {
    static const TableRule<Outcome> rule = {
        "a disk reply",
        {{"error", "the request fails with this code",
          [](const toml::node& n, Outcome& o, Pc&) { o.error = Code(n, "replies.error"); },
          [](const Outcome& o, const Pc&) { return CodeText(o.error); }},
         {"ms", "virtual time the request takes",
          [](const toml::node& n, Outcome& o, Pc&) { o.ms = Millis(n, "replies.ms"); },
          [](const Outcome& o, const Pc&) { return o.ms ? Number(o.ms) : ""; }},
         {"vanish", "the disk goes away (ERROR_DEV_NOT_EXIST)",
          [](const toml::node& n, Outcome& o, Pc&) { o.vanish = Bool(n, "replies.vanish"); },
          [](const Outcome& o, const Pc&) { return o.vanish ? BoolText(true) : ""; }},
         {"status", "the ScsiStatus of an accepted request",
          [](const toml::node& n, Outcome& o, Pc&) {
              o.scsiStatus = (UCHAR)Integer(n, "replies.status", 0, 255);
          },
          [](const Outcome& o, const Pc&) { return o.scsiStatus ? Number(o.scsiStatus) : ""; }}}};
    return rule;
}

const TableRule<Outcome>& InstallOutcomeRule() {
    static const TableRule<Outcome> rule = {
        "an install outcome",
        {{"error", "the call fails with this code",
          [](const toml::node& n, Outcome& o, Pc&) { o.error = Code(n, "outcomes.error"); },
          [](const Outcome& o, const Pc&) { return CodeText(o.error); }},
         {"ms", "virtual time the call takes",
          [](const toml::node& n, Outcome& o, Pc&) { o.ms = Millis(n, "outcomes.ms"); },
          [](const Outcome& o, const Pc&) { return o.ms ? Number(o.ms) : ""; }},
         {"reboot", "the install asks for a restart",
          [](const toml::node& n, Outcome& o, Pc&) { o.reboot = Bool(n, "outcomes.reboot"); },
          [](const Outcome& o, const Pc&) { return o.reboot ? BoolText(true) : ""; }}}};
    return rule;
}

// An outcome: "ok"/"accept", an error code, "vanish" or "reboot", or a table of the rule's keys.
Outcome ReadOutcome(const toml::node& node, const std::string& what, bool isDiskReply, Pc& pc) {
    Outcome outcome;
    if (node.is_string()) {
        std::string word = String(node, what);
        if (word == "ok" || word == "accept")
            return outcome;
        if (word == "vanish" && isDiskReply) {
            outcome.vanish = true;
            return outcome;
        }
        if (word == "reboot" && !isDiskReply) {
            outcome.reboot = true;
            return outcome;
        }
        Throw(node, what + ": unknown outcome '" + word + "' (use \"ok\"" +
                        (isDiskReply ? ", \"accept\", \"vanish\"" : ", \"reboot\"") +
                        " or an error code)");
    }
    if (node.is_integer()) {
        outcome.error = Code(node, what);
        return outcome;
    }
    ReadTable(node, what, isDiskReply ? DiskReplyRule() : InstallOutcomeRule(), outcome, pc);
    return outcome;
}

// A plain success or failure is written short, "ok" or its code.
std::string OutcomeText(const Outcome& o, const TableRule<Outcome>& rule, const Pc& pc) {
    if (!o.ms && !o.vanish && !o.scsiStatus && !o.reboot)
        return o.error ? CodeText(o.error) : "\"ok\"";
    return PrintInline(rule, o, pc);
}

std::string OutcomeList(const std::vector<Outcome>& outcomes, const TableRule<Outcome>& rule,
                        const Pc& pc) {
    std::vector<std::string> texts;
    for (const Outcome& o : outcomes)
        texts.push_back(OutcomeText(o, rule, pc));
    return ListText(texts);
}

// ---- Registry values and keys ------------------------------------------------------------------
// A registry value: { name, type, string | hex | dword }. A string is stored with its zero.
const TableRule<RegValueDraft>& RegValueRule() {
    static const TableRule<RegValueDraft> rule = {
        "a registry value",
        {{"name", "the value's name",
          [](const toml::node& n, RegValueDraft& v, Pc&) { v.name = String(n, "name"); },
          [](const RegValueDraft& v, const Pc&) { return Quote(v.name); }},
         {"type", "REG_SZ, REG_DWORD, ... or a number",
          [](const toml::node& n, RegValueDraft& v, Pc&) { v.value.type = ReadRegType(n); },
          [](const RegValueDraft& v, const Pc&) { return Number(v.value.type); }},
         {"string", "text, stored with its zero",
          [](const toml::node& n, RegValueDraft& v, Pc&) {
              std::string text = String(n, "string");
              v.value.data.assign(text.begin(), text.end());
              v.value.data.push_back(0);
              v.hasData = true;
          },
          NotPrinted<RegValueDraft>},
         {"hex", "exactly these bytes",
          [](const toml::node& n, RegValueDraft& v, Pc&) {
              v.value.data = ReadHex(n, "hex");
              v.hasData = true;
          },
          [](const RegValueDraft& v, const Pc&) { return "\"" + HexText(v.value.data) + "\""; }},
         {"dword", "a 32-bit number",
          [](const toml::node& n, RegValueDraft& v, Pc&) {
              DWORD d = Code(n, "dword");
              v.value.data = {(uint8_t)d, (uint8_t)(d >> 8), (uint8_t)(d >> 16),
                              (uint8_t)(d >> 24)};
              v.hasData = true;
          },
          NotPrinted<RegValueDraft>}}};
    return rule;
}

std::pair<std::string, RegValue> ReadRegValue(const toml::node& node, const std::string& where,
                                              Pc& pc, const std::string& defaultName = "") {
    RegValueDraft draft{defaultName, {}, false};
    ReadTable(node, where, RegValueRule(), draft, pc);
    if (draft.name.empty())
        Throw(node, where + " needs a name");
    if (!draft.hasData)
        Throw(node, where + " needs one of string, hex or dword");
    return {draft.name, draft.value};
}

const TableRule<RegistryDraft>& RegistryRule() {
    static const TableRule<RegistryDraft> rule = {
        "[[registry]]",
        {{"path", "the key below HKEY_LOCAL_MACHINE (required)",
          [](const toml::node& n, RegistryDraft& r, Pc&) { r.path = String(n, "path"); },
          [](const RegistryDraft& r, const Pc&) { return Quote(r.path); }},
         {"open_error", "opening it fails with this code",
          [](const toml::node& n, RegistryDraft& r, Pc&) {
              r.openError = (LSTATUS)Code(n, "open_error");
          },
          [](const RegistryDraft& r, const Pc&) {
              return r.openError.value_or(0) ? CodeText((DWORD)*r.openError) : "";
          }},
         {"values", "its values, each as a registry value",
          [](const toml::node& n, RegistryDraft& r, Pc& pc) {
              r.values =
                  Array<std::pair<std::string, RegValue>>(n, "values", [&](const toml::node& item) {
                      return ReadRegValue(item, "values", pc);
                  });
          },
          [](const RegistryDraft& r, const Pc& pc) {
              std::vector<std::string> texts;
              for (const auto& [name, value] : r.values)
                  texts.push_back(
                      PrintInline(RegValueRule(), RegValueDraft{name, value, true}, pc));
              return ListText(texts);
          }}}};
    return rule;
}

void ReadRegistryKey(const toml::node& node, Pc& pc) {
    RegistryDraft draft;
    ReadTable(node, "[[registry]]", RegistryRule(), draft, pc);
    if (draft.path.empty())
        Throw(node, "[[registry]] needs a path");
    RegKey& key = KeyFor(pc, draft.path);
    if (draft.openError)
        key.openError = *draft.openError;
    for (auto& [name, value] : draft.values)
        key.values[Lower(name)] = value;
}

std::string PrintRegistry(const Pc& pc) {
    std::string text;
    for (const auto& [lowerPath, key] : pc.registry) {
        RegistryDraft draft{key.path, key.openError, {key.values.begin(), key.values.end()}};
        text += "\n[[registry]]\n" + PrintTable(RegistryRule(), draft, pc);
    }
    return text;
}

// ---- USB setup classes and their devices -------------------------------------------------------
const TableRule<DeviceDraft>& DeviceRule() {
    static const TableRule<DeviceDraft> rule = {
        "[[class.device]]",
        {{"id", "the device instance ID (required)",
          [](const toml::node& n, DeviceDraft& d, Pc&) { d.device.instanceId = String(n, "id"); },
          [](const DeviceDraft& d, const Pc&) { return Quote(d.device.instanceId); }},
         {"service", "the Service value as REG_SZ",
          [](const toml::node& n, DeviceDraft& d, Pc&) { d.service = String(n, "service"); },
          NotPrinted<DeviceDraft>}, // the device's key is printed with [[registry]]
         {"service_value", "the Service value of any type and length",
          [](const toml::node& n, DeviceDraft& d, Pc& pc) {
              d.serviceValue = ReadRegValue(n, "service_value", pc, "Service");
              if (Lower(d.serviceValue->first) != "service")
                  Throw(n, "service_value is the Service value: leave out its name");
          },
          NotPrinted<DeviceDraft>},
         {"key", "\"present\" or \"missing\": the device's Enum key",
          [](const toml::node& n, DeviceDraft& d, Pc&) {
              d.keyState = String(n, "key");
              if (d.keyState != "present" && d.keyState != "missing")
                  Throw(n, "key must be \"present\" or \"missing\"");
          },
          [](const DeviceDraft& d, const Pc& pc) {
              bool hasKey = pc.registry.count(Lower(EnumKeyPath(d.device.instanceId)));
              return hasKey ? std::string() : Quote("missing");
          }},
         {"key_open_error", "opening the Enum key fails with this code",
          [](const toml::node& n, DeviceDraft& d, Pc&) {
              d.keyOpenError = (LSTATUS)Code(n, "key_open_error");
          },
          NotPrinted<DeviceDraft>},
         {"after_enter", "present only once the tool has read stdin",
          [](const toml::node& n, DeviceDraft& d, Pc&) {
              d.device.afterEnter = Bool(n, "after_enter");
          },
          [](const DeviceDraft& d, const Pc&) {
              return d.device.afterEnter ? BoolText(true) : "";
          }},
         {"list_detail_fails", "reading the list details after it fails",
          [](const toml::node& n, DeviceDraft& d, Pc&) {
              d.device.listDetailFails = Bool(n, "list_detail_fails");
          },
          [](const DeviceDraft& d, const Pc&) {
              return d.device.listDetailFails ? BoolText(true) : "";
          }},
         {"id_result", "what CM_Get_Device_ID_ExA returns for it",
          [](const toml::node& n, DeviceDraft& d, Pc&) {
              d.device.idResult = Code(n, "id_result");
          },
          [](const DeviceDraft& d, const Pc&) {
              return d.device.idResult ? CodeText(d.device.idResult) : "";
          }},
         {"adb", "a phone's ADB interface is on at the start",
          [](const toml::node& n, DeviceDraft& d, Pc&) { d.device.adbOn = Bool(n, "adb"); },
          [](const DeviceDraft& d, const Pc&) { return d.device.adbOn ? BoolText(true) : ""; }}}};
    return rule;
}

void ReadDevice(const toml::node& node, Pc& pc, SetupClass& setupClass) {
    DeviceDraft d;
    ReadTable(node, "[[class.device]]", DeviceRule(), d, pc);
    if (d.device.instanceId.empty())
        Throw(node, "[[class.device]] needs an id");
    if (d.keyState == "present") {
        RegKey& key = KeyFor(pc, EnumKeyPath(d.device.instanceId));
        key.openError = d.keyOpenError;
        if (d.service)
            SetService(pc, d.device.instanceId, *d.service);
        if (d.serviceValue)
            key.values["service"] = d.serviceValue->second;
    } else if (d.service || d.serviceValue || d.keyOpenError) {
        Throw(node, "a device with key = \"missing\" cannot have a service");
    }
    setupClass.devices.push_back(d.device);
}

const TableRule<ClassDraft>& ClassRule() {
    static const TableRule<ClassDraft> rule = {
        "[[class]]",
        {{"guid", "the class GUID (required)",
          [](const toml::node& n, ClassDraft& c, Pc&) {
              if (!ParseGuid(String(n, "guid"), &c.setupClass.guid))
                  Throw(n, "guid must look like {36FC9E60-C465-11CF-8056-444553540000}");
              c.hasGuid = true;
          },
          [](const ClassDraft& c, const Pc&) { return Quote(GuidText(c.setupClass.guid)); }},
         {"name", "the class name",
          [](const toml::node& n, ClassDraft& c, Pc&) { c.setupClass.name = String(n, "name"); },
          [](const ClassDraft& c, const Pc&) { return Quote(c.setupClass.name); }},
         {"set_error", "making the class's device set fails with this code",
          [](const toml::node& n, ClassDraft& c, Pc&) {
              c.setupClass.setError = Code(n, "set_error");
          },
          [](const ClassDraft& c, const Pc&) {
              return c.setupClass.setError ? CodeText(c.setupClass.setError) : "";
          }},
         {"enum_fails_at", "SetupDiEnumDeviceInfo fails at this member index",
          [](const toml::node& n, ClassDraft& c, Pc&) {
              c.setupClass.enumFailsAt = (int)Integer(n, "enum_fails_at", 0, 1 << 20);
          },
          [](const ClassDraft& c, const Pc&) {
              return c.setupClass.enumFailsAt >= 0 ? Number(c.setupClass.enumFailsAt) : "";
          }},
         {"enum_error", "the code of that failure",
          [](const toml::node& n, ClassDraft& c, Pc&) {
              c.setupClass.enumError = Code(n, "enum_error");
          },
          [](const ClassDraft& c, const Pc&) {
              return c.setupClass.enumFailsAt >= 0 ? CodeText(c.setupClass.enumError) : "";
          }},
         {"device", "present devices, [[class.device]]",
          [](const toml::node& n, ClassDraft& c, Pc&) { c.devices = &n; },
          [](const ClassDraft& c, const Pc& pc) {
              std::string text;
              for (const Device& device : c.setupClass.devices)
                  text += "\n  [[class.device]]\n" +
                          PrintTable(DeviceRule(), DeviceDraft{device}, pc, "  ");
              return text;
          },
          kSection}}};
    return rule;
}

void ReadClass(const toml::node& node, Pc& pc) {
    ClassDraft c;
    ReadTable(node, "[[class]]", ClassRule(), c, pc);
    if (!c.hasGuid)
        Throw(node, "[[class]] needs a guid");
    if (c.devices)
        EachTable(*c.devices, "device", "[[class.device]]",
                  [&](const toml::node& device) { ReadDevice(device, pc, c.setupClass); });
    pc.classes.push_back(std::move(c.setupClass));
}

// ---- Disks -------------------------------------------------------------------------------------
const TableRule<Disk>& DiskRule() {
    static const TableRule<Disk> rule = {
        "[[disk]]",
        {{"path", "the interface's device path (required)",
          [](const toml::node& n, Disk& d, Pc&) { d.path = String(n, "path"); },
          [](const Disk& d, const Pc&) { return Quote(d.path); }},
         {"phone", "the serial of the phone behind the disk",
          [](const toml::node& n, Disk& d, Pc&) { d.phoneSerial = String(n, "phone"); },
          [](const Disk& d, const Pc&) {
              return d.phoneSerial.empty() ? "" : Quote(d.phoneSerial);
          }},
         {"present_from_ms", "the disk shows up at this virtual time",
          [](const toml::node& n, Disk& d, Pc&) { d.presentFromMs = Millis(n, "present_from_ms"); },
          [](const Disk& d, const Pc&) { return d.presentFromMs ? Number(d.presentFromMs) : ""; }},
         {"present_until_ms", "the disk is gone from this virtual time on",
          [](const toml::node& n, Disk& d, Pc&) {
              d.presentUntilMs = Millis(n, "present_until_ms");
          },
          [](const Disk& d, const Pc&) {
              return d.presentUntilMs != UINT64_MAX ? Number(d.presentUntilMs) : "";
          }},
         {"open_error", "CreateFileA on the path fails with this code",
          [](const toml::node& n, Disk& d, Pc&) { d.openError = Code(n, "open_error"); },
          [](const Disk& d, const Pc&) { return d.openError ? CodeText(d.openError) : ""; }},
         {"replies", "the disk's answers to the requests, in order",
          [](const toml::node& n, Disk& d, Pc& pc) {
              d.replies = Array<Outcome>(n, "replies", [&](const toml::node& item) {
                  return ReadOutcome(item, "replies", true, pc);
              });
          },
          [](const Disk& d, const Pc& pc) {
              return d.replies.empty() ? "" : OutcomeList(d.replies, DiskReplyRule(), pc);
          }}}};
    return rule;
}

void ReadDisk(const toml::node& node, Pc& pc) {
    Disk disk;
    ReadTable(node, "[[disk]]", DiskRule(), disk, pc);
    if (disk.path.empty())
        Throw(node, "[[disk]] needs a path");
    pc.disks.push_back(std::move(disk));
}

const TableRule<Pc>& DisksRule() {
    static const TableRule<Pc> rule = {
        "[disks]",
        {{"set_errors", "the first disk-interface sets fail, one code per call",
          [](const toml::node& n, Pc& pc, Pc&) { pc.diskSetErrors = Codes(n, "set_errors"); },
          [](const Pc& pc, const Pc&) { return ListText(CodeTexts(pc.diskSetErrors)); }},
         {"enum_fails_at", "SetupDiEnumDeviceInterfaces fails at this index",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.diskEnumFailsAt = (int)Integer(n, "enum_fails_at", 0, 1 << 20);
          },
          [](const Pc& pc, const Pc&) {
              return pc.diskEnumFailsAt >= 0 ? Number(pc.diskEnumFailsAt) : "";
          }},
         {"detail_fails_at", "SetupDiGetDeviceInterfaceDetailA fails at this index",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.diskDetailFailsAt = (int)Integer(n, "detail_fails_at", 0, 1 << 20);
          },
          [](const Pc& pc, const Pc&) {
              return pc.diskDetailFailsAt >= 0 ? Number(pc.diskDetailFailsAt) : "";
          }},
         {"fail_error", "the code of those two failures",
          [](const toml::node& n, Pc& pc, Pc&) { pc.diskFailError = Code(n, "fail_error"); },
          [](const Pc& pc, const Pc&) { return CodeText(pc.diskFailError); }}}};
    return rule;
}

// ---- The installer -----------------------------------------------------------------------------
const TableRule<Installer>& InstallerRule() {
    static const TableRule<Installer> rule = {
        "[installer]",
        {{"load_error", "LoadLibraryA(\"newdev.dll\") fails with this code",
          [](const toml::node& n, Installer& in, Pc&) { in.loadError = Code(n, "load_error"); },
          [](const Installer& in, const Pc&) { return CodeText(in.loadError); }},
         {"export_error", "GetProcAddress finds no export, with this code",
          [](const toml::node& n, Installer& in, Pc&) { in.exportError = Code(n, "export_error"); },
          [](const Installer& in, const Pc&) { return CodeText(in.exportError); }},
         {"fail_while_adb_off", "install calls fail while the phone's ADB is off",
          [](const toml::node& n, Installer& in, Pc&) {
              in.failWhileAdbOff = Code(n, "fail_while_adb_off");
          },
          [](const Installer& in, const Pc&) { return CodeText(in.failWhileAdbOff); }},
         {"ms", "virtual time of every install call without its own",
          [](const toml::node& n, Installer& in, Pc&) { in.ms = Millis(n, "ms"); },
          [](const Installer& in, const Pc&) { return Number(in.ms); }},
         {"outcomes", "one per install call, in order",
          [](const toml::node& n, Installer& in, Pc& pc) {
              in.outcomes = Array<Outcome>(n, "outcomes", [&](const toml::node& item) {
                  return ReadOutcome(item, "outcomes", false, pc);
              });
          },
          [](const Installer& in, const Pc& pc) {
              return OutcomeList(in.outcomes, InstallOutcomeRule(), pc);
          }}}};
    return rule;
}

// ---- The rest of the PC: system, console, input, faults ----------------------------------------
const TableRule<ShortPathDraft>& ShortPathRule() {
    static const TableRule<ShortPathDraft> rule = {
        "[[short_path]]",
        {{"long", "a long path",
          [](const toml::node& n, ShortPathDraft& s, Pc&) { s.longPath = String(n, "long"); },
          [](const ShortPathDraft& s, const Pc&) { return Quote(s.longPath); }},
         {"short", "its short (8.3) form",
          [](const toml::node& n, ShortPathDraft& s, Pc&) { s.shortPath = String(n, "short"); },
          [](const ShortPathDraft& s, const Pc&) { return Quote(s.shortPath); }}}};
    return rule;
}

const TableRule<Pc>& SystemRule() {
    static const TableRule<Pc> rule = {
        "[system]",
        {{"windows_version", "the version, \"10.0\"",
          [](const toml::node& n, Pc& pc, Pc&) {
              std::string text = String(n, "windows_version");
              unsigned major, minor;
              int end = 0;
              if (sscanf(text.c_str(), "%u.%u%n", &major, &minor, &end) != 2 ||
                  (size_t)end != text.size())
                  Throw(n, "windows_version must look like \"10.0\"");
              pc.windowsMajor = major;
              pc.windowsMinor = minor;
          },
          [](const Pc& pc, const Pc&) {
              return "\"" + Number(pc.windowsMajor) + "." + Number(pc.windowsMinor) + "\"";
          }},
         {"windows_build", "the build number",
          [](const toml::node& n, Pc& pc, Pc&) { pc.windowsBuild = Code(n, "windows_build"); },
          [](const Pc& pc, const Pc&) { return Number(pc.windowsBuild); }},
         {"elevated", "the process runs as an administrator",
          [](const toml::node& n, Pc& pc, Pc&) { pc.elevated = Bool(n, "elevated"); },
          [](const Pc& pc, const Pc&) { return BoolText(pc.elevated); }},
         {"architecture", "\"i686\" or \"x86_64\"",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.architecture = String(n, "architecture");
              if (pc.architecture != "i686" && pc.architecture != "x86_64")
                  Throw(n, "architecture must be \"i686\" or \"x86_64\"");
          },
          [](const Pc& pc, const Pc&) { return Quote(pc.architecture); }}}};
    return rule;
}

const TableRule<Pc>& ConsoleRule() {
    static const TableRule<Pc> rule = {
        "[console]",
        {{"processes", "how many processes share the console",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.consoleProcesses = (DWORD)Integer(n, "processes", 0, 1000);
          },
          [](const Pc& pc, const Pc&) { return Number(pc.consoleProcesses); }}}};
    return rule;
}

const TableRule<Pc>& StdinRule() {
    static const TableRule<Pc> rule = {
        "[stdin]",
        {{"at_end", "standard input is at its end",
          [](const toml::node& n, Pc& pc, Pc&) { pc.stdinAtEnd = Bool(n, "at_end"); },
          [](const Pc& pc, const Pc&) { return BoolText(pc.stdinAtEnd); }},
         {"redirected", "standard input is a file or pipe, not the console",
          [](const toml::node& n, Pc& pc, Pc&) { pc.stdinRedirected = Bool(n, "redirected"); },
          [](const Pc& pc, const Pc&) { return pc.stdinRedirected ? BoolText(true) : ""; }},
         {"line", "what the user types",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.stdinLine = String(n, "line");
              pc.stdinAtEnd = false;
          },
          [](const Pc& pc, const Pc&) { return pc.stdinAtEnd ? "" : Quote(pc.stdinLine); }},
         {"after_ms", "virtual time the user takes before typing",
          [](const toml::node& n, Pc& pc, Pc&) { pc.stdinAfterMs = Millis(n, "after_ms"); },
          [](const Pc& pc, const Pc&) { return pc.stdinAfterMs ? Number(pc.stdinAfterMs) : ""; }}}};
    return rule;
}

const TableRule<LookupFault>& LookupFaultRule() {
    static const TableRule<LookupFault> rule = {
        "a class lookup fault",
        {{"error", "the lookup's error code",
          [](const toml::node& n, LookupFault& f, Pc&) { f.error = Code(n, "error"); },
          [](const LookupFault& f, const Pc&) { return CodeText(f.error); }},
         {"count", "the required size it reports",
          [](const toml::node& n, LookupFault& f, Pc&) { f.count = Code(n, "count"); },
          [](const LookupFault& f, const Pc&) { return CodeText(f.count); }}}};
    return rule;
}

const TableRule<Pc>& ClassLookupRule() {
    static const TableRule<Pc> rule = {
        "[class_lookup]",
        {{"faults", "the first lookups fail, one fault per call",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.lookupFaults = Array<LookupFault>(n, "faults", [&](const toml::node& item) {
                  LookupFault fault;
                  ReadTable(item, "a class lookup fault", LookupFaultRule(), fault, pc);
                  return fault;
              });
          },
          [](const Pc& pc, const Pc&) {
              std::string text = "[";
              for (size_t i = 0; i < pc.lookupFaults.size(); ++i)
                  text += (i ? ", " : " ") + PrintInline(LookupFaultRule(), pc.lookupFaults[i], pc);
              return text + " ]";
          }}}};
    return rule;
}

const TableRule<Pc>& MemoryRule() {
    static const TableRule<Pc> rule = {
        "[memory]",
        {{"limit", "larger blocks fail",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.allocLimit = (SIZE_T)Integer(n, "limit", 0, 1LL << 40);
          },
          [](const Pc& pc, const Pc&) { return Number(pc.allocLimit); }},
         {"fail_allocs", "these GlobalAlloc calls (from 1) fail",
          [](const toml::node& n, Pc& pc, Pc&) {
              for (DWORD call : Codes(n, "fail_allocs"))
                  pc.failAllocs.insert(call);
          },
          [](const Pc& pc, const Pc&) {
              std::vector<std::string> calls;
              for (unsigned call : pc.failAllocs)
                  calls.push_back(Number(call));
              return calls.empty() ? "" : ListText(calls);
          }}}};
    return rule;
}

const TableRule<Pc>& ThreadsRule() {
    static const TableRule<Pc> rule = {
        "[threads]",
        {{"create_fails", "the progress thread cannot be started",
          [](const toml::node& n, Pc& pc, Pc&) { pc.threadCreateFails = Bool(n, "create_fails"); },
          [](const Pc& pc, const Pc&) { return BoolText(pc.threadCreateFails); }}}};
    return rule;
}

const TableRule<Pc>& FsRule() {
    static const TableRule<Pc> rule = {
        "[fs]",
        {{"missing_folders", "files in these folders cannot be opened",
          [](const toml::node& n, Pc& pc, Pc&) {
              for (const std::string& folder :
                   Array<std::string>(n, "missing_folders", [](const toml::node& item) {
                       return String(item, "missing_folders");
                   }))
                  pc.missingFolders.insert(Lower(folder));
          },
          [](const Pc& pc, const Pc&) {
              std::vector<std::string> folders;
              for (const std::string& folder : pc.missingFolders)
                  folders.push_back(Quote(folder));
              return ListText(folders);
          }}}};
    return rule;
}

const TableRule<FileDraft>& FileRule() {
    static const TableRule<FileDraft> rule = {
        "[[file]]",
        {{"path", "the file's path (required)",
          [](const toml::node& n, FileDraft& f, Pc&) { f.path = String(n, "path"); },
          [](const FileDraft& f, const Pc&) { return Quote(f.path); }},
         {"content", "its bytes as stored",
          [](const toml::node& n, FileDraft& f, Pc&) { f.content = String(n, "content"); },
          [](const FileDraft& f, const Pc&) { return Quote(f.content); }}}};
    return rule;
}

// A section key whose table is read into the PC itself and always printed.
template <typename T>
std::string Section(const char* header, const TableRule<T>& rule, const T& from, const Pc& pc) {
    return "\n" + std::string(header) + "\n" + PrintTable(rule, from, pc);
}

// ---- The top level -----------------------------------------------------------------------------
const TableRule<Pc>& ScenarioRule() {
    static const TableRule<Pc> rule = {
        "top level",
        {{"name", "a title for people",
          [](const toml::node& n, Pc& pc, Pc&) { pc.name = String(n, "name"); },
          [](const Pc& pc, const Pc&) { return Quote(pc.name); }},
         {"clock", "the UTC time at virtual 0, from 1970 on",
          [](const toml::node& n, Pc& pc, Pc&) { pc.clockStartMs = ReadClock(n); },
          [](const Pc& pc, const Pc&) { return "\"" + ClockText(pc.clockStartMs) + "\""; }},
         {"time_zone", "the local time's offset from UTC",
          [](const toml::node& n, Pc& pc, Pc&) { pc.timeZoneMinutes = ReadTimeZone(n); },
          [](const Pc& pc, const Pc&) {
              return pc.timeZoneMinutes ? TimeZoneText(pc.timeZoneMinutes) : "";
          }},
         {"ansi_code_page", "the ANSI code page: 1252, 932 or 936",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.ansiCodePage = (unsigned)Integer(n, "ansi_code_page", 0, 65535);
              if (!KnownCodePage(pc.ansiCodePage))
                  Throw(n, "ansi_code_page must be 1252, 932 or 936");
          },
          [](const Pc& pc, const Pc&) {
              return pc.ansiCodePage != 1252 ? Number(pc.ansiCodePage) : "";
          }},
         {"windows_dir", "what GetWindowsDirectoryA returns",
          [](const toml::node& n, Pc& pc, Pc&) { pc.windowsDir = String(n, "windows_dir"); },
          [](const Pc& pc, const Pc&) { return Quote(pc.windowsDir); }},
         {"windows_dir_error", "GetWindowsDirectoryA fails with this code",
          [](const toml::node& n, Pc& pc, Pc&) {
              pc.windowsDirError = Code(n, "windows_dir_error");
          },
          [](const Pc& pc, const Pc&) {
              return pc.windowsDirError ? CodeText(pc.windowsDirError) : "";
          }},
         {"env", "the environment, [env] NAME = \"value\"",
          [](const toml::node& n, Pc& pc, Pc&) { ReadVariables(n, "[env]", &pc.env); },
          [](const Pc& pc, const Pc&) { return PrintVariables("[env]", pc.env); }, kSection},
         {"env_wide", "variables only the wide call sees, [env_wide]",
          [](const toml::node& n, Pc& pc, Pc&) { ReadVariables(n, "[env_wide]", &pc.envWide); },
          [](const Pc& pc, const Pc&) {
              return pc.envWide.empty() ? "" : PrintVariables("[env_wide]", pc.envWide);
          },
          kSection},
         {"short_path", "short forms of long paths, [[short_path]]",
          [](const toml::node& n, Pc& pc, Pc&) {
              EachTable(n, "short_path", "[[short_path]]", [&](const toml::node& item) {
                  ShortPathDraft s;
                  ReadTable(item, "[[short_path]]", ShortPathRule(), s, pc);
                  if (s.longPath.empty() || s.shortPath.empty())
                      Throw(item, "[[short_path]] needs long and short");
                  pc.shortPaths[s.longPath] = s.shortPath;
              });
          },
          [](const Pc& pc, const Pc&) {
              std::string text;
              for (const auto& [longPath, shortPath] : pc.shortPaths)
                  text += Section("[[short_path]]", ShortPathRule(),
                                  ShortPathDraft{longPath, shortPath}, pc);
              return text;
          },
          kSection},
         {"system", "Windows version, build, elevation, architecture, [system]",
          [](const toml::node& n, Pc& pc, Pc&) { ReadTable(n, "[system]", SystemRule(), pc, pc); },
          [](const Pc& pc, const Pc&) { return Section("[system]", SystemRule(), pc, pc); },
          kSection},
         {"console", "the console window, [console]",
          [](const toml::node& n, Pc& pc, Pc&) {
              ReadTable(n, "[console]", ConsoleRule(), pc, pc);
          },
          [](const Pc& pc, const Pc&) { return Section("[console]", ConsoleRule(), pc, pc); },
          kSection},
         {"stdin", "standard input, [stdin]",
          [](const toml::node& n, Pc& pc, Pc&) { ReadTable(n, "[stdin]", StdinRule(), pc, pc); },
          [](const Pc& pc, const Pc&) { return Section("[stdin]", StdinRule(), pc, pc); },
          kSection},
         {"class_lookup", "faults of the class lookup, [class_lookup]",
          [](const toml::node& n, Pc& pc, Pc&) {
              ReadTable(n, "[class_lookup]", ClassLookupRule(), pc, pc);
          },
          [](const Pc& pc, const Pc&) {
              return pc.lookupFaults.empty() ? ""
                                             : Section("[class_lookup]", ClassLookupRule(), pc, pc);
          },
          kSection},
         {"memory", "GlobalAlloc faults and limit, [memory]",
          [](const toml::node& n, Pc& pc, Pc&) { ReadTable(n, "[memory]", MemoryRule(), pc, pc); },
          [](const Pc& pc, const Pc&) { return Section("[memory]", MemoryRule(), pc, pc); },
          kSection},
         {"threads", "the progress thread, [threads]",
          [](const toml::node& n, Pc& pc, Pc&) {
              ReadTable(n, "[threads]", ThreadsRule(), pc, pc);
          },
          [](const Pc& pc, const Pc&) { return Section("[threads]", ThreadsRule(), pc, pc); },
          kSection},
         {"disks", "the disk-interface walk, [disks]",
          [](const toml::node& n, Pc& pc, Pc&) { ReadTable(n, "[disks]", DisksRule(), pc, pc); },
          [](const Pc& pc, const Pc&) { return Section("[disks]", DisksRule(), pc, pc); },
          kSection},
         {"installer", "newdev.dll and its installer, [installer]",
          [](const toml::node& n, Pc& pc, Pc&) {
              ReadTable(n, "[installer]", InstallerRule(), pc.installer, pc);
          },
          [](const Pc& pc, const Pc&) {
              return Section("[installer]", InstallerRule(), pc.installer, pc);
          },
          kSection},
         {"fs", "the file system, [fs]",
          [](const toml::node& n, Pc& pc, Pc&) { ReadTable(n, "[fs]", FsRule(), pc, pc); },
          [](const Pc& pc, const Pc&) {
              return pc.missingFolders.empty() ? "" : Section("[fs]", FsRule(), pc, pc);
          },
          kSection},
         {"class", "USB setup classes, [[class]]",
          [](const toml::node& n, Pc& pc, Pc&) {
              EachTable(n, "class", "[[class]]",
                        [&](const toml::node& item) { ReadClass(item, pc); });
          },
          [](const Pc& pc, const Pc&) {
              std::string text;
              for (const SetupClass& c : pc.classes)
                  text += Section("[[class]]", ClassRule(), ClassDraft{c}, pc);
              return text;
          },
          kSection},
         {"disk", "present disk interfaces, [[disk]]",
          [](const toml::node& n, Pc& pc, Pc&) {
              EachTable(n, "disk", "[[disk]]", [&](const toml::node& item) { ReadDisk(item, pc); });
          },
          [](const Pc& pc, const Pc&) {
              std::string text;
              for (const Disk& d : pc.disks)
                  text += Section("[[disk]]", DiskRule(), d, pc);
              return text;
          },
          kSection},
         {"registry", "registry keys, [[registry]]",
          [](const toml::node& n, Pc& pc, Pc&) {
              EachTable(n, "registry", "[[registry]]",
                        [&](const toml::node& item) { ReadRegistryKey(item, pc); });
          },
          [](const Pc& pc, const Pc&) { return PrintRegistry(pc); }, kSection},
         {"file", "files present at the start, [[file]]",
          [](const toml::node& n, Pc& pc, Pc&) {
              EachTable(n, "file", "[[file]]", [&](const toml::node& item) {
                  FileDraft f;
                  ReadTable(item, "[[file]]", FileRule(), f, pc);
                  if (f.path.empty())
                      Throw(item, "[[file]] needs a path");
                  pc.files[Lower(f.path)] = f.content;
              });
          },
          [](const Pc& pc, const Pc&) {
              std::string text;
              for (const auto& [path, content] : pc.files)
                  text += Section("[[file]]", FileRule(), FileDraft{path, content}, pc);
              return text;
          },
          kSection}}};
    return rule;
}

template <typename T> void AddKeys(const TableRule<T>& rule, std::vector<ScenarioKey>* keys) {
    for (const KeyRule<T>& k : rule.keys)
        keys->push_back({rule.name, k.key, k.meaning});
}

} // namespace

void ReadScenarioRoot(const toml::table& root, Pc& pc) {
    ReadTable(root, "the scenario", ScenarioRule(), pc, pc);
}

std::string PrintScenario(const Pc& pc) {
    return PrintTable(ScenarioRule(), pc, pc);
}

const std::vector<ScenarioKey>& ScenarioKeys() {
    static const std::vector<ScenarioKey> keys = [] {
        std::vector<ScenarioKey> all;
        AddKeys(ScenarioRule(), &all);
        AddKeys(ShortPathRule(), &all);
        AddKeys(SystemRule(), &all);
        AddKeys(ConsoleRule(), &all);
        AddKeys(StdinRule(), &all);
        AddKeys(ClassLookupRule(), &all);
        AddKeys(LookupFaultRule(), &all);
        AddKeys(MemoryRule(), &all);
        AddKeys(ThreadsRule(), &all);
        AddKeys(DisksRule(), &all);
        AddKeys(InstallerRule(), &all);
        AddKeys(InstallOutcomeRule(), &all);
        AddKeys(FsRule(), &all);
        AddKeys(ClassRule(), &all);
        AddKeys(DeviceRule(), &all);
        AddKeys(DiskRule(), &all);
        AddKeys(DiskReplyRule(), &all);
        AddKeys(RegistryRule(), &all);
        AddKeys(RegValueRule(), &all);
        AddKeys(FileRule(), &all);
        return all;
    }();
    return keys;
}

std::string ScenarioKeyIndex() {
    std::string text = "| table | key | meaning |\n|---|---|---|\n";
    for (const ScenarioKey& k : ScenarioKeys())
        text += "| " + std::string(k.table) + " | `" + k.key + "` | " + k.meaning + " |\n";
    return text;
}

} // namespace sim
