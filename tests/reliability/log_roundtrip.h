// The log round trip: a run's log turned into a scenario (qel-driver-fix-sim --from-log) must
// replay the run: the same log bytes, console bytes and exit code.
#pragma once

#include "harness/process.h"
#include "tests/reliability/generator.h"

#include <map>
#include <string>

namespace rel {

struct LogRoundtripStats {
    uint64_t replayed = 0, noLog = 0;
    // What the log cannot tell, by reason: runs whose replay is exact in what the log shows.
    std::map<std::string, uint64_t> inexact;
};

// Call right after the run of g; "" when the replay matches (or the run wrote no log).
std::string LogRoundtrip(const GeneratedPc& g, const sim::RunResult& run, LogRoundtripStats* stats);

} // namespace rel
