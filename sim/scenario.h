// Scenario files describe a simulated PC in TOML; see docs/scenarios.md.
#pragma once

#include "sim/pc.h"

#include <string>

namespace sim {

// On failure, error reads "FILE:LINE: problem".
bool ParseScenario(const std::string& text, const std::string& sourceName, Pc* pc,
                   std::string* error);
bool LoadScenario(const std::string& path, Pc* pc, std::string* error);

} // namespace sim
