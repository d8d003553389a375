// The ADB mode switch: which disks are found by the serial, how often and when each is
// commanded, and what the switch reports.
#include "sim/scenario.h"
#include "test_support.h"

#include <algorithm>
#include <cstring>

using namespace qtest;

namespace {

const char kDiskGuid[] = "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const std::string kOtherDiskPath =
    std::string("\\\\?\\ide#diskst1000dm010-2ep102#5&1a2b3c4&0&0.0.0") + kDiskGuid;
// The phone's second disk interface (its memory card), also named by its serial.
const std::string kPhoneCardPath =
    std::string("\\\\?\\usbstor#disk&ven_qel&prod_tarrow_card&rev_0001#qel0123456789&1") +
    kDiskGuid;
const std::string kLowerSerial = "qel0123456789";

sim::Disk MakeDisk(const std::string& path, std::vector<sim::Outcome> replies = {}) {
    sim::Disk disk;
    disk.path = path;
    disk.phoneSerial = sim::Lower(path).find(kLowerSerial) != std::string::npos ? kPhoneSerial : "";
    disk.replies = std::move(replies);
    return disk;
}

// The phone's devices, with these disks in this enumeration order.
sim::Pc PcWithDisks(std::vector<sim::Disk> disks) {
    sim::Pc pc = PhonePc();
    pc.disks = std::move(disks);
    return pc;
}

std::vector<sim::Outcome> Refusals(size_t count, DWORD error = ERROR_GEN_FAILURE) {
    return std::vector<sim::Outcome>(count, sim::Outcome{error, 0, false});
}

std::vector<std::string> Log() {
    return LoggedTexts(sim::LogFileBytes());
}

std::vector<std::string> RequestPaths() {
    std::vector<std::string> paths;
    for (const sim::AdbRequest& request : sim::CurrentWorld().adbRequests)
        paths.push_back(request.diskPath);
    return paths;
}

std::vector<uint64_t> RequestTimes() {
    std::vector<uint64_t> times;
    for (const sim::AdbRequest& request : sim::CurrentWorld().adbRequests)
        times.push_back(request.atMs);
    return times;
}

// The main thread's calls to the disk walk, the disks and the clock; memory, case mapping,
// time stamps and console writes left out.
std::vector<sim::CallRecord> MainCalls() {
    static const char* const kBookkeeping[] = {"GlobalAlloc", "GlobalFree", "LCMapStringA",
                                               "GetSystemTime", "console"};
    std::vector<sim::CallRecord> calls;
    for (const sim::CallRecord& call : sim::CurrentWorld().calls) {
        bool bookkeeping = false;
        for (const char* function : kBookkeeping)
            bookkeeping = bookkeeping || call.function == function;
        if (call.thread == "main" && !bookkeeping)
            calls.push_back(call);
    }
    return calls;
}

bool IsCall(const sim::CallRecord& call, const std::string& function, const std::string& args) {
    return call.function == function && call.args == args;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (StartsWith(line, prefix))
            found.push_back(line);
    return found;
}

std::string PathOfLength(size_t length) {
    std::string head = "\\\\?\\scsi#disk&ven_big&prod_array#";
    std::string path =
        head + std::string(length - head.size() - strlen(kDiskGuid), 'x') + kDiskGuid;
    EXPECT_EQ(path.size(), length);
    return path;
}

TEST(TurnAdb, SerialAndPathsMatchWhateverTheirCase) {
    const std::string mixedPath =
        "\\\\?\\USBSTOR#Disk&Ven_QEL&Prod_Tarrow&Rev_0001#QEL0123456789&0#"
        "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}";
    const std::string lowerPath = sim::Lower(mixedPath);
    for (const char* serial : {"QEL0123456789", "qel0123456789", "qEl0123456789"}) {
        SCOPED_TRACE(serial);
        sim::RunResult r = RunTurnAdbClean(PcWithDisks({MakeDisk(mixedPath)}), true, serial, true);
        EXPECT_EQ(r.exitCode, 1u);
        EXPECT_EQ(Log(), (std::vector<std::string>{
                             "DeviceFilter: qel0123456789\n",
                             "InterfaceDevice : " + mixedPath + "\n",
                             "Attempt to turn on ADB for " + lowerPath + "\n",
                         }));
        std::vector<sim::CallRecord> calls = MainCalls();
        EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const sim::CallRecord& call) {
            return IsCall(call, "CreateFileA", "\"" + lowerPath + "\"") &&
                   call.result.rfind("handle", 0) == 0;
        }));
        EXPECT_EQ(RequestPaths(), std::vector<std::string>{lowerPath});
    }
}

TEST(TurnAdb, FilterMayMatchAnywhereInThePath) {
    sim::RunResult r = RunTurnAdbClean(
        PcWithDisks({MakeDisk(kOtherDiskPath), MakeDisk(kPhoneDiskPath)}), true, "Prod_Tarrow");
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(RequestPaths(), std::vector<std::string>{kPhoneDiskPath});
}

TEST(TurnAdb, EmptySerialCommandsEveryDiskInOrder) {
    sim::RunResult r = RunTurnAdbClean(
        PcWithDisks({MakeDisk(kOtherDiskPath), MakeDisk(kPhoneDiskPath)}), false, "");
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(RequestPaths(), (std::vector<std::string>{kOtherDiskPath, kPhoneDiskPath}));
    EXPECT_EQ(Log().front(), "DeviceFilter: \n");
}

TEST(TurnAdb, EveryMatchingPathIsCommandedInOrder) {
    // The first disk accepts at its second attempt; the second is commanded all the same.
    sim::RunResult r =
        RunTurnAdbClean(PcWithDisks({MakeDisk(kPhoneDiskPath, Refusals(1)),
                                     MakeDisk(kOtherDiskPath), MakeDisk(kPhoneCardPath)}),
                        true, kPhoneSerial);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(RequestPaths(),
              (std::vector<std::string>{kPhoneDiskPath, kPhoneDiskPath, kPhoneCardPath}));
    EXPECT_EQ(RequestTimes(), (std::vector<uint64_t>{0, 1000, 1000}));
    EXPECT_EQ(r.elapsedMs, 2000u);
    EXPECT_EQ(sim::CurrentWorld().diskSetCalls, 1u);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "DeviceFilter: qel0123456789\n",
                         "InterfaceDevice : " + std::string(kPhoneDiskPath) + "\n",
                         "InterfaceDevice : " + kOtherDiskPath + "\n",
                         "InterfaceDevice : " + kPhoneCardPath + "\n",
                         "Attempt to turn on ADB for " + std::string(kPhoneDiskPath) + "\n",
                         "turn on/off ADB fail: 1f\n",
                         "Attempt to turn on ADB for " + kPhoneCardPath + "\n",
                     }));
}

TEST(TurnAdb, LaterPathAcceptingAloneIsEnough) {
    sim::RunResult r = RunTurnAdbClean(
        PcWithDisks({MakeDisk(kPhoneDiskPath, Refusals(20)), MakeDisk(kPhoneCardPath)}), true,
        kPhoneSerial);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(sim::CurrentWorld().adbRequests.size(), 21u);
    EXPECT_EQ(sim::CurrentWorld().adbRequests.back().diskPath, kPhoneCardPath);
}

TEST(TurnAdb, NoMatchInEitherPass) {
    for (bool anyDisk : {false, true}) {
        SCOPED_TRACE(anyDisk ? "another disk" : "no disk");
        sim::Pc pc = PcWithDisks({});
        if (anyDisk)
            pc.disks.push_back(MakeDisk(kOtherDiskPath));
        sim::RunResult r = RunTurnAdbClean(pc, true, kPhoneSerial, true);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.elapsedMs, 2000u);
        EXPECT_EQ(sim::CurrentWorld().diskSetCalls, 2u);
        EXPECT_TRUE(sim::CurrentWorld().adbRequests.empty());
        EXPECT_EQ(Count(r.console, "InterfaceDevice : "), anyDisk ? 2u : 0u);
        EXPECT_EQ(Count(r.console, "Attempt"), 0u);
        EXPECT_TRUE(IsCall(MainCalls().back(), "Sleep", "1000"));
    }
}

TEST(TurnAdb, OnlyMatchFailingToOpenEndsTheSearch) {
    sim::Disk phone = MakeDisk(kPhoneDiskPath);
    phone.openError = 170; // ERROR_BUSY
    sim::RunResult r =
        RunTurnAdbClean(PcWithDisks({phone, MakeDisk(kOtherDiskPath)}), true, kPhoneSerial);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.elapsedMs, 1000u);
    EXPECT_EQ(sim::CurrentWorld().diskSetCalls, 1u);
    EXPECT_TRUE(sim::CurrentWorld().adbRequests.empty());
    std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3], "Attempt to turn on ADB for " + std::string(kPhoneDiskPath) + "\n");
    EXPECT_EQ(log[4], "Failed to open ADB device " + std::string(kPhoneDiskPath) + ": aa\n");
}

struct SetFailureCase {
    std::vector<DWORD> setErrors;
    DWORD result;
    std::vector<std::string> errorLines;
};

TEST(TurnAdb, DiskSetFailing) {
    const SetFailureCase cases[] = {
        {{5, 5}, 0, {"SetupDiGetClassDevs error: 5\n", "SetupDiGetClassDevs error: 5\n"}},
        // The failed pass still waits, and the second pass finds the phone.
        {{0x6F8}, 1, {"SetupDiGetClassDevs error: 6F8\n"}},
    };
    for (const SetFailureCase& c : cases) {
        SCOPED_TRACE(c.errorLines.size());
        sim::Pc pc = PcWithDisks({MakeDisk(kPhoneDiskPath)});
        pc.diskSetErrors = c.setErrors;
        sim::RunResult r = RunTurnAdbClean(pc, true, kPhoneSerial);
        EXPECT_EQ(r.exitCode, c.result);
        EXPECT_EQ(r.elapsedMs, 2000u);
        EXPECT_EQ(LinesStartingWith(Log(), "SetupDiGetClassDevs"), c.errorLines);
        EXPECT_EQ(sim::CurrentWorld().adbRequests.size(), c.result);
        if (c.result) {
            EXPECT_EQ(sim::CurrentWorld().adbRequests[0].atMs, 1000u);
        }
    }
}

TEST(TurnAdb, FirstAttemptAcceptedClosesAtOnceThenWaits) {
    sim::RunResult r =
        RunTurnAdbClean(PcWithDisks({MakeDisk(kPhoneDiskPath)}), true, kPhoneSerial, true);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.elapsedMs, 1000u);
    std::vector<sim::CallRecord> calls = MainCalls();
    auto command = std::find_if(calls.begin(), calls.end(), [](const sim::CallRecord& call) {
        return call.function == "DeviceIoControl";
    });
    ASSERT_LE(command + 3, calls.end());
    EXPECT_EQ(command[0].args, "\"" + std::string(kPhoneDiskPath) +
                                   "\", 0x4d004, in 44, out 592, cdb 16 71 65 6C 80 01");
    EXPECT_EQ(command[0].result, "TRUE (0)");
    EXPECT_EQ(command[1].function, "CloseHandle");
    EXPECT_TRUE(IsCall(command[2], "Sleep", "1000"));
    EXPECT_EQ(Count(r.console, "turn on/off"), 0u);
}

struct RetryCase {
    const char* name;
    std::vector<sim::Outcome> replies;
    DWORD result;
    size_t requests;
    uint64_t elapsedMs;
    std::vector<std::string> failLines;
};

TEST(TurnAdb, RefusedCommandsAreRetriedUpToTwentyTimes) {
    std::vector<sim::Outcome> slowRefusals = Refusals(20);
    for (sim::Outcome& reply : slowRefusals)
        reply.ms = 50;
    std::vector<sim::Outcome> lastChance = Refusals(19);
    lastChance.push_back({});
    const std::vector<std::string> twentyRefusedLines(20, "turn on/off ADB fail: 1f\n");
    const std::vector<std::string> gone = {"turn on/off ADB fail: 37\n"};
    const RetryCase cases[] = {
        {"twenty refusals", Refusals(20), 0, 20, 21000, twentyRefusedLines},
        {"twenty slow refusals", slowRefusals, 0, 20, 22000, twentyRefusedLines},
        {"accepted at the twentieth", lastChance, 1, 20, 20000,
         std::vector<std::string>(19, "turn on/off ADB fail: 1f\n")},
        // ERROR_DEV_NOT_EXIST counts as accepted: no more attempts on the disk.
        {"device gone",
         {{ERROR_DEV_NOT_EXIST, 0, false}, {ERROR_GEN_FAILURE, 0, false}},
         1,
         1,
         1000,
         gone},
        {"device vanishes", {{0, 0, true}}, 1, 1, 1000, gone},
    };
    for (const RetryCase& c : cases) {
        SCOPED_TRACE(c.name);
        sim::RunResult r =
            RunTurnAdbClean(PcWithDisks({MakeDisk(kPhoneDiskPath, c.replies)}), true, kPhoneSerial);
        EXPECT_EQ(r.exitCode, c.result);
        EXPECT_EQ(sim::CurrentWorld().adbRequests.size(), c.requests);
        EXPECT_EQ(r.elapsedMs, c.elapsedMs);
        EXPECT_EQ(sim::CurrentWorld().diskSetCalls, 1u);
        EXPECT_EQ(LinesStartingWith(Log(), "turn on/off"), c.failLines);
    }
}

TEST(TurnAdb, RequestsAreSpacedBySecondAfterRefusals) {
    RunTurnAdbClean(PcWithDisks({MakeDisk(kPhoneDiskPath, Refusals(20))}), true, kPhoneSerial);
    std::vector<uint64_t> expected;
    for (uint64_t i = 0; i < 20; ++i)
        expected.push_back(i * 1000);
    EXPECT_EQ(RequestTimes(), expected);
}

TEST(TurnAdb, PhoneDiskAppearingLateIsFoundInSecondPass) {
    sim::Disk phone = MakeDisk(kPhoneDiskPath);
    phone.presentFromMs = 500;
    sim::RunResult r =
        RunTurnAdbClean(PcWithDisks({MakeDisk(kOtherDiskPath), phone}), true, kPhoneSerial);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(sim::CurrentWorld().diskSetCalls, 2u);
    EXPECT_EQ(RequestTimes(), std::vector<uint64_t>{1000});
    EXPECT_EQ(r.elapsedMs, 2000u);
    EXPECT_EQ(Count(r.console, "InterfaceDevice : " + std::string(kPhoneDiskPath)), 1u);
}

struct CollectionCase {
    const char* name;
    size_t longPathLength;
    int enumFailsAt;
    int detailFailsAt;
    bool phoneFound;
};

TEST(TurnAdb, CollectionEndsAtFirstFailingInterface) {
    const CollectionCase cases[] = {
        {"1019 characters fit", 1019, -1, -1, true},
        {"1020 characters end the list", 1020, -1, -1, false},
        {"enumeration fails at 1", 100, 1, -1, false},
        {"detail fails at 1", 100, -1, 1, false},
        {"enumeration fails at 0", 100, 0, -1, false},
        {"detail fails at 0", 100, -1, 0, false},
    };
    for (const CollectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string longPath = PathOfLength(c.longPathLength);
        sim::Pc pc =
            PcWithDisks({MakeDisk(kOtherDiskPath), MakeDisk(longPath), MakeDisk(kPhoneDiskPath)});
        pc.diskEnumFailsAt = c.enumFailsAt;
        pc.diskDetailFailsAt = c.detailFailsAt;
        sim::RunResult r = RunTurnAdbClean(pc, true, kPhoneSerial);
        EXPECT_EQ(r.exitCode, c.phoneFound ? 1u : 0u);
        EXPECT_EQ(sim::CurrentWorld().diskSetCalls, c.phoneFound ? 1u : 2u);
        EXPECT_EQ(sim::CurrentWorld().adbRequests.size(), c.phoneFound ? 1u : 0u);
        EXPECT_EQ(Count(r.console, "InterfaceDevice : " + std::string(kPhoneDiskPath)),
                  c.phoneFound ? 1u : 0u);
        // The end of the list leaves no line of its own.
        for (const std::string& line : Log())
            EXPECT_TRUE(StartsWith(line, "DeviceFilter: ") ||
                        StartsWith(line, "InterfaceDevice : ") ||
                        StartsWith(line, "Attempt to turn on"))
                << line;
    }
}

TEST(TurnAdb, PhoneAdbStateFollowsTheMode) {
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        sim::Pc pc = PcWithDisks({MakeDisk(kPhoneDiskPath)});
        Devices(pc).at(1).adbOn = !on;
        ASSERT_EQ(Devices(pc).at(1).instanceId, kPhoneId);
        sim::RunResult r = RunTurnAdbClean(pc, on, kPhoneSerial);
        EXPECT_EQ(r.exitCode, 1u);
        EXPECT_EQ(Devices(sim::CurrentWorld().pc).at(1).adbOn, on);
        EXPECT_EQ(Count(r.console, on ? "Attempt to turn on ADB" : "Attempt to turn off ADB"), 1u);
    }
}

TEST(TurnAdb, RefusedCommandLeavesAdbAlone) {
    RunTurnAdbClean(PcWithDisks({MakeDisk(kPhoneDiskPath, Refusals(20))}), true, kPhoneSerial);
    EXPECT_FALSE(Devices(sim::CurrentWorld().pc).at(1).adbOn);
}

struct CodePageCase {
    const char* serial;
    const char* pathSerial;
};

TEST(TurnAdb, NonAsciiLettersFollowTheCodePage) {
    // Windows-1252: 0xC9 is the capital of 0xE9.
    const CodePageCase cases[] = {
        {"QEL\xC9"
         "0001",
         "qel\xE9"
         "0001"},
        {"qel\xE9"
         "0001",
         "QEL\xC9"
         "0001"},
    };
    for (const CodePageCase& c : cases) {
        SCOPED_TRACE(c.serial);
        std::string path = std::string("\\\\?\\usbstor#disk&ven_qel&prod_tarrow&rev_0001#") +
                           c.pathSerial + "&0" + kDiskGuid;
        std::string lowerPath = std::string("\\\\?\\usbstor#disk&ven_qel&prod_tarrow&rev_0001#") +
                                "qel\xE9"
                                "0001&0" +
                                kDiskGuid;
        sim::RunResult r = RunTurnAdbClean(PcWithDisks({MakeDisk(kPhoneDiskPath), MakeDisk(path)}),
                                           true, c.serial);
        EXPECT_EQ(r.exitCode, 1u);
        EXPECT_EQ(Log().at(0), "DeviceFilter: qel\xE9"
                               "0001\n");
        EXPECT_EQ(Count(r.console, "Attempt to turn on ADB for " + lowerPath + "\n"), 1u);
        ASSERT_EQ(RequestPaths(), std::vector<std::string>{lowerPath});
        EXPECT_EQ(sim::CurrentWorld().adbRequests[0].error, 0u);
    }
}

TEST(TurnAdb, LogOffWritesNothing) {
    sim::RunResult r = sim::RunTurnAdb(PcWithDisks({MakeDisk(kPhoneDiskPath, Refusals(2))}), true,
                                       kPhoneSerial, false);
    EXPECT_EQ(r.leaks, std::vector<std::string>{});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.console, "");
    EXPECT_EQ(sim::LogFileBytes(), "");
}

struct ScenarioCase {
    const char* file;
    bool on;
    DWORD result;
    uint64_t elapsedMs;
    std::vector<DWORD> requestErrors;
};

// The scenarios that show the switch with the runner do what their comments say.
TEST(TurnAdb, ScenarioFiles) {
    const ScenarioCase cases[] = {
        {"adb-on-after-refusals.toml", true, 1, 3200, {31, 31, 0}},
        {"adb-late-disk.toml", false, 1, 2000, {0}},
        {"adb-two-interfaces.toml", true, 1, 1000, {ERROR_DEV_NOT_EXIST}},
        {"adb-not-found.toml", true, 0, 2000, {}},
    };
    for (const ScenarioCase& c : cases) {
        SCOPED_TRACE(c.file);
        sim::Pc pc;
        std::string error;
        ASSERT_TRUE(
            sim::LoadScenario(std::string(QEL_SOURCE_DIR) + "/scenarios/" + c.file, &pc, &error))
            << error;
        sim::RunResult r = RunTurnAdbClean(pc, c.on, kPhoneSerial);
        EXPECT_EQ(r.exitCode, c.result);
        EXPECT_EQ(r.elapsedMs, c.elapsedMs);
        std::vector<DWORD> errors;
        for (const sim::AdbRequest& request : sim::CurrentWorld().adbRequests)
            errors.push_back(request.error);
        EXPECT_EQ(errors, c.requestErrors);
    }
}

} // namespace
