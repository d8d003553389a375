// A user's log read back: the reader's refusals and encodings, runs found in an appended file,
// scenarios that replay a run byte for byte, and the explanations of tests/logs/.
//
// tests/logs/NAME.explain holds what --explain says of every run of NAME.log (runs separated by
// a blank line); QEL_UPDATE_EXPECTED=1 rewrites them from the runs: read them before committing.
#include "logreplay/explain.h"
#include "logreplay/log_reader.h"
#include "logreplay/log_to_scenario.h"
#include "sim/scenario.h"
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace qtest;
namespace fs = std::filesystem;

namespace {

const fs::path kSourceDir = QEL_SOURCE_DIR;

logreplay::LogFile Read(const std::string& bytes) {
    logreplay::LogFile log;
    std::string error;
    EXPECT_TRUE(logreplay::ParseLogBytes(bytes, &log, &error)) << error;
    return log;
}

logreplay::Replay ReplayRun(const logreplay::LogFile& log, long n) {
    logreplay::LogRun run;
    std::string error;
    EXPECT_TRUE(logreplay::PickRun(log, n, &run, &error)) << error;
    return logreplay::BuildReplay(log, run);
}

// The scenario text for run n, parsed back as the runner's user would.
sim::Pc ScenarioPc(const logreplay::LogFile& log, long n, std::string* text = nullptr) {
    logreplay::Replay replay = ReplayRun(log, n);
    std::string scenario = logreplay::WriteScenario(replay, "test.log");
    if (text)
        *text = scenario;
    sim::Pc pc;
    std::string error;
    EXPECT_TRUE(sim::ParseScenario(scenario, "from-log", &pc, &error)) << error << "\n" << scenario;
    return pc;
}

std::string Utf16(const std::string& ansi, bool bigEndian, bool bom) {
    std::string out = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (unsigned char c : ansi) {
        char units[2] = {(char)c, 0};
        out += bigEndian ? std::string{units[1], units[0]} : std::string{units[0], units[1]};
    }
    return out;
}

std::string WithLf(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

const std::string kTypical = ReadBytes(kSourceDir / "tests/logs/typical-repair.log");

} // namespace

// Every ready-made PC, run with the log on, replays from its log: the same log bytes, console
// bytes and exit code.
TEST(LogReplay, EveryScenarioReplaysFromItsLog) {
    std::vector<fs::path> scenarios;
    for (const char* folder : {"scenarios", "tests/logs"})
        for (const auto& entry : fs::directory_iterator(kSourceDir / folder))
            if (entry.path().extension() == ".toml")
                scenarios.push_back(entry.path());
    ASSERT_GE(scenarios.size(), 10u);
    for (const fs::path& path : scenarios) {
        SCOPED_TRACE(path.filename().string());
        sim::Pc pc;
        std::string error;
        ASSERT_TRUE(sim::LoadScenario(path.string(), &pc, &error)) << error;
        sim::RunResult first = RunClean(pc, {"-l"});
        std::string log = sim::LogFileBytes();
        ASSERT_FALSE(log.empty());
        std::string text;
        sim::Pc replayed = ScenarioPc(Read(log), 0, &text);
        sim::RunResult again = RunClean(replayed, {"-l"});
        EXPECT_EQ(sim::LogFileBytes(), log) << text;
        // A window of the tool's own waits for Enter after the log's last entry: no line tells.
        std::string hold = "\nPress Enter to close this window.";
        std::string console = first.console;
        if (pc.consoleProcesses == 1 && console.size() >= hold.size() &&
            console.compare(console.size() - hold.size(), hold.size(), hold) == 0)
            console.resize(console.size() - hold.size());
        EXPECT_EQ(again.console, console) << text;
        EXPECT_EQ(again.exitCode, first.exitCode);
    }
}

TEST(LogReplay, RefusesWhatIsNoLogWithOneLine) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"empty", "", "the file is empty"},
        {"text", "Hello support,\r\nmy phone does not work.\r\n",
         "no entry of a qel-driver-fix log"},
        {"binary", std::string("PK\x03\x04\0\0\x08\0", 8), "the file is binary"},
        {"UTF-16 with letters outside the code page", Utf16(kTypical, false, true) + "\x2D\x4E",
         "the file is UTF-16 and holds U+4E2D"},
        {"UTF-16 of odd length", Utf16(kTypical, false, true) + "Q", "odd number of bytes"},
        {"UTF-8 mark on other bytes", "\xEF\xBB\xBF" + kTypical + "\xC9", "is not UTF-8"},
        {"a stamp out of range", "QELDriverFixed\t[2026-13-11  9: 4: 7: 12]\tx\r\n",
         "no entry of a qel-driver-fix log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logreplay::LogFile log;
        std::string error;
        EXPECT_FALSE(logreplay::ParseLogBytes(c.bytes, &log, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

// A log saved again by an editor, or carried over with other line ends, reads as the same run.
TEST(LogReplay, OtherEncodingsAndLineEndsReadAsTheSameRun) {
    std::string expected;
    ScenarioPc(Read(kTypical), 0, &expected);
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"UTF-16 LE", Utf16(kTypical, false, true)},
             {"UTF-16 BE", Utf16(kTypical, true, true)},
             {"UTF-16 LE without a mark", Utf16(kTypical, false, false)},
             {"UTF-8 with a mark", "\xEF\xBB\xBF" + kTypical},
             {"LF", WithLf(kTypical)}}) {
        SCOPED_TRACE(name);
        logreplay::LogFile log = Read(bytes);
        EXPECT_EQ(log.entries.size(), Read(kTypical).entries.size());
        std::string text;
        ScenarioPc(log, 0, &text);
        if (name == "LF") {
            EXPECT_FALSE(log.crlf);
            EXPECT_NE(text.find("line ends are LF"), std::string::npos);
        } else {
            EXPECT_EQ(text, expected);
        }
    }
}

// A log cut anywhere, also in the middle of a line or a time stamp, is read or refused, and
// every run it holds gives a scenario that parses.
TEST(LogReplay, LogCutAnywhereIsReadOrRefused) {
    std::string log = ReadBytes(kSourceDir / "tests/logs/runs.log");
    for (size_t size = 0; size <= log.size(); size += 7) {
        SCOPED_TRACE(size);
        logreplay::LogFile read;
        std::string error;
        if (!logreplay::ParseLogBytes(log.substr(0, size), &read, &error))
            continue;
        for (long n = 1; n <= (long)read.runs.size(); ++n)
            ScenarioPc(read, n);
    }
    logreplay::Replay cut = ReplayRun(Read(kTypical.substr(0, kTypical.size() - 300)), 0);
    EXPECT_TRUE(cut.cutShort);
}

// Inputs the fuzzer found trouble with (tests/fuzz/logs/): each run gives a scenario that parses.
TEST(LogReplay, FuzzFindingsGiveScenariosThatParse) {
    for (const auto& entry : fs::directory_iterator(kSourceDir / "tests/fuzz/logs")) {
        SCOPED_TRACE(entry.path().filename().string());
        logreplay::LogFile log = Read(ReadBytes(entry.path()));
        for (long n = 1; n <= (long)log.runs.size(); ++n)
            ScenarioPc(log, n);
    }
}

TEST(LogReplay, ThousandRunsArePickedByNumber) {
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += kTypical;
    logreplay::LogFile log = Read(many);
    ASSERT_EQ(log.runs.size(), 1000u);
    size_t perRun = Read(kTypical).entries.size();
    for (long n : {1L, 500L, 1000L, 0L}) {
        logreplay::LogRun run;
        std::string error;
        ASSERT_TRUE(logreplay::PickRun(log, n, &run, &error));
        EXPECT_EQ(run.first, (size_t)((n ? n : 1000) - 1) * perRun);
        EXPECT_EQ(run.count, perRun);
    }
    logreplay::LogRun run;
    std::string error;
    EXPECT_FALSE(logreplay::PickRun(log, 1001, &run, &error));
    EXPECT_EQ(error, "there is no run 1001: the log holds 1000 runs");
}

// Lines that are not the tool's (a note pasted in, an older file's tail) stay apart from runs.
TEST(LogReplay, ForeignLinesStayApart) {
    logreplay::LogFile log =
        Read("QELDriverFixed\t[2001- 1- 1   0: 0: 0:  0]\tearlier note\r\n" + kTypical);
    ASSERT_EQ(log.runs.size(), 2u);
    EXPECT_EQ(log.runs[0].count, 1u);
    EXPECT_EQ(log.runs[1].count, Read(kTypical).entries.size());
}

TEST(LogReplay, RunnerRefusesBadLogsWithExitStatusTwo) {
    ScratchDir dir;
    fs::path bad = dir.path() / "photo.log";
    std::ofstream(bad, std::ios::binary) << std::string("\x89PNG\r\n\x1A\n\0\0", 10);
    fs::path good = kSourceDir / "tests/logs/runs.log";
    struct Case {
        std::string args, message;
    } cases[] = {
        {"--from-log '" + bad.string() + "'",
         "qel-driver-fix-sim: " + bad.string() +
             ": the file is binary, not a qel-driver-fix log\n"},
        {"--explain '" + (dir.path() / "none.log").string() + "'",
         "qel-driver-fix-sim: " + (dir.path() / "none.log").string() + ": cannot be read\n"},
        {"--from-log '" + good.string() + "' --run 4",
         "qel-driver-fix-sim: there is no run 4: the log holds 3 runs\n"},
        {"--explain '" + good.string() + "' --run 0",
         "qel-driver-fix-sim: --run takes a run number from 1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        RunnerOutput r = RunRunner(dir, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, "");
    }
    RunnerOutput r = RunRunner(dir, "--from-log '" + good.string() + "' --run 2");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("# Replays " + good.string() + ", run 2 of 3"), std::string::npos);
}

TEST(LogReplay, ExplanationsOfTheFixtureLogs) {
    bool update = std::getenv("QEL_UPDATE_EXPECTED") != nullptr;
    size_t checked = 0;
    for (const auto& entry : fs::directory_iterator(kSourceDir / "tests/logs")) {
        if (entry.path().extension() != ".log")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        logreplay::LogFile log = Read(ReadBytes(entry.path()));
        std::string text;
        for (long n = 1; n <= (long)log.runs.size(); ++n) {
            std::string source = entry.path().filename().string() + ", run " + std::to_string(n) +
                                 " of " + std::to_string(log.runs.size());
            logreplay::LogRun run;
            std::string error;
            ASSERT_TRUE(logreplay::PickRun(log, n, &run, &error));
            text += (n > 1 ? "\n" : "") +
                    logreplay::Explain(log, run, logreplay::BuildReplay(log, run), source);
        }
        fs::path expected = fs::path(entry.path()).replace_extension(".explain");
        if (update)
            std::ofstream(expected, std::ios::binary) << text;
        EXPECT_EQ(text, ReadBytes(expected));
        ++checked;
    }
    EXPECT_GE(checked, 6u);
}
