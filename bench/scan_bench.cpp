// Detection and the repair pass over PCs of 10 to 100,000 devices, and the ADB switch over 10 to
// 10,000 disk interfaces: the tool's own work per device plus the simulated PC's, log off and on.
#include "adb/turn_adb.h"
#include "bench_pcs.h"
#include "device/scan.h"
#include "log/write_log.h"
#include "harness/process.h"

#include <benchmark/benchmark.h>

#include <map>

namespace {

// Building a PC of 100,000 devices takes longer than scanning it: build each size once.
const sim::Pc& CachedPc(sim::Pc (*make)(size_t), size_t size) {
    static std::map<std::pair<void*, size_t>, sim::Pc> cache;
    auto key = std::make_pair((void*)make, size);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, make(size)).first;
    return it->second;
}

// A fresh process on pc, with the log switch as given. The console and the log file are
// emptied after every pass so that a long run does not grow them without end.
class Process {
  public:
    Process(const sim::Pc& pc, bool log) {
        sim::StartBareProcess(pc);
        g_bLogEnabled = log ? 1 : 0;
        logBytes_ = &sim::CurrentWorld().pc.files[sim::Lower(sim::LogFilePath(pc))];
    }
    void ClearRecords() {
        sim::CurrentWorld().console.clear();
        logBytes_->clear();
        sim::CurrentWorld().adbRequests.clear();
    }
    // The pass must have found what the PC holds and released everything.
    bool Check(benchmark::State& state, bool ok) {
        if (!ok)
            state.SkipWithError("unexpected result");
        else if (!sim::LedgerIsClean())
            state.SkipWithError("resources left open");
        return ok;
    }

  private:
    std::string* logBytes_;
};

void PerItem(benchmark::State& state, const char* name) {
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters[name] =
        benchmark::Counter((double)state.range(0), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

void BM_DetectDevice(benchmark::State& state, bool log) {
    Process process(CachedPc(qbench::LargePc, (size_t)state.range(0)), log);
    DWORD found = 0;
    for (auto _ : state) {
        found = DetectDevice();
        benchmark::DoNotOptimize(found);
        process.ClearRecords();
    }
    process.Check(state, found == DEVICE_FOUND);
    PerItem(state, "per_device");
}

void BM_UpdateAllDevices(benchmark::State& state, bool log) {
    Process process(CachedPc(qbench::LargePc, (size_t)state.range(0)), log);
    DWORD result = 1;
    for (auto _ : state) {
        result = UpdateAllDevices();
        benchmark::DoNotOptimize(result);
        process.ClearRecords();
    }
    process.Check(state, result == 0 && sim::CurrentWorld().installCalls.empty());
    PerItem(state, "per_device");
}

void BM_TurnAdb(benchmark::State& state, bool log) {
    Process process(CachedPc(qbench::DiskPc, (size_t)state.range(0)), log);
    int accepted = 0;
    for (auto _ : state) {
        accepted = TurnAdb(TRUE, qbench::kPhoneSerial);
        benchmark::DoNotOptimize(accepted);
        process.ClearRecords();
    }
    process.Check(state, accepted == 1);
    PerItem(state, "per_interface");
}

void DeviceSizes(benchmark::internal::Benchmark* b) {
    b->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN);
}

void DiskSizes(benchmark::internal::Benchmark* b) {
    b->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Complexity(benchmark::oN);
}

} // namespace

BENCHMARK_CAPTURE(BM_DetectDevice, log_off, false)->Apply(DeviceSizes);
BENCHMARK_CAPTURE(BM_DetectDevice, log_on, true)->Apply(DeviceSizes);
BENCHMARK_CAPTURE(BM_UpdateAllDevices, log_off, false)->Apply(DeviceSizes);
BENCHMARK_CAPTURE(BM_UpdateAllDevices, log_on, true)->Apply(DeviceSizes);
BENCHMARK_CAPTURE(BM_TurnAdb, log_off, false)->Apply(DiskSizes);
BENCHMARK_CAPTURE(BM_TurnAdb, log_on, true)->Apply(DiskSizes);
