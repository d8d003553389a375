// What a person at the PC sees at the end of a run and can act on: the closing text and its
// advice, the restart notice, the usage text, the window that stays open, and the log that
// reaches support (its header and exit-code entries, TEMP outside the code page).
#include "test_support.h"

using namespace qtest;

namespace {

const char kBanner[] = "===============================\n"
                       "QEL Android driver update tool\n"
                       "===============================\n"
                       "\nDetecting \"QEL Tarrow\" on your PC...";
const char kHold[] = "\nPress Enter to close this window.";
const char kRestart[] = "Restart your PC to finish the update.\n";

// A phone whose installer library fails to load with code: the quickest failed repair.
sim::Pc FailingPc(DWORD code) {
    sim::Pc pc = PhonePc("WinUSB");
    pc.installer.loadError = code;
    return pc;
}

std::string Header(const char* arch, const char* windows, const char* elevation) {
    return std::string("qel-driver-fix ") + QEL_VERSION + " " + arch + ", Windows " + windows +
           ", " + elevation + "\r\n";
}

} // namespace

// ---- Closing text -------------------------------------------------------------------------------

TEST(ClosingText, TellsTheOutcomeAndOneLineOfAdviceWithoutChangingTheExitCode) {
    const std::string perLog = "Please send the log " + std::string(kLogPath) + " to support.\n";
    const std::string runAgain =
        "Run the tool again with -l and send %TEMP%\\_QEL_InstallerUpdata.log to support.\n";
    struct Case {
        DWORD code;
        bool log;
        std::string closing;
    } cases[] = {
        {ERROR_ACCESS_DENIED, false,
         "\nDriver update failed, error 0x00000005.\n"
         "Run the tool as administrator: right-click it, \"Run as administrator\".\n"},
        {ERROR_IN_WOW64, false,
         "\nDriver update failed, error 0xE0000235.\n"
         "On 64-bit Windows, keep qel-driver-fix64.exe in the same folder as this tool.\n"},
        {ERROR_MOD_NOT_FOUND, false,
         "\nDriver update failed, error 0x0000007E.\n"
         "Windows' driver installer newdev.dll is missing or damaged: run \"sfc /scannow\" as "
         "administrator.\n"},
        {ERROR_PROC_NOT_FOUND, true,
         "\nDriver update failed, error 0x0000007F.\n"
         "Windows' driver installer newdev.dll is missing or damaged: run \"sfc /scannow\" as "
         "administrator.\n"},
        {0xE0000203, false, "\nDriver update failed, error 0xE0000203.\n" + runAgain},
        {0xE0000203, true, "\nDriver update failed, error 0xE0000203.\n" + perLog},
        {1, false, "\nDriver update failed, error 0x00000001.\n" + runAgain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code << (c.log ? " log" : ""));
        sim::RunResult r = RunClean(FailingPc(c.code), c.log ? std::vector<std::string>{"-l"}
                                                             : std::vector<std::string>{});
        EXPECT_TRUE(r.console.ends_with(c.closing)) << r.console;
        EXPECT_EQ(Count(r.console, "Driver updated"), 0u);
        EXPECT_EQ(r.exitCode, c.code);
    }
    sim::RunResult ok = RunClean(PhonePc("WinUSB"));
    EXPECT_TRUE(ok.console.ends_with("\nDriver updated.\n"));
    EXPECT_EQ(ok.exitCode, 0u);
}

// ---- Restart notice -----------------------------------------------------------------------------

TEST(RestartNotice, FollowsTheInstallerFlagForOneOfTwoDevices) {
    const char kFirst[] = "USB\\VID_1E3F&PID_0C02\\QELA000000001";
    const char kSecond[] = "USB\\VID_1E3F&PID_0C03\\QELB000000002";
    sim::Pc pc = EmptyPc();
    AddDevice(pc, kFirst, "WinUSB");
    AddDevice(pc, kSecond, "WinUSB");
    sim::Outcome reboot;
    reboot.reboot = true;
    pc.installer.outcomes = {sim::Outcome{}, reboot};

    sim::RunResult r = RunClean(pc, {"-l"});
    EXPECT_EQ(r.exitCode, 0u); // callers rely on 0 for success
    EXPECT_TRUE(r.console.ends_with(std::string("\nDriver updated.\n") + kRestart)) << r.console;
    std::vector<std::string> texts = LoggedTexts(sim::LogFileBytes());
    auto success = std::find(texts.begin(), texts.end(),
                             "Success to Update driver for USB\\VID_1E3F&PID_0C03 from "
                             "C:\\Windows\\inf\\usb.inf\n");
    ASSERT_NE(success, texts.end());
    ASSERT_NE(success + 1, texts.end());
    EXPECT_EQ(success[1], "Restart required to finish the update for USB\\VID_1E3F&PID_0C03\n");
    EXPECT_EQ(Count(sim::LogFileBytes(), "Restart required"), 1u);

    // Without the flag nothing is said; a failure elsewhere still shows the notice after its
    // advice.
    pc.installer.outcomes = {sim::Outcome{}, sim::Outcome{}};
    EXPECT_EQ(Count(RunClean(pc).console, "Restart"), 0u);
    pc.installer.outcomes = {reboot};
    pc.installer.outcomes.resize(11, sim::Outcome{ERROR_ACCESS_DENIED});
    sim::RunResult failed = RunClean(pc);
    EXPECT_EQ(failed.exitCode, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(failed.console.ends_with("\"Run as administrator\".\n" + std::string(kRestart)));
}

// ---- Help and --log -----------------------------------------------------------------------------

TEST(Help, EveryFormPrintsTheUsageAndLooksAtNoDevice) {
    for (const char* form : {"/?", "-?", "-h", "/H", "-help", "/HELP", "--help", "--Help"}) {
        SCOPED_TRACE(form);
        sim::RunResult r = RunClean(PhonePc("WinUSB"), {form, "-l"});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_TRUE(r.console.starts_with(std::string("qel-driver-fix ") + QEL_VERSION + " "));
        for (const char* text : {"-l", "_QEL_InstallerUpdata.log", "administrator", "Exit codes"})
            EXPECT_NE(r.console.find(text), std::string::npos) << text;
        EXPECT_EQ(Count(r.console, "Detecting"), 0u);
        EXPECT_EQ(sim::CurrentWorld().lookupCalls, 0u);
        EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
        EXPECT_TRUE(sim::CurrentWorld().pc.files.empty());
    }
}

TEST(Help, NeighboursOfTheHelpFormsStillRunTheRepair) {
    for (const char* arg : {"/??", "?", "-he", "--h", "help", "/ ?", "-helps", "---help", "h"}) {
        SCOPED_TRACE(arg);
        sim::RunResult r = RunClean(PhonePc("WinUSB"), {arg});
        EXPECT_TRUE(r.console.starts_with(kBanner));
        EXPECT_EQ(sim::CurrentWorld().installCalls.size(), 1u);
    }
    // A help form as the second argument is ignored like every other second argument.
    EXPECT_EQ(RunClean(PhonePc("WinUSB"), {"-l", "/?"}).exitCode, 0u);
    EXPECT_EQ(sim::CurrentWorld().installCalls.size(), 1u);
}

TEST(LogSwitch, DoubleDashLogInAnyCaseSwitchesTheLogOn) {
    for (const char* arg : {"--log", "--LOG", "--Log"}) {
        SCOPED_TRACE(arg);
        RunClean(PhonePc("usbccgp"), {arg});
        EXPECT_EQ(Count(sim::LogFileBytes(), "Update ADB Device Driver"), 1u);
    }
    for (const char* arg : {"--logs", "--lo", "--l", "-"}) {
        SCOPED_TRACE(arg);
        RunClean(PhonePc("usbccgp"), {arg});
        EXPECT_TRUE(sim::CurrentWorld().pc.files.empty());
    }
}

// ---- A window that stays open -------------------------------------------------------------------

TEST(ConsoleHold, OnlyTheConsolesOwnerWaitsForEnterAfterItsLastText) {
    struct Case {
        const char* name;
        DWORD processes;
        bool redirected;
        bool holds;
    } cases[] = {
        {"OwnWindow", 1, false, true},  {"UsersConsole", 2, false, false},
        {"Script", 3, false, false},    {"OwnWindowInputRedirected", 1, true, false},
        {"NoConsole", 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Pc repair = PhonePc("WinUSB");
        sim::Pc noPhone = EmptyPc();
        for (sim::Pc* pc : {&repair, &noPhone}) {
            pc->consoleProcesses = c.processes;
            pc->stdinRedirected = c.redirected;
            pc->stdinAtEnd = false;
            pc->stdinLine = "\n\n";
        }
        sim::RunResult r = RunClean(repair);
        EXPECT_EQ(r.console.ends_with(std::string("\nDriver updated.\n") + kHold), c.holds);
        EXPECT_EQ(sim::CurrentWorld().stdinReads, c.holds ? 1u : 0u);
        EXPECT_EQ(r.exitCode, 0u);

        r = RunClean(noPhone);
        EXPECT_EQ(r.console.ends_with(std::string("\nNow exiting...") + kHold), c.holds);
        EXPECT_EQ(sim::CurrentWorld().stdinReads,
                  c.holds ? 2u : 1u); // the prompt's read, then the hold's
        EXPECT_EQ(r.exitCode, 1u);
    }
}

TEST(ConsoleHold, InputAtItsEndEndsTheWaitAtOnce) {
    sim::Pc pc = PhonePc("WinUSB");
    pc.consoleProcesses = 1;
    sim::RunResult r = RunClean(pc); // stdin at its end
    EXPECT_TRUE(r.console.ends_with(kHold));
    EXPECT_EQ(r.elapsedMs, 0u);
}

// ---- Log header and exit-code entries -----------------------------------------------------------

TEST(RunMarks, HeaderFirstAndExitCodeLastInTheFileOnly) {
    sim::Pc pc = EmptyPc(); // no phone: exit code 1
    pc.windowsMajor = 6;
    pc.windowsMinor = 1;
    pc.windowsBuild = 7601;
    pc.elevated = false;
    pc.architecture = "x86_64";
    sim::RunResult r = RunClean(pc, {"-l"});
    ASSERT_EQ(r.exitCode, 1u);
    std::vector<std::string> messages = LogMessages(sim::LogFileBytes());
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages.front(), Header("x86_64", "6.1 build 7601", "not elevated"));
    EXPECT_EQ(messages.back(), "Exit code: 0x00000001\r\n");
    EXPECT_EQ(Count(r.console, "qel-driver-fix"), 0u);
    EXPECT_EQ(Count(r.console, "Exit code"), 0u);

    // Appended runs: each framed by its own header and exit-code entry.
    sim::Pc again = sim::CurrentWorld().pc;
    RunClean(again, {"-l"});
    messages = LogMessages(sim::LogFileBytes());
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                         Header("x86_64", "6.1 build 7601", "not elevated")),
              2);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Exit code: 0x00000001\r\n"), 2);
}

// ---- TEMP outside the ANSI code page ------------------------------------------------------------

TEST(LogPath, TempOutsideTheCodePageUsesItsShortPath) {
    const std::string cyrillic =
        "C:\\Users\\\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\\AppData\\Local\\Temp";
    const std::string shortPath = "C:\\Users\\D098~1\\AppData\\Local\\Temp";
    sim::Pc pc = PhonePc("usbccgp");
    pc.env.clear();
    pc.envWide["TEMP"] = cyrillic;
    pc.shortPaths[cyrillic] = shortPath;
    sim::RunResult r = RunClean(pc, {"-l"});
    EXPECT_EQ(sim::LogFilePath(sim::CurrentWorld().pc), shortPath + "\\_QEL_InstallerUpdata.log");
    EXPECT_EQ(Count(sim::LogFileBytes(), "Update ADB Device Driver"), 1u);
    EXPECT_EQ(Count(r.console, "Update ADB Device Driver"), 1u); // echoed as usual

    // No short name (8.3 names off): the log stays off, as it always was for such a TEMP.
    pc.shortPaths.clear();
    r = RunClean(pc, {"-l"});
    EXPECT_TRUE(sim::CurrentWorld().pc.files.empty());
    EXPECT_EQ(r.console, RunClean(PhonePc("usbccgp")).console);
}

TEST(LogPath, TempThatTheCodePageHoldsIsUsedByteForByte) {
    sim::Pc pc = PhonePc("usbccgp");
    pc.env.clear();
    pc.envWide["TEMP"] = "C:\\Users\\Jos\xC3\xA9\\Temp"; // é is 0xE9 in Windows-1252
    pc.shortPaths[pc.envWide["TEMP"]] = "C:\\Users\\JOSE~1\\Temp";
    RunClean(pc, {"-l"});
    EXPECT_EQ(sim::LogFilePath(sim::CurrentWorld().pc),
              "C:\\Users\\Jos\xE9\\Temp\\_QEL_InstallerUpdata.log");
    EXPECT_EQ(Count(sim::LogFileBytes(), "Update ADB Device Driver"), 1u);
}
