// libFuzzer target over the log reader: whatever the bytes, the reader either reads a log or
// gives a reason; every run it finds becomes a scenario that the scenario parser reads back,
// and an explanation; nothing crashes, hangs or leaks.
#include "logreplay/explain.h"
#include "logreplay/log_reader.h"
#include "logreplay/log_to_scenario.h"
#include "sim/scenario.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    logreplay::LogFile log;
    std::string error;
    if (!logreplay::ParseLogBytes(std::string(reinterpret_cast<const char*>(data), size), &log,
                                  &error)) {
        if (error.empty() || error.find('\n') != std::string::npos) {
            fprintf(stderr, "unclear log error: '%s'\n", error.c_str());
            abort();
        }
        return 0;
    }
    // The first and the last run: enough to reach every part, and keeps the fuzzer fast.
    for (size_t n : {(size_t)1, log.runs.size()}) {
        logreplay::LogRun run;
        if (!logreplay::PickRun(log, (long)n, &run, &error))
            abort();
        logreplay::Replay replay = logreplay::BuildReplay(log, run);
        std::string scenario = logreplay::WriteScenario(replay, "fuzz.log");
        sim::Pc pc;
        if (!sim::ParseScenario(scenario, "from-log", &pc, &error)) {
            fprintf(stderr, "the scenario of run %zu does not parse: %s\n%s\n", n, error.c_str(),
                    scenario.c_str());
            abort();
        }
        logreplay::Explain(log, run, replay, "fuzz.log");
    }
    return 0;
}
