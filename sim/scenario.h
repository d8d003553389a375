// Scenario files describe a simulated PC in TOML; see docs/scenarios.md.
#pragma once

#include "sim/pc.h"

#include <string>

namespace sim {

// On failure, error reads "FILE:LINE: problem".
bool ParseScenario(const std::string& text, const std::string& sourceName, Pc* pc,
                   std::string* error);
bool LoadScenario(const std::string& path, Pc* pc, std::string* error);

// Text a scenario file can hold: UTF-8 without the private use characters U+E000 to U+EFFF,
// which the parser keeps for itself.
bool IsScenarioText(const std::string& text);

// For writers of scenario files: the clock as "2009-06-05T09:04:07.012Z", and text as a TOML
// basic string (quotes, backslashes and control characters escaped, other bytes as they are).
std::string ClockText(uint64_t utcMs);
std::string QuoteBasic(const std::string& text);

} // namespace sim
