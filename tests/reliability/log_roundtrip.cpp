#include "tests/reliability/log_roundtrip.h"

#include "app/run.h"
#include "logreplay/log_reader.h"
#include "logreplay/log_to_scenario.h"
#include "sim/scenario.h"

namespace rel {
namespace {

// Why the log of this PC's run cannot show all of the run; "" when it can.
std::string HiddenFromLog(const GeneratedPc& g, const logreplay::Replay& replay) {
    const sim::Pc& pc = g.pc;
    if (pc.threadCreateFails)
        return "the progress thread could not start: no dots, and the log cannot tell";
    if (pc.consoleProcesses == 1 && !pc.stdinRedirected)
        return "the tool's own console window waited for Enter after the exit-code entry";
    if (!replay.exitLogged) {
        if (pc.installer.loadError || pc.installer.exportError)
            return "logs without an exit-code entry: the installer's load error goes to the "
                   "console only";
        if (pc.windowsDirError || pc.windowsDir.size() > 247 || pc.windowsDir.empty())
            return "logs without an exit-code entry: a Windows directory that cannot be read is "
                   "not logged";
        return "logs without an exit-code entry: the time after the last line is not logged";
    }
    return "";
}

// Where two logs first differ, for the failure report.
std::string FirstDifference(const std::string& a, const std::string& b) {
    size_t line = 1, start = 0, i = 0;
    for (; i < a.size() && i < b.size() && a[i] == b[i]; ++i)
        if (a[i] == '\n') {
            ++line;
            start = i + 1;
        }
    auto lineAt = [&](const std::string& text) {
        size_t end = text.find('\n', start);
        return start >= text.size()
                   ? std::string("(end)")
                   : text.substr(start,
                                 end == std::string::npos ? std::string::npos : end - start - 1);
    };
    return "line " + std::to_string(line) + ": '" + lineAt(a) + "' but the replay '" + lineAt(b) +
           "'";
}

} // namespace

std::string LogRoundtrip(const GeneratedPc& g, const sim::RunResult& checked,
                         LogRoundtripStats* stats) {
    // The round trip needs the log: a run without the switch is run again with -l.
    std::vector<std::string> args = g.args;
    std::vector<char*> argv = {(char*)"qel-driver-fix.exe"};
    for (std::string& arg : args)
        argv.push_back(arg.data());
    bool logged = IsLogSwitch((int)argv.size(), argv.data());
    sim::RunResult run = logged ? checked : sim::RunTool(g.pc, {"-l"});
    std::string before;
    auto earlier = g.pc.files.find(sim::Lower(sim::LogFilePath(g.pc)));
    if (earlier != g.pc.files.end())
        before = earlier->second;
    std::string after = sim::LogFileBytes();
    if (after.size() <= before.size() || after.compare(0, before.size(), before) != 0) {
        ++stats->noLog;
        return "";
    }
    std::string written = after.substr(before.size());
    std::string folder = sim::LogFilePath(g.pc); // as the run resolved it

    logreplay::LogFile log;
    std::string error;
    if (!logreplay::ParseLogBytes(after, &log, &error))
        return "log roundtrip: the log cannot be read: " + error;
    logreplay::LogRun last;
    if (!logreplay::PickRun(log, 0, &last, &error))
        return "log roundtrip: " + error;
    logreplay::Replay replay = logreplay::BuildReplay(log, last);
    std::string scenario = logreplay::WriteScenario(replay, "the log");
    sim::Pc pc;
    if (!sim::ParseScenario(scenario, "from-log", &pc, &error))
        return "log roundtrip: the scenario does not parse: " + error + "\n" + scenario;
    sim::RunResult again = sim::RunTool(pc, replay.args);
    std::string replayed = sim::LogFileBytes();
    // The closing advice names the log's path, which the log itself does not hold.
    std::string console = run.console;
    std::string replayFolder = sim::LogFilePath(pc);
    for (size_t at = console.find(folder);
         !folder.empty() && folder != replayFolder && at != std::string::npos;
         at = console.find(folder, at + replayFolder.size()))
        console.replace(at, folder.size(), replayFolder);
    bool onlyTheFolder = console != run.console && console == again.console;
    ++stats->replayed;

    if (replayed != written) {
        // Without the exit-code entry a run's end is not marked: a last ADB switch that failed
        // without a line cannot be told from a run cut short.
        if (replay.exitLogged || replayed.compare(0, written.size(), written) != 0)
            return "log roundtrip: the replay writes another log, from " +
                   FirstDifference(written, replayed) + "\n" + scenario;
        ++stats->inexact["logs without an exit-code entry: the run's end is not marked"];
        return "";
    }
    if (again.exitCode != run.exitCode || again.console != run.console) {
        std::string reason =
            onlyTheFolder && again.exitCode == run.exitCode
                ? "the closing advice names the log's folder (TEMP), which the log does not hold"
                : HiddenFromLog(g, replay);
        if (reason.empty())
            return again.exitCode != run.exitCode
                       ? "log roundtrip: the replay exits with another code"
                       : "log roundtrip: the replay prints another console, from " +
                             FirstDifference(run.console, again.console);
        ++stats->inexact[reason];
    }
    return "";
}

} // namespace rel
