#include "test_support.h"

#include "state/process_state.h"

#include <algorithm>
#include <cstring>
#include <functional>

using namespace qtest;

static const char kBanner[] = "===============================\n"
                              "QEL Android driver update tool\n"
                              "===============================\n"
                              "\nDetecting \"QEL Tarrow\" on your PC...";
static const char kPrompt[] = "\nDevice not found.\nPlease be sure \"QEL Tarrow\" already connect "
                              "to your PC and try again.";
static const char kUpdating[] = "\nUpdating driver...";
static const char kUpdated[] = "\nDriver updated.\n";
static const char kFailed5[] = "\nDriver update failed, error 0x00000005.\n"
                               "Run the tool as administrator: right-click it, \"Run as "
                               "administrator\".\n";
static const char kFailedE0000203[] = "\nDriver update failed, error 0xE0000203.\n"
                                      "Run the tool again with -l and send "
                                      "%TEMP%\\_QEL_InstallerUpdata.log to support.\n";
static const char kExiting[] = "\nDevice not found.\nNow exiting...";

TEST(RunSequence, PhoneAlreadyOnComposite) {
    sim::RunResult r = RunClean(PhonePc("usbccgp"));
    EXPECT_EQ(r.console, std::string(kBanner) + ".\nUpdating driver...\nDriver updated.\n");
    EXPECT_EQ(r.exitCode, 0u);
}

// A phone whose installer call takes 2.5 s, so that dots show during the repair pass.
static sim::Pc SlowRepairPc() {
    sim::Pc pc = PhonePc("WinUSB");
    pc.installer.ms = 2500;
    return pc;
}

static sim::Pc NoPhonePc() {
    return EmptyPc();
}

static sim::Pc PhoneAfterEnterPc() {
    sim::Pc pc = PhonePc("WinUSB");
    for (sim::Device& device : Devices(pc))
        device.afterEnter = device.instanceId.rfind("USB\\VID_1E3F", 0) == 0;
    pc.stdinAtEnd = false;
    pc.stdinLine = "\n";
    pc.stdinAfterMs = 3000;
    pc.installer.ms = 1500;
    return pc;
}

static sim::Pc StdinLineLaterPc() {
    sim::Pc pc = EmptyPc();
    pc.stdinAtEnd = false;
    pc.stdinLine = "yes\n";
    pc.stdinAfterMs = 4000;
    return pc;
}

static sim::Pc NoThreadPc(sim::Pc pc) {
    pc.threadCreateFails = true;
    return pc;
}

// Both class lookups (detection and repair pass) fail with the same code.
static sim::Pc LookupFailsPc(DWORD error) {
    sim::Pc pc = PhonePc("WinUSB");
    pc.lookupFaults = {{error, 0}, {error, 0}};
    return pc;
}

// Every install attempt fails; the phone takes the ADB commands, so after the first failure
// the repair retries a second apart and switches ADB off again at the end.
static sim::Pc InstallerFailsPc() {
    sim::Pc pc = PhonePc("WinUSB");
    pc.installer.outcomes.assign(10, sim::Outcome{0xE0000203, 0, false});
    return pc;
}

struct RunCase {
    const char* name;
    std::function<sim::Pc()> pc;
    std::string console; // after the banner and detecting line
    DWORD exitCode;
    uint64_t elapsedMs;
};

// Test listings show the case's name, not its bytes.
void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

class RunSequenceConsole : public testing::TestWithParam<RunCase> {};

TEST_P(RunSequenceConsole, PrintsExactBytes) {
    const RunCase& c = GetParam();
    sim::RunResult r = RunClean(c.pc());
    EXPECT_EQ(r.console, kBanner + c.console);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.elapsedMs, c.elapsedMs);
    EXPECT_TRUE(sim::CurrentWorld().pc.files.empty()); // the log is off
}

// Dots: one as soon as the thread runs, then one a second of virtual time while unpaused.
INSTANTIATE_TEST_SUITE_P(
    Runs, RunSequenceConsole,
    testing::Values(
        RunCase{"PhonePresent", SlowRepairPc, std::string(".") + kUpdating + ".." + kUpdated, 0,
                2500},
        RunCase{"NoPhoneTwice", NoPhonePc, std::string(".") + kPrompt + kExiting, 1, 2000},
        RunCase{"StdinLineAfterFourSeconds", StdinLineLaterPc,
                std::string(".") + kPrompt + kExiting, 1, 6000},
        RunCase{"PhoneOnlyAfterEnter", PhoneAfterEnterPc,
                std::string(".") + kPrompt + kUpdating + ".." + kUpdated, 0, 6500},
        RunCase{"NoThreadPhonePresent", [] { return NoThreadPc(SlowRepairPc()); },
                std::string(kUpdating) + kUpdated, 0, 2500},
        RunCase{"NoThreadNoPhone", [] { return NoThreadPc(NoPhonePc()); },
                std::string(kPrompt) + kExiting, 1, 2000},
        RunCase{"RepairLookupFailsWith5", [] { return LookupFailsPc(5); },
                std::string(".") + kUpdating + kFailed5, 5, 0},
        RunCase{"RepairLookupFailsWithSetupApiCode", [] { return LookupFailsPc(0xE0000203); },
                std::string(".") + kUpdating + kFailedE0000203, 0xE0000203, 0},
        RunCase{"InstallerFailsEveryAttempt", InstallerFailsPc,
                std::string(".") + kUpdating + std::string(14, '.') + kFailedE0000203, 0xE0000203,
                15000}),
    [](const testing::TestParamInfo<RunCase>& info) { return info.param.name; });

TEST(RunSequence, NoPhoneTwiceNeverStartsTheRepair) {
    sim::RunResult r = RunClean(EmptyPc(), {"-l"});
    EXPECT_EQ(r.exitCode, 1u);
    std::string log = sim::LogFileBytes();
    EXPECT_EQ(Count(log, "remove devices: {"), 2u); // both detections ran
    EXPECT_EQ(Count(log, "Update ADB Device Driver"), 0u);
    EXPECT_EQ(Count(log, "update devices: {"), 0u);
    EXPECT_EQ(Count(r.console, "Driver updated"), 0u);
    EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
    // The run ends on the exiting text, without a line feed after it.
    EXPECT_TRUE(r.console.ends_with(kExiting));
}

TEST(RunSequence, NoDotFromPromptUntilUpdating) {
    sim::RunResult r = RunClean(PhoneAfterEnterPc());
    size_t prompt = r.console.find(kPrompt);
    size_t updating = r.console.find(kUpdating);
    ASSERT_NE(prompt, std::string::npos);
    ASSERT_NE(updating, std::string::npos);
    EXPECT_EQ(prompt + strlen(kPrompt), updating);
    // The second detection found the phone and the repair ran on it.
    ASSERT_EQ(sim::CurrentWorld().installCalls.size(), 1u);
    EXPECT_EQ(sim::CurrentWorld().installCalls[0].hardwareId, kPhoneHardwareId);
}

struct SwitchCase {
    std::vector<std::string> args;
    bool logOn;
};

void PrintTo(const SwitchCase& c, std::ostream* os) {
    for (const std::string& arg : c.args)
        *os << "'" << arg << "' ";
}

class LogSwitch : public testing::TestWithParam<SwitchCase> {};

TEST_P(LogSwitch, OnlyTheSecondCharacterOfTheFirstArgumentCounts) {
    const SwitchCase& c = GetParam();
    sim::RunResult r = RunClean(PhonePc("usbccgp"), c.args);
    EXPECT_EQ(r.exitCode, 0u);
    std::string log = sim::LogFileBytes();
    if (c.logOn) {
        EXPECT_EQ(Count(log, "\tUpdate ADB Device Driver ...\r\n"), 1u);
        EXPECT_EQ(Count(r.console, "\nUpdating driver...Update ADB Device Driver ...\n"), 1u);
    } else {
        EXPECT_TRUE(sim::CurrentWorld().pc.files.empty());
        EXPECT_EQ(r.console, std::string(kBanner) + ".\nUpdating driver...\nDriver updated.\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, LogSwitch,
                         testing::Values(SwitchCase{{"-l"}, true}, SwitchCase{{"/L"}, true},
                                         SwitchCase{{"xl"}, true}, SwitchCase{{"-log"}, true},
                                         SwitchCase{{"-l", "extra"}, true},
                                         SwitchCase{{"l"}, false}, SwitchCase{{"L"}, false},
                                         SwitchCase{{"log"}, false}, SwitchCase{{""}, false},
                                         SwitchCase{{}, false}, SwitchCase{{"a", "-l"}, false},
                                         SwitchCase{{"-k"}, false}));

TEST(RunSequence, SameScenarioTwiceGivesSameBytesAndTrace) {
    // The typical repair: a failed attempt, ADB on, success, ADB off; log on, dots throughout.
    sim::Pc pc = PhonePc("WinUSB");
    pc.installer.failWhileAdbOff = 0xE0000203;
    pc.installer.ms = 700;

    sim::RunResult first = sim::RunTool(pc, {"-l"}, true);
    std::string firstLog = sim::LogFileBytes();
    std::vector<std::string> firstTrace = sim::CurrentWorld().trace;
    sim::RunResult second = sim::RunTool(pc, {"-l"}, true);
    sim::CurrentWorld().tracing = false;

    EXPECT_EQ(first.leaks, std::vector<std::string>{});
    EXPECT_EQ(second.leaks, std::vector<std::string>{});
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_GT(Count(first.console, "."), 10u);
    EXPECT_FALSE(firstLog.empty());
    EXPECT_FALSE(firstTrace.empty());
    EXPECT_EQ(second.console, first.console);
    EXPECT_EQ(second.exitCode, first.exitCode);
    EXPECT_EQ(sim::LogFileBytes(), firstLog);
    EXPECT_EQ(sim::CurrentWorld().trace, firstTrace);
    // Every traced call is also a record, with its time and thread.
    ASSERT_EQ(sim::CurrentWorld().calls.size(), sim::CurrentWorld().trace.size());
    EXPECT_EQ(sim::CurrentWorld().calls.back().function, "process");
    EXPECT_EQ(sim::CurrentWorld().calls.back().args, "exit 0");
    EXPECT_EQ(sim::CurrentWorld().calls.back().atMs, second.elapsedMs);
}

// The paused thread looks at the flags every 200 ms, so its first dot after "Updating driver..."
// comes within 200 ms of the unpause, whenever the user pressed Enter. A thread that looked only
// once a second would print the same bytes here, a little later.
TEST(RunSequence, FirstDotWithin200MsOfTheUnpause) {
    for (uint64_t enterAfterMs : {3000u, 3150u, 3390u, 3777u, 3999u}) {
        SCOPED_TRACE("Enter after " + std::to_string(enterAfterMs) + " ms");
        sim::Pc pc = PhoneAfterEnterPc();
        pc.stdinAfterMs = enterAfterMs;
        RunClean(pc);
        const std::vector<sim::ConsolePiece>& pieces = sim::CurrentWorld().consolePieces;
        auto updating = std::find_if(pieces.begin(), pieces.end(), [](const sim::ConsolePiece& p) {
            return p.text == kUpdating;
        });
        ASSERT_NE(updating, pieces.end());
        auto dot = std::find_if(updating, pieces.end(),
                                [](const sim::ConsolePiece& p) { return p.text == "."; });
        ASSERT_NE(dot, pieces.end());
        EXPECT_LE(dot->atMs - updating->atMs, 200u);
    }
}

TEST(RunSequence, EveryRunStartsWithTheProcessWideVariablesAtTheirStart) {
    // What a run leaves behind (log on and resolved, dots paused or running) must not reach the
    // next one, whichever way it starts: the tool, TurnAdb alone, or a body in a process.
    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE(start);
        g_bLogEnabled = 1;
        strcpy(g_szLogPath, "C:\\stale\\_QEL_InstallerUpdata.log");
        g_bRunning.store(1);
        g_bPaused.store(1);
        sim::Pc pc = EmptyPc();
        int logEnabled = -1, running = -1, paused = -1;
        std::string path = "unset";
        auto look = [&] {
            logEnabled = g_bLogEnabled;
            path = g_szLogPath;
            running = g_bRunning.load();
            paused = g_bPaused.load();
        };
        if (start == 0) {
            sim::StartBareProcess(pc);
            look();
        } else if (start == 1) {
            RunInProcess(pc, false, look);
        } else {
            sim::RunTurnAdb(pc, true, kPhoneSerial, false);
            look(); // TurnAdb touches none of them
        }
        EXPECT_EQ(logEnabled, 0);
        EXPECT_EQ(path, "");
        EXPECT_EQ(running, 0);
        EXPECT_EQ(paused, 0);
    }
}
