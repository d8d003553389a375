// qel-driver-fix-sim: runs the tool on a simulated PC described by a scenario file and prints
// exactly the console bytes the tool writes; reports go to standard error.
#include "app/run.h"
#include "harness/process.h"
#include "logreplay/explain.h"
#include "logreplay/log_reader.h"
#include "logreplay/log_to_scenario.h"
#include "sim/scenario.h"
#include "sim/scenario_keys.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: qel-driver-fix-sim [options] SCENARIO [TOOL ARGUMENTS...]\n"
    "       qel-driver-fix-sim --from-log LOG [--run N]\n"
    "       qel-driver-fix-sim --explain LOG [--run N]\n"
    "Runs qel-driver-fix on the simulated PC of SCENARIO (a TOML file) and prints the console\n"
    "bytes the tool writes. Reports go to standard error, in this order:\n"
    "  --exit-code        the tool's exit code as a full 32-bit value\n"
    "  --time             the virtual time the run took\n"
    "  --log              the log file's bytes (CR LF as stored)\n"
    "  --trace            every Windows call with its virtual time, arguments and result\n"
    "  --requests         every ADB request: disk, lengths, command bytes, outcome\n"
    "  --turn-adb on|off SERIAL\n"
    "                     instead of the whole tool, switch ADB for SERIAL as the repair\n"
    "                     would (the log is on when the tool arguments switch it on)\n"
    "  --from-log LOG     print a scenario that replays a run of a user's log\n"
    "                     (_QEL_InstallerUpdata.log); --run N picks run N, 1 the oldest,\n"
    "                     the default the last\n"
    "  --explain LOG      tell in plain words what happened in a run of LOG\n"
    "  --key-index        print every scenario key with its meaning, the Markdown table\n"
    "                     docs/scenarios.md holds\n"
    "Exit status: 0 the run finished with every resource released; 2 usage or scenario\n"
    "error; 3 a resource was left open or misused (listed on standard error).\n";

struct Options {
    bool exitCode = false, time = false, log = false, trace = false, requests = false;
    bool turnAdb = false, adbOn = false;
    std::string fromLog, explain;
    long run = 0; // 0: the last
    std::string serial;
    std::string scenario;
    std::vector<std::string> toolArgs;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        std::string arg = argv[i];
        if (arg == "--exit-code")
            o->exitCode = true;
        else if (arg == "--time")
            o->time = true;
        else if (arg == "--log")
            o->log = true;
        else if (arg == "--trace")
            o->trace = true;
        else if (arg == "--requests")
            o->requests = true;
        else if (arg == "--turn-adb" && i + 2 < argc &&
                 (!strcmp(argv[i + 1], "on") || !strcmp(argv[i + 1], "off"))) {
            o->turnAdb = true;
            o->adbOn = !strcmp(argv[i + 1], "on");
            o->serial = argv[i + 2];
            i += 2;
        } else if ((arg == "--from-log" || arg == "--explain") && i + 1 < argc) {
            (arg == "--from-log" ? o->fromLog : o->explain) = argv[++i];
        } else if (arg == "--run" && i + 1 < argc) {
            char* end = nullptr;
            o->run = strtol(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || o->run < 1) {
                fprintf(stderr, "qel-driver-fix-sim: --run takes a run number from 1\n");
                return false;
            }
        } else if (arg == "--key-index") {
            fputs(sim::ScenarioKeyIndex().c_str(), stdout);
            exit(0);
        } else if (arg == "--help") {
            fputs(kUsage, stdout);
            exit(0);
        } else {
            fprintf(stderr, "qel-driver-fix-sim: unknown option %s\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    if (!o->fromLog.empty() || !o->explain.empty()) {
        if (i < argc || (!o->fromLog.empty() && !o->explain.empty())) {
            fprintf(stderr, "qel-driver-fix-sim: --from-log and --explain take one log and no "
                            "scenario\n");
            return false;
        }
        return true;
    }
    if (o->run) {
        fprintf(stderr, "qel-driver-fix-sim: --run goes with --from-log or --explain\n");
        return false;
    }
    if (i >= argc) {
        fputs(kUsage, stderr);
        return false;
    }
    o->scenario = argv[i++];
    o->toolArgs.assign(argv + i, argv + argc);
    return true;
}

void PrintRequests() {
    for (const sim::AdbRequest& r : sim::CurrentWorld().adbRequests) {
        fprintf(stderr, "%8llu ms %s ioctl %#x in %u out %u cdb", (unsigned long long)r.atMs,
                r.diskPath.c_str(), (unsigned)r.ioctl, (unsigned)r.inLength, (unsigned)r.outLength);
        for (size_t b = 28; b < 34 && b < r.bytes.size(); ++b)
            fprintf(stderr, " %02X", r.bytes[b]);
        fprintf(stderr, " -> %s (%u)\n", r.error ? "failed" : "accepted", (unsigned)r.error);
    }
}

// --from-log and --explain: 0, or 2 with one line that says why the log cannot be read.
int ReadBack(const Options& o) {
    const std::string& path = o.fromLog.empty() ? o.explain : o.fromLog;
    logreplay::LogFile log;
    logreplay::LogRun run;
    std::string error;
    if (!logreplay::ReadLogFile(path, &log, &error) ||
        !logreplay::PickRun(log, o.run, &run, &error)) {
        fprintf(stderr, "qel-driver-fix-sim: %s\n", error.c_str());
        return 2;
    }
    long number = o.run ? o.run : (long)log.runs.size();
    std::string source =
        path + ", run " + std::to_string(number) + " of " + std::to_string(log.runs.size());
    logreplay::Replay replay = logreplay::BuildReplay(log, run);
    std::string text = o.fromLog.empty() ? logreplay::Explain(log, run, replay, source)
                                         : logreplay::WriteScenario(replay, source);
    fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, &o))
        return 2;
    if (!o.fromLog.empty() || !o.explain.empty())
        return ReadBack(o);
    sim::Pc pc;
    std::string error;
    if (!sim::LoadScenario(o.scenario, &pc, &error)) {
        fprintf(stderr, "qel-driver-fix-sim: %s\n", error.c_str());
        return 2;
    }

    bool logSwitch = false;
    if (o.turnAdb) {
        std::vector<char*> argvTool = {(char*)"qel-driver-fix.exe"};
        for (std::string& a : o.toolArgs)
            argvTool.push_back(a.data());
        logSwitch = IsLogSwitch((int)argvTool.size(), argvTool.data());
    }
    sim::RunResult result = o.turnAdb ? sim::RunTurnAdb(pc, o.adbOn, o.serial, logSwitch, o.trace)
                                      : sim::RunTool(pc, o.toolArgs, o.trace);
    fwrite(result.console.data(), 1, result.console.size(), stdout);
    fflush(stdout);

    if (o.exitCode)
        fprintf(stderr, "exit code: 0x%08X (%u)\n", (unsigned)result.exitCode,
                (unsigned)result.exitCode);
    if (o.time)
        fprintf(stderr, "virtual time: %llu ms\n", (unsigned long long)result.elapsedMs);
    if (o.log) {
        std::string log = sim::LogFileBytes();
        fprintf(stderr, "--- log %s (%zu bytes)\n", sim::LogFilePath(pc).c_str(), log.size());
        fwrite(log.data(), 1, log.size(), stderr);
        fprintf(stderr, "--- end of log\n");
    }
    if (o.trace)
        for (const std::string& line : sim::CurrentWorld().trace)
            fprintf(stderr, "%s\n", line.c_str());
    if (o.requests)
        PrintRequests();
    if (!result.leaks.empty()) {
        for (const std::string& leak : result.leaks)
            fprintf(stderr, "ledger: %s\n", leak.c_str());
        return 3;
    }
    return 0;
}
