// The error code is the last-error value taken right after the failing call, before any log
// line: on the simulated PC, as with the CRT on Windows, opening the log file for appending
// leaves ERROR_ALREADY_EXISTS (183) behind and a console write ERROR_INVALID_HANDLE (6), so a
// code read after a log line or console text shows as one of those.
#include "test_support.h"

using namespace qtest;

namespace {

struct LastErrorCase {
    const char* name;
    std::function<void(sim::Pc&)> setUp;
    DWORD exitCode;
    std::vector<std::string> logLines; // each in the log and its echo, in this order
    std::string consoleText;           // printed whatever the log switch
    size_t adbRequests = 0;
};

void PrintTo(const LastErrorCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kFail = std::string("Fail to Update driver for ") + kPhoneHardwareId +
                          " from C:\\Windows\\inf\\usb.inf, error: ";

class LastError : public testing::TestWithParam<LastErrorCase> {};

TEST_P(LastError, CodeIsTakenRightAfterTheFailingCall) {
    const LastErrorCase& c = GetParam();
    sim::Pc pc = PhonePc("WinUSB");
    pc.files[sim::Lower(kLogPath)] = "an earlier run\r\n"; // every open leaves 183 behind
    c.setUp(pc);
    sim::RunResult r = RunClean(pc, {"-l"});
    EXPECT_EQ(r.exitCode, c.exitCode);
    std::vector<std::string> logged = LoggedTexts(sim::LogFileBytes());
    size_t from = 0;
    for (const std::string& line : c.logLines) {
        auto at = std::find(logged.begin() + (long)from, logged.end(), line);
        EXPECT_NE(at, logged.end()) << "not logged in order: " << line;
        if (at != logged.end())
            from = (size_t)(at - logged.begin()) + 1;
        EXPECT_NE(r.console.find(line), std::string::npos) << "not echoed: " << line;
    }
    EXPECT_NE(r.console.find(c.consoleText), std::string::npos);
    EXPECT_EQ(sim::CurrentWorld().adbRequests.size(), c.adbRequests);
    EXPECT_EQ(Count(sim::LogFileBytes(), ": b7\r\n") + Count(sim::LogFileBytes(), " B7\r\n"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LastError,
    testing::Values(
        // Each attempt fails with a code of its own; the retry lines and the exit code carry
        // the attempt's, the last one's in the end.
        LastErrorCase{"RetryLinesAndExitCode",
                      [](sim::Pc& pc) {
                          for (DWORD code : {0xE0000203u, 0xE0000235u, 5u, 31u, 0xE000020Bu, 1168u,
                                             2u, 0x800F0203u, 1460u, 0xE0000247u})
                              pc.installer.outcomes.push_back({code, 0, false});
                      },
                      0xE0000247u,
                      {kFail + "E0000235 retry=1\n", kFail + "00000005 retry=2\n",
                       kFail + "0000001F retry=3\n", kFail + "E000020B retry=4\n",
                       kFail + "00000490 retry=5\n", kFail + "00000002 retry=6\n",
                       kFail + "800F0203 retry=7\n", kFail + "000005B4 retry=8\n",
                       kFail + "E0000247 retry=9\n", kFail + "E0000247\n"},
                      "",
                      2},
        LastErrorCase{"AdbCommandRefused",
                      [](sim::Pc& pc) {
                          pc.installer.outcomes = {{0xE0000203, 0, false}};
                          // The phone's disk goes away on the third: 55 counts as accepted.
                          pc.disks[0].replies = {{31, 0, false}, {1167, 0, false}, {0, 0, true}};
                      },
                      0,
                      {"turn on/off ADB fail: 1f\n", "turn on/off ADB fail: 48f\n",
                       "turn on/off ADB fail: 37\n"},
                      "",
                      3},
        LastErrorCase{"DiskCannotBeOpened",
                      [](sim::Pc& pc) {
                          pc.installer.outcomes = {{0xE0000203, 0, false}};
                          pc.disks[0].openError = 5;
                      },
                      0,
                      {std::string("Failed to open ADB device ") + kPhoneDiskPath + ": 5\n"},
                      ""},
        LastErrorCase{"DiskSetCannotBeMade",
                      [](sim::Pc& pc) {
                          pc.installer.outcomes = {{0xE0000203, 0, false}};
                          pc.diskSetErrors = {1168, 8};
                      },
                      0,
                      {"SetupDiGetClassDevs error: 490\n", "SetupDiGetClassDevs error: 8\n"},
                      ""},
        LastErrorCase{"InstallerNotLoaded",
                      [](sim::Pc& pc) { pc.installer.loadError = 1114; },
                      1114,
                      {},
                      "Update LoadLibrary error: 1114\n"},
        LastErrorCase{"InstallerExportMissing",
                      [](sim::Pc& pc) { pc.installer.exportError = 127; },
                      127,
                      {},
                      "Update GetProcAddress error: 127\n"},
        LastErrorCase{"WindowsDirectoryUnreadable",
                      [](sim::Pc& pc) { pc.windowsDirError = 1392; },
                      1392,
                      {},
                      ""},
        LastErrorCase{"ClassLookupFails",
                      [](sim::Pc& pc) {
                          pc.lookupFaults = {{1450, 0}, {1450, 0}};
                      },
                      1450,
                      {},
                      ""}),
    [](const testing::TestParamInfo<LastErrorCase>& info) { return info.param.name; });

} // namespace
