// The repair of one device, seen through whole runs of the tool on the simulated PC.
#include "test_support.h"

#include <cstring>
#include <functional>

using namespace qtest;

namespace {

const DWORD kInstallFailed = 0xE0000203; // ERROR_NO_DRIVER_SELECTED as the installer reports it
const char kPackage[] = "C:\\Windows\\inf\\usb.inf";

sim::RegKey& PhoneKey(sim::Pc& pc) {
    return pc.registry.at(sim::Lower(sim::EnumKeyPath(kPhoneId)));
}

// Runs with the log on and the trace kept; every resource must be released.
sim::RunResult RunLogged(const sim::Pc& pc) {
    sim::RunResult r = sim::RunTool(pc, {"-l"}, true);
    EXPECT_EQ(r.leaks, std::vector<std::string>{});
    return r;
}

// What the main thread did in the last traced run, each entry as "@<ms> <what>": the echoed log
// lines without their line feed, "TurnAdb" where a switch call began (its own lines left out),
// "LoadLibrary" and "FreeLibrary".
std::vector<std::string> MainEvents() {
    static const char* const kTurnAdbLines[] = {
        "InterfaceDevice : ", "Attempt to turn ", "Failed to open ADB device ",
        "turn on/off ADB fail", "SetupDiGetClassDevs error"};
    std::vector<std::string> events;
    for (const sim::CallRecord& call : sim::CurrentWorld().calls) {
        if (call.thread != "main")
            continue;
        std::string what;
        if (call.function == "console") {
            what = call.args;
            if (!what.empty() && what.back() == '\n')
                what.pop_back();
            if (what.rfind("DeviceFilter: ", 0) == 0)
                what = "TurnAdb";
            for (const char* skip : kTurnAdbLines)
                if (what.rfind(skip, 0) == 0)
                    what.clear();
        } else if (call.function == "LoadLibraryA") {
            what = "LoadLibrary";
        } else if (call.function == "FreeLibrary") {
            what = "FreeLibrary";
        }
        if (!what.empty())
            events.push_back("@" + std::to_string(call.atMs) + " " + what);
    }
    return events;
}

// The main thread's events from the "Attempt update Device" line of id up to the next device's
// or the run's closing text.
std::vector<std::string> RepairEvents(const std::string& id) {
    std::vector<std::string> all = MainEvents(), repair;
    bool inside = false;
    for (const std::string& event : all) {
        bool attempt = event.find(" Attempt update Device : ") != std::string::npos;
        bool runText = event[event.find(' ') + 1] == '\n'; // "\nDriver updated." and the like
        if ((attempt || runText) && inside)
            break;
        if (attempt && event.size() > id.size() &&
            event.compare(event.size() - id.size(), id.size(), id) == 0 &&
            event[event.size() - id.size() - 1] == ' ')
            inside = true;
        if (inside)
            repair.push_back(event);
    }
    return repair;
}

// TRUE when the last traced run called function (on the main thread when mainOnly), with args
// when they are given.
bool Called(const std::string& function, const std::string& args = "", bool mainOnly = false) {
    for (const sim::CallRecord& call : sim::CurrentWorld().calls)
        if (call.function == function && (args.empty() || call.args == args) &&
            (!mainOnly || call.thread == "main"))
            return true;
    return false;
}

// The lines every repair target writes before the installer is loaded.
std::vector<std::string> RegistryLines(const std::string& id, const std::string& service) {
    return {"@0 Attempt update Device : " + id,
            "@0 check usb composite: SYSTEM\\CurrentControlSet\\Enum\\" + id,
            "@0 " + id + ": Service = " + service};
}

template <typename Item> std::vector<Item> Concat(std::vector<Item> a, const std::vector<Item>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string At(uint64_t ms, const std::string& what) {
    return "@" + std::to_string(ms) + " " + what;
}

std::vector<uint8_t> AdbModes() {
    std::vector<uint8_t> modes;
    for (const sim::AdbRequest& r : sim::CurrentWorld().adbRequests)
        modes.push_back(r.bytes.at(33));
    return modes;
}

} // namespace

// ---- Which devices are repair targets ----------------------------------------------------------

TEST(UpdateDevice, DevicesThatAreNoTargetGetOnlyTheirAttemptLine) {
    const char* const ids[] = {
        "USB\\VID_1E3E&PID_0C02\\QEL0123456789",         // another vendor
        "USB\\VID_1E3F&PID_1C02\\QEL0123456789",         // the last prefix character differs
        "USB\\VID_1E3F&PID_0C02&MI_00\\6&2A1F3C&0&0000", // an interface of the phone
        "usb\\vid_1e3f&pid_0c02&mi_01\\6&2a1f3c&0&0001", // the same in lower case
        "USB\\VID_1E3F&PID_0C02\\",                      // no serial: 22 characters
        "USB\\VID_1E3F&PID_0C02&",                       // 22 characters with the marker
        "USB\\VID_1E3F&PID_0C02",                        // nothing at position 21
        "USB\\VID_1E3F&PID_0",                           // the bare prefix
    };
    for (const char* id : ids) {
        SCOPED_TRACE(id);
        // The phone is already served, so nothing but the extra device could reach the installer;
        // its key names another driver, so reading it would start a repair.
        sim::Pc pc = PhonePc("usbccgp");
        AddDevice(pc, id, "WinUSB");
        sim::Disk ownDisk;
        ownDisk.path = "\\\\?\\scsi#disk&ven_wdc&prod_wd10#4&1a2b&0&000000#"
                       "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
        pc.disks.push_back(ownDisk);
        sim::RunResult r = RunLogged(pc);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(RepairEvents(id),
                  std::vector<std::string>{"@0 Attempt update Device : " + std::string(id)});
        const std::string enumKey = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\";
        EXPECT_FALSE(Called("RegOpenKeyExA", enumKey + id));
        EXPECT_TRUE(Called("RegOpenKeyExA", enumKey + kPhoneId)); // the probe works
        EXPECT_FALSE(Called("LoadLibraryA"));
        EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
        EXPECT_TRUE(sim::CurrentWorld().adbRequests.empty()); // no empty serial reached the disks
        EXPECT_EQ(Count(sim::LogFileBytes(), "DeviceFilter"), 0u);
    }
}

TEST(UpdateDevice, PrefixInLowerCaseIsATargetAndKeepsItsCase) {
    const std::string id = "usb\\vid_1e3f&pid_0c02\\Qel0123456789";
    sim::Pc pc = EmptyPc();
    AddDevice(pc, id, "WinUSB");
    sim::Disk disk;
    disk.path = kPhoneDiskPath;
    disk.phoneSerial = kPhoneSerial;
    pc.disks.push_back(disk);
    pc.installer.failWhileAdbOff = kInstallFailed;
    sim::RunResult r = RunLogged(pc);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(sim::CurrentWorld().installCalls.size(), 2u);
    EXPECT_EQ(sim::CurrentWorld().installCalls[1].hardwareId, "usb\\vid_1e3f&pid_0c02");
    EXPECT_EQ(Count(sim::LogFileBytes(), "Updating driver for Device : usb\\vid_1e3f&pid_0c02\r\n"),
              1u);
    // The serial goes to TurnAdb as read; the switch lower-cases it for its filter.
    EXPECT_EQ(Count(sim::LogFileBytes(), "DeviceFilter: qel0123456789\r\n"), 2u);
    EXPECT_EQ(AdbModes(), (std::vector<uint8_t>{1, 2}));
}

// ---- The registry test -------------------------------------------------------------------------

TEST(UpdateDevice, ServiceValueDecidesWhetherTheInstallerRuns) {
    auto text = [](const std::string& s, bool zero) {
        std::vector<uint8_t> bytes(s.begin(), s.end());
        if (zero)
            bytes.push_back(0);
        return bytes;
    };
    const std::string a255(255, 'a');
    auto service = [](const std::vector<uint8_t>& bytes, DWORD type = REG_SZ) {
        return [bytes, type](sim::Pc& pc) { PhoneKey(pc).values["service"] = {type, bytes}; };
    };
    struct Case {
        const char* name;
        std::function<void(sim::Pc&)> setup;
        const char* serviceLine; // nullptr: no "Service =" line
        bool installs;
    } cases[] = {
        {"NoKey", [](sim::Pc& pc) { pc.registry.erase(sim::Lower(sim::EnumKeyPath(kPhoneId))); },
         nullptr, true},
        {"KeyOpenError", [](sim::Pc& pc) { PhoneKey(pc).openError = ERROR_ACCESS_DENIED; }, nullptr,
         true},
        {"NoServiceValue", [](sim::Pc& pc) { PhoneKey(pc).values.clear(); }, nullptr, true},
        {"ServiceIsDword", service({1, 0, 0, 0}, REG_DWORD), nullptr, true},
        {"UsbccgpAsExpandSz", service(text("usbccgp", true), REG_EXPAND_SZ), nullptr, true},
        {"LongerThanTheBuffer", service(text(a255, true)), nullptr, true},
        {"FillsTheBufferWithoutZero", service(text(a255, false)), a255.c_str(), true},
        {"UsbccgpWithoutZero", service(text("usbccgp", false)), "usbccgp", false},
        {"UsbccgpInCapitals", service(text("USBCCGP", true)), "USBCCGP", false},
        {"UsbccgpMixedCase", service(text("UsbCcGp", true)), "UsbCcGp", false},
        {"UsbccgpWithTrailingSpace", service(text("usbccgp ", true)), "usbccgp ", true},
        {"AnotherDriver", [](sim::Pc&) {}, "WinUSB", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Pc pc = PhonePc("WinUSB");
        c.setup(pc);
        sim::RunResult r = RunLogged(pc);
        EXPECT_EQ(r.exitCode, 0u);
        std::vector<std::string> expected =
            RegistryLines(kPhoneId, c.serviceLine ? c.serviceLine : "");
        if (!c.serviceLine)
            expected.pop_back();
        if (c.installs)
            expected = Concat(expected,
                              {"@0 LoadLibrary",
                               "@0 Updating driver for Device : " + std::string(kPhoneHardwareId),
                               "@0 Success to Update driver for " + std::string(kPhoneHardwareId) +
                                   " from " + kPackage,
                               "@0 FreeLibrary"});
        EXPECT_EQ(RepairEvents(kPhoneId), expected);
        EXPECT_EQ(sim::CurrentWorld().installCalls.size(), c.installs ? 1u : 0u);
    }
}

// ---- The attempts ------------------------------------------------------------------------------

TEST(UpdateDevice, FirstAttemptSucceedsWithoutAdbOrWaits) {
    sim::RunResult r = RunLogged(PhonePc("WinUSB"));
    EXPECT_EQ(r.exitCode, 0u);
    const std::string hw = kPhoneHardwareId;
    EXPECT_EQ(
        RepairEvents(kPhoneId),
        Concat(RegistryLines(kPhoneId, "WinUSB"),
               {"@0 LoadLibrary", "@0 Updating driver for Device : " + hw,
                "@0 Success to Update driver for " + hw + " from " + kPackage, "@0 FreeLibrary"}));
    EXPECT_FALSE(Called("Sleep", "", true));
    EXPECT_TRUE(sim::CurrentWorld().adbRequests.empty());
    EXPECT_EQ(r.elapsedMs, 0u);
}

TEST(UpdateDevice, InstallerGetsHardwareIdPackageAndForceFlag) {
    sim::Pc pc = PhonePc("WinUSB");
    pc.windowsDir = "D:\\WINNT";
    RunLogged(pc);
    ASSERT_EQ(sim::CurrentWorld().installCalls.size(), 1u);
    const sim::InstallCall& call = sim::CurrentWorld().installCalls[0];
    EXPECT_EQ(call.hardwareId, "USB\\VID_1E3F&PID_0C02");
    EXPECT_EQ(call.infPath, "D:\\WINNT\\inf\\usb.inf");
    EXPECT_EQ(call.flags, 1u);
    EXPECT_EQ(call.error, 0u);
}

// The typical run: the first attempt fails while ADB is off, the second succeeds once it is on.
TEST(UpdateDevice, FailedAttemptSwitchesAdbOnThenOffAfterTheSuccess) {
    sim::Pc pc = PhonePc("WinUSB");
    pc.installer.failWhileAdbOff = kInstallFailed;
    sim::RunResult r = RunLogged(pc);
    EXPECT_EQ(r.exitCode, 0u);
    const std::string hw = kPhoneHardwareId;
    EXPECT_EQ(
        RepairEvents(kPhoneId),
        Concat(RegistryLines(kPhoneId, "WinUSB"),
               {"@0 LoadLibrary", "@0 Updating driver for Device : " + hw,
                "@0 Open ADB Device for " + hw + "...", "@0 TurnAdb",
                "@1000 Success to Update driver for " + hw + " from " + kPackage,
                "@1000 Close ADB Device for " + hw + "...", "@5000 TurnAdb", "@6000 FreeLibrary"}));
    EXPECT_EQ(AdbModes(), (std::vector<uint8_t>{1, 2}));
    ASSERT_EQ(sim::CurrentWorld().installCalls.size(), 2u);
    EXPECT_EQ(sim::CurrentWorld().installCalls[0].error, kInstallFailed);
    EXPECT_EQ(sim::CurrentWorld().installCalls[1].atMs, 1000u);
}

TEST(UpdateDevice, AdbNeverOnGivesTenSwitchOnCallsAndNoSwitchOff) {
    sim::Pc pc = PhonePc("WinUSB");
    pc.disks.clear(); // each switch call then looks twice, 1000 ms apart, and finds nothing
    pc.installer.failWhileAdbOff = kInstallFailed;
    sim::RunResult r = RunLogged(pc);
    EXPECT_EQ(r.exitCode, kInstallFailed);
    const std::string hw = kPhoneHardwareId;
    std::vector<std::string> expected =
        Concat(RegistryLines(kPhoneId, "WinUSB"),
               {"@0 LoadLibrary", "@0 Updating driver for Device : " + hw});
    for (uint64_t attempt = 0; attempt < 10; ++attempt) {
        expected.push_back(At(attempt * 2000, "Open ADB Device for " + hw + "..."));
        expected.push_back(At(attempt * 2000, "TurnAdb"));
    }
    expected.push_back(
        At(20000, "Fail to Update driver for " + hw + " from " + kPackage + ", error: E0000203"));
    expected.push_back("@20000 FreeLibrary");
    EXPECT_EQ(RepairEvents(kPhoneId), expected);
    EXPECT_EQ(sim::CurrentWorld().installCalls.size(), 10u);
    EXPECT_EQ(Count(sim::LogFileBytes(), "retry="), 0u);
}

TEST(UpdateDevice, EveryAttemptFailingOnceAdbIsOnGivesRetryLinesAndTheTenthCode) {
    sim::Pc pc = PhonePc("WinUSB");
    // The first failure switches ADB on; the tenth attempt's code is the one that stays.
    for (int attempt = 0; attempt < 10; ++attempt)
        pc.installer.outcomes.push_back({attempt == 0  ? kInstallFailed
                                         : attempt < 9 ? 0xE000020Bu
                                                       : DWORD{2}});
    sim::RunResult r = RunLogged(pc);
    EXPECT_EQ(r.exitCode, 2u); // ERROR_FILE_NOT_FOUND
    const std::string hw = kPhoneHardwareId;
    const std::string fail = "Fail to Update driver for " + hw + " from " + kPackage + ", error: ";
    std::vector<std::string> expected =
        Concat(RegistryLines(kPhoneId, "WinUSB"),
               {"@0 LoadLibrary", "@0 Updating driver for Device : " + hw,
                "@0 Open ADB Device for " + hw + "...", "@0 TurnAdb"});
    for (int retry = 1; retry <= 9; ++retry)
        expected.push_back(At(retry * 1000u, fail + (retry < 9 ? "E000020B" : "00000002") +
                                                 " retry=" + std::to_string(retry)));
    expected = Concat(expected,
                      {"@10000 " + fail + "00000002", "@10000 Close ADB Device for " + hw + "...",
                       "@14000 TurnAdb", "@15000 FreeLibrary"});
    EXPECT_EQ(RepairEvents(kPhoneId), expected);
    EXPECT_EQ(AdbModes(), (std::vector<uint8_t>{1, 2}));
}

TEST(UpdateDevice, SwitchOffStopsAtTheFirstAcceptedCallAndGivesUpAfterFour) {
    const sim::Outcome refused{ERROR_GEN_FAILURE};
    struct Case {
        const char* name;
        std::function<void(sim::Disk&)> setup;
        std::vector<uint64_t> offCallsAt; // the switch-off calls, after "Close" at 1000 ms
        uint64_t freedAt;
    } cases[] = {
        // A refusing disk takes 20 x 1000 ms and the pass's 1000 ms per switch call.
        {"RefusesEveryOffCommand",
         [&](sim::Disk& d) {
             d.replies.push_back({});
             d.replies.insert(d.replies.end(), 80, refused);
         },
         {5000, 27000, 49000, 71000},
         93000},
        // A disk that is gone makes each switch call look twice: 2000 ms.
        {"GoneAfterSwitchingOn",
         [](sim::Disk& d) { d.presentUntilMs = 1; },
         {5000, 8000, 11000, 14000},
         17000},
        {"AcceptsTheSecondOffCall",
         [&](sim::Disk& d) {
             d.replies.push_back({});
             d.replies.insert(d.replies.end(), 20, refused);
         },
         {5000, 27000},
         28000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Pc pc = PhonePc("WinUSB");
        pc.installer.failWhileAdbOff = kInstallFailed;
        c.setup(pc.disks.at(0));
        sim::RunResult r = RunLogged(pc);
        EXPECT_EQ(r.exitCode, 0u); // how the switch-off ends changes nothing
        const std::string hw = kPhoneHardwareId;
        std::vector<std::string> expected =
            Concat(RegistryLines(kPhoneId, "WinUSB"),
                   {"@0 LoadLibrary", "@0 Updating driver for Device : " + hw,
                    "@0 Open ADB Device for " + hw + "...", "@0 TurnAdb",
                    "@1000 Success to Update driver for " + hw + " from " + kPackage,
                    "@1000 Close ADB Device for " + hw + "..."});
        for (uint64_t at : c.offCallsAt)
            expected.push_back(At(at, "TurnAdb"));
        expected.push_back(At(c.freedAt, "FreeLibrary"));
        EXPECT_EQ(RepairEvents(kPhoneId), expected);
    }
}

// ---- Failures before the first attempt ---------------------------------------------------------

TEST(UpdateDevice, InstallerLoadAndExportFailuresArePrintedWithTheLogOff) {
    struct Case {
        DWORD loadError, exportError;
        const char* line;
        const char* closing;
    } cases[] = {
        {ERROR_MOD_NOT_FOUND, 0, "Update LoadLibrary error: 126\n",
         "\nDriver update failed, error 0x0000007E.\n"},
        {0x8007007E, 0, "Update LoadLibrary error: -2147024770\n",
         "\nDriver update failed, error 0x8007007E.\n"},
        {0, ERROR_PROC_NOT_FOUND, "Update GetProcAddress error: 127\n",
         "\nDriver update failed, error 0x0000007F.\n"},
    };
    static const char kStart[] = "===============================\n"
                                 "QEL Android driver update tool\n"
                                 "===============================\n"
                                 "\nDetecting \"QEL Tarrow\" on your PC....\nUpdating driver...";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        sim::Pc pc = PhonePc("WinUSB");
        pc.installer.loadError = c.loadError;
        pc.installer.exportError = c.exportError;
        sim::RunResult off = RunClean(pc);
        EXPECT_TRUE(off.console.starts_with(std::string(kStart) + c.line + c.closing));
        EXPECT_EQ(off.exitCode, c.loadError ? c.loadError : c.exportError);
        EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
        EXPECT_TRUE(sim::CurrentWorld().adbRequests.empty());

        // With the log on the line is printed once and stays out of the log.
        sim::RunResult on = RunLogged(pc);
        EXPECT_EQ(Count(on.console, c.line), 1u);
        EXPECT_EQ(Count(sim::LogFileBytes(), "Update "), 1u); // "Update ADB Device Driver ..."
        std::vector<std::string> expected = RegistryLines(kPhoneId, "WinUSB");
        expected.push_back("@0 LoadLibrary");
        expected.push_back("@0 " + std::string(c.line, strlen(c.line) - 1));
        if (c.exportError)
            expected.push_back("@0 FreeLibrary");
        EXPECT_EQ(RepairEvents(kPhoneId), expected);
    }
}

TEST(UpdateDevice, UnusablePackagePathFreesTheLibraryAndCallsNoInstaller) {
    const std::string longest(247, 'W'); // + "\inf\usb.inf" and its zero fills 260
    struct Case {
        const char* name;
        std::string windowsDir;
        DWORD windowsDirError;
        DWORD exitCode;
        std::string line; // what the repair logs about it
    } cases[] = {
        {"DirectoryUnreadable", "C:\\Windows", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         "Cannot read the Windows directory for USB\\VID_1E3F&PID_0C02, error: 00000005"},
        {"UnreadableWithoutReason", "", 0, ERROR_PATH_NOT_FOUND,
         "Cannot read the Windows directory for USB\\VID_1E3F&PID_0C02, error: 00000003"},
        {"OneCharacterTooLong", longest + "W", 0, ERROR_FILENAME_EXCED_RANGE,
         "Driver package path too long for USB\\VID_1E3F&PID_0C02: " + longest + "W"},
        // The directory did not fit the buffer at all: the call stored none of it.
        {"LongerThanTheBuffer", std::string(300, 'W'), 0, ERROR_FILENAME_EXCED_RANGE,
         "Driver package path too long for USB\\VID_1E3F&PID_0C02: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Pc pc = PhonePc("WinUSB");
        pc.windowsDir = c.windowsDir;
        pc.windowsDirError = c.windowsDirError;
        sim::RunResult r = RunLogged(pc);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
        EXPECT_EQ(RepairEvents(kPhoneId),
                  Concat(RegistryLines(kPhoneId, "WinUSB"),
                         {"@0 LoadLibrary", "@0 " + c.line, "@0 FreeLibrary"}));
    }

    sim::Pc pc = PhonePc("WinUSB");
    pc.windowsDir = longest;
    sim::RunResult r = RunLogged(pc);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(sim::CurrentWorld().installCalls.size(), 1u);
    EXPECT_EQ(sim::CurrentWorld().installCalls[0].infPath, longest + "\\inf\\usb.inf");
}

// ---- Results over several devices --------------------------------------------------------------

TEST(UpdateDevice, LastNonzeroResultOverTheDevicesIsTheExitCode) {
    const char kFirst[] = "USB\\VID_1E3F&PID_0C02\\QELA000000001";
    const char kSecond[] = "USB\\VID_1E3F&PID_0C03\\QELB000000002";
    const std::vector<sim::Outcome> ok = {{0}};
    const std::vector<sim::Outcome> failsX(10, sim::Outcome{kInstallFailed});
    const std::vector<sim::Outcome> failsY(10, sim::Outcome{ERROR_ACCESS_DENIED});
    struct Case {
        const char* name;
        std::vector<sim::Outcome> first, second;
        DWORD exitCode;
    } cases[] = {
        {"FirstFailsSecondSucceeds", failsX, ok, kInstallFailed},
        {"FirstSucceedsSecondFails", ok, failsY, ERROR_ACCESS_DENIED},
        {"BothFail", failsX, failsY, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Pc pc = EmptyPc(); // no disks: ADB never comes on
        AddDevice(pc, kFirst, "WinUSB");
        AddDevice(pc, kSecond, "WinUSB");
        pc.installer.outcomes = Concat(c.first, c.second);
        sim::RunResult r = RunClean(pc);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(sim::CurrentWorld().installCalls.size(), c.first.size() + c.second.size());
    }
}
