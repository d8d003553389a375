// Scenario files: a simulated PC described in TOML (see docs/scenarios.md).
#include "sim/scenario.h"

#include "sim/calendar.h"
#include "sim/scenario_keys.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace sim {

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
        ReadScenarioRoot(root, *pc);
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

bool IsScenarioText(const std::string& text) {
    // The least code point of each length: a shorter one written longer is not UTF-8.
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < text.size();) {
        unsigned char c = (unsigned char)text[i];
        size_t n = c < 0x80             ? 1
                   : (c & 0xE0) == 0xC0 ? 2
                   : (c & 0xF0) == 0xE0 ? 3
                   : (c & 0xF8) == 0xF0 ? 4
                                        : 0;
        if (n == 0 || i + n > text.size())
            return false;
        uint32_t cp = n == 1 ? c : c & (0x7Fu >> n);
        for (size_t k = 1; k < n; ++k) {
            if (((unsigned char)text[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | ((unsigned char)text[i + k] & 0x3Fu);
        }
        if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0xE000 && cp <= 0xEFFF)
            return false; // the scenario parser keeps these for itself
        i += n;
    }
    return true;
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
