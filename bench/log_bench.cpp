// Reading a user's log: a 100 MB file of thousands of runs, read and split, its last run turned
// into a scenario (--from-log) or explained (--explain), as qel-driver-fix-sim does it.
#include "bench_pcs.h"
#include "logreplay/explain.h"
#include "logreplay/log_reader.h"
#include "logreplay/log_to_scenario.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const size_t kLogBytes = 100u * 1000 * 1000;

// The fixture logs' three runs, appended until the file holds 100 MB.
const std::string& BigLogPath() {
    static std::string path;
    if (path.empty()) {
        std::ifstream in(std::string(QEL_SOURCE_DIR) + "/tests/logs/runs.log", std::ios::binary);
        std::stringstream runs;
        runs << in.rdbuf();
        path = "/tmp/qel-bench-" + std::to_string(getpid()) + ".log";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (size_t written = 0; written < kLogBytes; written += runs.str().size())
            out << runs.str();
    }
    return path;
}

void BM_ReadLog(benchmark::State& state, bool explain) {
    const std::string& path = BigLogPath();
    size_t runs = 0, fileBytes = 0, heldBytes = 0, outputBytes = 0;
    for (auto _ : state) {
        logreplay::LogFile log;
        logreplay::LogRun run;
        std::string error;
        if (!logreplay::ReadLogFile(path, &log, &error) ||
            !logreplay::PickRun(log, 0, &run, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        logreplay::Replay replay = logreplay::BuildReplay(log, run);
        std::string text = explain ? logreplay::Explain(log, run, replay, path)
                                   : logreplay::WriteScenario(replay, path);
        benchmark::DoNotOptimize(text.data());
        runs = log.runs.size();
        fileBytes = log.bytes.size();
        heldBytes = log.bytes.capacity() + log.entries.capacity() * sizeof(logreplay::LogEntry) +
                    log.runs.capacity() * sizeof(logreplay::LogRun);
        outputBytes = text.size();
    }
    state.counters["file_MB"] = (double)fileBytes / 1e6;
    state.counters["runs"] = (double)runs;
    // What the reader holds while it works, against the file's size (budget: below 2).
    state.counters["held_per_file_byte"] = (double)heldBytes / (double)fileBytes;
    state.counters["output_bytes"] = (double)outputBytes;
}

} // namespace

BENCHMARK_CAPTURE(BM_ReadLog, from_log_100MB, false)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_ReadLog, explain_100MB, true)->Unit(benchmark::kMillisecond)->Iterations(5);
