// Turns one run of a user's log into a simulated PC that replays it: the same log lines at the
// same times, the same console and the same exit code, wherever the log tells enough.
#pragma once

#include "logreplay/log_reader.h"
#include "sim/pc.h"

#include <map>
#include <string>
#include <vector>

namespace logreplay {

// Where a part of the PC came from: the log lines, or why it was chosen.
struct Notes {
    std::vector<std::string> top;
    std::string clock, windowsDir, temp, stdinNote, lookup, installer, disksNote, codePage, system;
    std::map<size_t, std::string> classes;                    // by class index
    std::map<std::pair<size_t, size_t>, std::string> devices; // by class and device index
    std::map<size_t, std::string> disks;                      // by disk index
    std::map<size_t, std::string> outcomes;                   // by install call
};

struct Replay {
    sim::Pc pc;
    std::vector<std::string> args; // the tool's arguments: the log switch
    Notes notes;
    bool exitLogged = false; // the run's exit-code entry
    DWORD exitCode = 0;      // logged, or what the replay will give
    bool cutShort = false;   // the run ends before the tool's last step
    bool prompted = false;   // the first detection missed: the user was asked for the phone
    // Where the replay cannot be exact, one line each (time stamps of a real PC aside).
    std::vector<std::string> problems;
    size_t lateLines = 0; // lines later than the simulated waits allow (real PCs take time)
};

Replay BuildReplay(const LogFile& log, const LogRun& run);

// The replay as a scenario file with comments; source names the log and run for the reader.
std::string WriteScenario(const Replay& replay, const std::string& source);

} // namespace logreplay
