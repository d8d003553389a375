// Every key a scenario file may hold, by table: the one list that the scenario parser reads
// against, that docs/scenarios.md lists (a unit test compares them) and that the reliability
// generator's printed PCs are held to (they are parsed back). A new scriptable call adds its key
// here, a handler in sim/scenario.cpp and a row in the docs.
#pragma once

#include <string>
#include <vector>

namespace sim {

struct ScenarioKey {
    const char* table; // "the scenario" (top level), "[stdin]", "[[class.device]]", ...
    const char* key;
    const char* meaning;
};

const std::vector<ScenarioKey>& ScenarioKeys();

// The keys of one table, in the table's order.
std::vector<std::string> KeysOf(const std::string& table);

} // namespace sim
