// Every key a scenario file may hold, by table: the rows that read a scenario into a PC, print a
// PC back as a scenario and make the docs' key index. A new scriptable call adds its rows there.
#pragma once

#include "sim/scenario_toml.h"

#include <string>
#include <vector>

namespace sim {

// Reads a parsed scenario file into pc; a problem throws ScenarioError with its line.
void ReadScenarioRoot(const toml::table& root, Pc& pc);

// The PC as a scenario file that ParseScenario reads back to the same PC (the name included).
std::string PrintScenario(const Pc& pc);

// One key of one table, as the docs list it.
struct ScenarioKey {
    const char* table; // "top level", "[stdin]", "[[class.device]]", "a disk reply", ...
    const char* key;
    const char* meaning;
};

const std::vector<ScenarioKey>& ScenarioKeys();

// Every key as a Markdown table, the key index of docs/scenarios.md.
std::string ScenarioKeyIndex();

} // namespace sim
