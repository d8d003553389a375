#include "sim/pc.h"
#include "sim/scheduler.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace sim {

static World g_world;

World& CurrentWorld() {
    return g_world;
}

void ResetWorld(const Pc& pc) {
    Pc copy = pc; // pc may be the world's own, as when a second run follows a first
    bool tracing = g_world.tracing;
    g_world = World{};
    g_world.pc = std::move(copy);
    g_world.tracing = tracing;
}

unsigned char LowerCp1252(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return (unsigned char)(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return (unsigned char)(c + 0x20);
    switch (c) {
    case 0x8A:
        return 0x9A;
    case 0x8C:
        return 0x9C;
    case 0x8E:
        return 0x9E;
    case 0x9F:
        return 0xFF;
    }
    return c;
}

bool KnownCodePage(unsigned codePage) {
    return codePage == 1252 || codePage == 932 || codePage == 936;
}

bool IsLeadByte(unsigned codePage, unsigned char c) {
    if (codePage == 932)
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (codePage == 936)
        return c >= 0x81 && c <= 0xFE;
    return false;
}

static bool IsTrailByte(unsigned codePage, unsigned char c) {
    unsigned char last = codePage == 932 ? 0xFC : 0xFE;
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= last);
}

// The full-width Latin capitals: lead byte and the trail bytes of A to Z, and how far their
// small forms lie.
struct FullWidthCapitals {
    unsigned char lead, first, last, offset;
};

static void AppendLoweredPair(unsigned codePage, unsigned char lead, unsigned char trail,
                              std::string* out) {
    FullWidthCapitals capitals = codePage == 932 ? FullWidthCapitals{0x82, 0x60, 0x79, 0x21}
                                                 : FullWidthCapitals{0xA3, 0xC1, 0xDA, 0x20};
    if (lead == capitals.lead && trail >= capitals.first && trail <= capitals.last)
        trail = (unsigned char)(trail + capitals.offset);
    *out += (char)lead;
    *out += (char)trail;
}

std::string LowerByCodePage(unsigned codePage, const std::string& text) {
    if (!IsLeadByte(codePage, 0x81))
        return Lower(text);
    std::string out;
    out.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = (unsigned char)text[i];
        if (!IsLeadByte(codePage, c)) {
            out += (char)(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
        } else if (i + 1 < text.size() && IsTrailByte(codePage, (unsigned char)text[i + 1])) {
            AppendLoweredPair(codePage, c, (unsigned char)text[i + 1], &out);
            ++i;
        } else {
            // A lead byte without its trail: the code page's default character.
            out += codePage == 932 ? std::string("\x81\x45") : std::string("?");
        }
    }
    return out;
}

std::string LowerDiskPath(const std::string& path) {
    return LowerByCodePage(g_world.pc.ansiCodePage, path);
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = (char)LowerCp1252((unsigned char)c);
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return text;
}

std::string EnumKeyPath(const std::string& instanceId) {
    return "SYSTEM\\CurrentControlSet\\Enum\\" + instanceId;
}

std::string GuidText(const GUID& g) {
    char text[40];
    snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             (unsigned)g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
             g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool ParseGuid(const std::string& text, GUID* guid) {
    unsigned d1, d2, d3, b[8];
    int end = 0;
    if (text.size() != 38 ||
        sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &d1, &d2, &d3, &b[0],
               &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &end) != 11 ||
        end != 38)
        return false;
    guid->Data1 = d1;
    guid->Data2 = (USHORT)d2;
    guid->Data3 = (USHORT)d3;
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = (UCHAR)b[i];
    return true;
}

void SetService(Pc& pc, const std::string& instanceId, const std::string& service) {
    std::string path = EnumKeyPath(instanceId);
    RegKey& key = pc.registry[Lower(path)];
    if (key.path.empty())
        key.path = path;
    RegValue& value = key.values["service"];
    value.type = REG_SZ;
    value.data.assign(service.begin(), service.end());
    value.data.push_back(0);
}

std::string SerialOf(const std::string& instanceId) {
    return instanceId.size() > 22 ? instanceId.substr(22) : std::string();
}

const char* ResourceName(Resource kind) {
    switch (kind) {
    case Resource::Set:
        return "device-information set";
    case Resource::Handle:
        return "handle";
    case Resource::Key:
        return "registry key";
    case Resource::Library:
        return "library";
    case Resource::Block:
        return "memory block";
    case Resource::File:
        return "file";
    }
    return "resource";
}

// A call's record from its traced form, which every call of the sim writes as
// "Function(args) = result", "Function(args)" or "function args = result".
static CallRecord RecordOfCall(uint64_t atMs, const char* thread, const std::string& call) {
    CallRecord record;
    record.atMs = atMs;
    record.thread = thread;
    size_t name = call.find_first_of("( ");
    record.function = call.substr(0, name);
    if (name == std::string::npos)
        return record;
    size_t argsEnd;
    if (call[name] == '(') {
        // The arguments end at the parenthesis that closes the first one; quoted text (an ID,
        // a path) may hold parentheses of its own.
        int depth = 0;
        bool quoted = false;
        for (argsEnd = name; argsEnd < call.size(); ++argsEnd) {
            char c = call[argsEnd];
            quoted = c == '"' ? !quoted : quoted;
            depth += quoted ? 0 : c == '(' ? 1 : c == ')' ? -1 : 0;
            if (depth == 0)
                break;
        }
        record.args = call.substr(name + 1, argsEnd - name - 1);
        ++argsEnd;
    } else {
        argsEnd = call.find(" = ", name);
        record.args =
            call.substr(name + 1, argsEnd == std::string::npos ? argsEnd : argsEnd - name - 1);
    }
    if (argsEnd < call.size() && call.compare(argsEnd, 3, " = ") == 0)
        record.result = call.substr(argsEnd + 3);
    return record;
}

void Trace(const char* format, ...) {
    if (!g_world.tracing)
        return;
    char text[4096];
    int prefix = snprintf(text, sizeof(text), "%8llu ms %-8s ", (unsigned long long)g_world.nowMs,
                          CurrentThreadName());
    va_list args;
    va_start(args, format);
    vsnprintf(text + prefix, sizeof(text) - (size_t)prefix, format, args);
    va_end(args);
    g_world.trace.emplace_back(text);
    g_world.calls.push_back(RecordOfCall(g_world.nowMs, CurrentThreadName(), text + prefix));
}

uintptr_t NewHandleValue() {
    uintptr_t value = g_world.nextHandle;
    g_world.nextHandle += 4;
    return value;
}

void LedgerOpen(uintptr_t id, Resource kind, const std::string& what) {
    g_world.ledger[id] = LedgerEntry{kind, what, g_world.nowMs};
}

bool LedgerHas(uintptr_t id, Resource kind) {
    auto it = g_world.ledger.find(id);
    return it != g_world.ledger.end() && it->second.kind == kind;
}

bool LedgerClose(uintptr_t id, Resource kind) {
    auto it = g_world.ledger.find(id);
    if (it == g_world.ledger.end() || it->second.kind != kind) {
        char text[128];
        snprintf(text, sizeof(text), "release of an unknown %s %#llx at %llu ms",
                 ResourceName(kind), (unsigned long long)id, (unsigned long long)g_world.nowMs);
        g_world.violations.emplace_back(text);
        return false;
    }
    g_world.ledger.erase(it);
    return true;
}

std::vector<std::string> LedgerReport() {
    std::vector<std::string> lines;
    for (const auto& [id, entry] : g_world.ledger) {
        char text[512];
        snprintf(text, sizeof(text), "%s %#llx (%s) still open, since %llu ms",
                 ResourceName(entry.kind), (unsigned long long)id, entry.what.c_str(),
                 (unsigned long long)entry.atMs);
        lines.emplace_back(text);
    }
    for (const std::string& violation : g_world.violations)
        lines.push_back(violation);
    return lines;
}

bool LedgerIsClean() {
    return g_world.ledger.empty() && g_world.violations.empty();
}

} // namespace sim
