// Scenario TOML values, read with their line in every error and written back as text.
#include "sim/scenario_toml.h"

#include <cstdio>

namespace sim {

void Throw(const toml::node& node, const std::string& message) {
    throw ScenarioError{(long)node.source().begin.line, message};
}

namespace {

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

} // namespace

// Moves each character of the shifted ranges into the private use area (toParser) or back.
// *clashLine, when given: the first line that already holds a character of U+E000 to U+EFFF.
std::string ShiftRanges(std::string_view text, bool toParser, long* clashLine) {
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

void EachTable(const toml::node& node, const std::string& key, const std::string& header,
               const std::function<void(const toml::node&)>& read) {
    const toml::array* array = node.as_array();
    if (array == nullptr)
        Throw(node, key + " must be an array of tables (" + header + ")");
    for (const toml::node& item : *array)
        read(item);
}

std::string CodeText(DWORD code) {
    char text[16];
    snprintf(text, sizeof(text), code > 0xFFFF ? "0x%08X" : "%u", (unsigned)code);
    return text;
}

std::string BoolText(bool value) {
    return value ? "true" : "false";
}

std::string HexText(const std::vector<uint8_t>& bytes) {
    std::string out;
    char byte[4];
    for (uint8_t b : bytes) {
        snprintf(byte, sizeof(byte), "%02X", b);
        out += (out.empty() ? "" : " ") + std::string(byte);
    }
    return out;
}

std::string ListText(const std::vector<std::string>& items) {
    std::string text = "[";
    for (const std::string& item : items)
        text += " " + item + ",";
    return text + " ]";
}

} // namespace sim
