// Whole runs of the tool on the simulated PC, progress thread included: how much wall time the
// simulated PC needs for a run's virtual time.
#include "bench_pcs.h"
#include "harness/process.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace {

void BM_Run(benchmark::State& state, const char* scenario, bool log, DWORD expectedExit) {
    static std::map<std::string, sim::Pc> cache;
    auto it = cache.find(scenario);
    if (it == cache.end())
        it = cache.emplace(scenario, qbench::LoadSourceScenario(scenario)).first;
    const sim::Pc& pc = it->second;
    std::vector<std::string> args;
    if (log)
        args.push_back("-l");

    sim::RunResult result;
    for (auto _ : state) {
        result = sim::RunTool(pc, args);
        benchmark::DoNotOptimize(result.exitCode);
    }
    if (result.exitCode != expectedExit)
        state.SkipWithError("unexpected exit code");
    else if (!result.leaks.empty())
        state.SkipWithError("resources left open");
    double virtualSeconds = (double)result.elapsedMs / 1000.0;
    state.counters["virtual_ms"] = (double)result.elapsedMs;
    // Virtual seconds run per wall-clock second.
    state.counters["speedup"] =
        benchmark::Counter(virtualSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

// Real time: the progress thread runs on a thread of its own.
BENCHMARK_CAPTURE(BM_Run, typical_log_off, "scenarios/default.toml", false, 0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Run, typical_log_on, "scenarios/default.toml", true, 0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Run, worst_case_log_off, "bench/worst_case.toml", false, 0xE0000203)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Run, worst_case_log_on, "bench/worst_case.toml", true, 0xE0000203)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
