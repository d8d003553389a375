#include "harness/process.h"

#include "adb/turn_adb.h"
#include "app/progress.h"
#include "app/run.h"
#include "log/write_log.h"
#include "sim/scheduler.h"

#include <cstring>

namespace sim {

// A new process starts with its process-wide variables at their initial values.
static void ResetProcessState() {
    g_bLogEnabled = 0;
    memset(g_szLogPath, 0, sizeof(g_szLogPath));
    g_pLogFile = NULL;
    g_bRunning.store(0);
    g_bPaused.store(0);
    SetLastError(0);
}

void StartBareProcess(const Pc& pc, bool trace) {
    W().tracing = trace;
    ResetWorld(pc);
    ResetProcessState();
}

static RunResult RunProcess(const Pc& pc, bool trace, const std::function<DWORD()>& entry) {
    StartBareProcess(pc, trace);
    RunResult result;
    result.exitCode = RunMainThread(entry);
    Trace("process exit %#x", (unsigned)result.exitCode);
    result.elapsedMs = W().nowMs;
    result.console = W().console;
    result.leaks = LedgerReport();
    return result;
}

RunResult RunTool(const Pc& pc, const std::vector<std::string>& args, bool trace) {
    return RunProcess(pc, trace, [&args] {
        std::vector<std::string> storage;
        storage.push_back("qel-driver-fix.exe");
        storage.insert(storage.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : storage)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        return ToolMain((int)storage.size(), argv.data());
    });
}

RunResult RunTurnAdb(const Pc& pc, bool on, const std::string& serial, bool log, bool trace) {
    return RunProcess(pc, trace, [&] {
        g_bLogEnabled = log ? 1 : 0;
        return (DWORD)TurnAdb(on ? TRUE : FALSE, serial.c_str());
    });
}

std::string LogFilePath(const Pc& pc) {
    auto temp = pc.env.find("TEMP");
    return temp == pc.env.end() ? std::string() : temp->second + "\\_QEL_InstallerUpdata.log";
}

std::string LogFileBytes() {
    auto it = W().pc.files.find(Lower(LogFilePath(W().pc)));
    return it == W().pc.files.end() ? std::string() : it->second;
}

} // namespace sim
