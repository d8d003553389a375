// Scenario TOML, both ways: typed values read with the file's line in every error, and the rule
// of a table of keys, each key with its meaning, how it is read into the PC and how it is
// written back. sim/scenario_keys.cpp holds every table.
#pragma once

#include "sim/pc.h"

// toml++ 3.3 asserts on some malformed input (a table header such as [`x]) that its parser then
// reports as an error; a scenario file must give that error, not abort the process.
#define TOML_ASSERT(expr) static_assert(true)
#include <toml++/toml.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct ScenarioError {
    long line;
    std::string message;
};

[[noreturn]] void Throw(const toml::node& node, const std::string& message);

// toml++ cannot safely be given some ranges of characters (see the .cpp); they are moved into the
// private use area for the parser (toParser) and back. *clashLine, when given: the first line
// that already holds a character of U+E000 to U+EFFF.
std::string ShiftRanges(std::string_view text, bool toParser, long* clashLine = nullptr);

// ---- Values: what names the value in messages --------------------------------------------------
std::string String(const toml::node& node, const std::string& what);
bool Bool(const toml::node& node, const std::string& what);
int64_t Integer(const toml::node& node, const std::string& what, int64_t min, int64_t max);
DWORD Code(const toml::node& node, const std::string& what); // a Windows error code
uint64_t Millis(const toml::node& node, const std::string& what);

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

// Each table of an array of tables handed to read; header names them in the error ("[[disk]]").
void EachTable(const toml::node& node, const std::string& key, const std::string& header,
               const std::function<void(const toml::node&)>& read);

// ---- Values as TOML text -----------------------------------------------------------------------
std::string CodeText(DWORD code); // decimal, or 0x%08X above 0xFFFF
std::string BoolText(bool value);
std::string HexText(const std::vector<uint8_t>& bytes); // "75 73 62"
// "[ a, b, ]", the form the printed PCs have always had.
std::string ListText(const std::vector<std::string>& items);

// ---- Tables of keys ----------------------------------------------------------------------------
// One key of a table whose keys go into (and come from) a T; the PC is at hand for keys that
// reach beyond it (a device's registry key).
template <typename T> struct KeyRule {
    const char* key;
    const char* meaning; // one line, for the docs' key index
    void (*read)(const toml::node& value, T& into, Pc& pc);
    // The value as TOML text, "" to leave the key out. For a section key: the whole text of its
    // tables, written after the plain keys.
    std::string (*print)(const T& from, const Pc& pc);
    bool section = false;
};

// Marks a key whose value is a table or an array of tables of its own.
inline constexpr bool kSection = true;

template <typename T> struct TableRule {
    const char* name; // as the docs name it: "[stdin]", "[[class.device]]", "a disk reply"
    std::vector<KeyRule<T>> keys;
};

// Hands each key of the table at node to its rule; an unknown key is an error that lists the
// known ones. where names the table in messages.
template <typename T>
void ReadTable(const toml::node& node, const std::string& where, const TableRule<T>& rule, T& into,
               Pc& pc) {
    const toml::table* table = node.as_table();
    if (table == nullptr)
        Throw(node, where + " must be a table");
    for (auto&& [key, value] : *table) {
        std::string_view name = key.str(); // a lambda cannot take a structured binding in clang 14
        auto known = std::find_if(rule.keys.begin(), rule.keys.end(),
                                  [&](const KeyRule<T>& k) { return name == k.key; });
        if (known == rule.keys.end()) {
            std::vector<std::string> names;
            for (const KeyRule<T>& k : rule.keys)
                names.push_back(k.key);
            std::sort(names.begin(), names.end());
            std::string list;
            for (const std::string& known : names)
                list += (list.empty() ? "" : ", ") + known;
            throw ScenarioError{(long)key.source().begin.line, "unknown key '" + std::string(name) +
                                                                   "' in " + where +
                                                                   " (known: " + list + ")"};
        }
        known->read(value, into, pc);
    }
}

// The table's plain keys, one "key = value" line each after indent, then its sections.
template <typename T>
std::string PrintTable(const TableRule<T>& rule, const T& from, const Pc& pc,
                       const std::string& indent = "") {
    std::string lines, sections;
    for (const KeyRule<T>& k : rule.keys) {
        std::string text = k.print(from, pc);
        if (k.section)
            sections += text;
        else if (!text.empty())
            lines += indent + k.key + " = " + text + "\n";
    }
    return lines + sections;
}

// The table's keys as an inline table, "{ key = value, ... }".
template <typename T>
std::string PrintInline(const TableRule<T>& rule, const T& from, const Pc& pc) {
    std::string text;
    for (const KeyRule<T>& k : rule.keys) {
        std::string value = k.print(from, pc);
        if (!value.empty())
            text += (text.empty() ? "" : ", ") + std::string(k.key) + " = " + value;
    }
    return "{ " + text + " }";
}

} // namespace sim
