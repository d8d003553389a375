#include "harness/process.h"

#include "adb/turn_adb.h"
#include "app/run.h"
#include "sim/scheduler.h"
#include "state/process_state.h"

namespace sim {

void StartBareProcess(const Pc& pc, bool trace) {
    CurrentWorld().tracing = trace;
    ResetWorld(pc);
    // A new process: its process-wide variables and its last-error value as at start.
    ResetProcessState();
    SetLastError(0);
}

static RunResult RunProcess(const Pc& pc, bool trace, const std::function<DWORD()>& entry) {
    StartBareProcess(pc, trace);
    RunResult result;
    result.exitCode = RunMainThread(entry);
    Trace("process exit %#x", (unsigned)result.exitCode);
    result.elapsedMs = CurrentWorld().nowMs;
    result.console = CurrentWorld().console;
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
    // The path the run resolved, which may be TEMP's short form; else where TEMP points.
    if (g_szLogPath[0] != '\0')
        return g_szLogPath;
    auto temp = pc.env.find("TEMP");
    return temp == pc.env.end() ? std::string() : temp->second + "\\_QEL_InstallerUpdata.log";
}

std::string LogFileBytes() {
    auto it = CurrentWorld().pc.files.find(Lower(LogFilePath(CurrentWorld().pc)));
    return it == CurrentWorld().pc.files.end() ? std::string() : it->second;
}

} // namespace sim
