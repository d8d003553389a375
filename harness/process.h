// A simulated process: the tool's entry run on the simulated PC, as on a fresh start.
#pragma once

#include "sim/pc.h"

#include <string>
#include <vector>

namespace sim {

struct RunResult {
    DWORD exitCode = 0;
    uint64_t elapsedMs = 0;
    std::string console;
    std::vector<std::string> leaks; // the ledger after the run: empty when all was released
};

// Runs the tool with these arguments (argv[1] on) against pc. CurrentWorld() keeps the world
// afterwards for inspection: files, requests, installs, trace.
RunResult RunTool(const Pc& pc, const std::vector<std::string>& args, bool trace = false);

// Runs TurnAdb alone against pc, as the repair would call it, with the log on or off.
RunResult RunTurnAdb(const Pc& pc, bool on, const std::string& serial, bool log,
                     bool trace = false);

// Starts a process on pc without running an entry: a fresh world and the process-wide variables
// at their initial values. The tool's functions can then be called directly on the calling
// thread (benchmarks); Sleep there only moves the virtual clock.
void StartBareProcess(const Pc& pc, bool trace = false);

// The log file's bytes, or "" when it was never written.
std::string LogFileBytes();
std::string LogFilePath(const Pc& pc);

} // namespace sim
