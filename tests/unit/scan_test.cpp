#include "test_support.h"

#include "device/scan.h"

#include <cstdio>

using namespace qtest;

// The records as 32-bit Windows checks them in cbSize.
static_assert(sizeof(SP_DEVINFO_DATA) == 28);
static_assert(sizeof(SP_DEVINFO_LIST_DETAIL_DATA_A) == 287);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);

namespace {

const char kHub[] = "USB\\ROOT_HUB30\\4&1B2F3A4&0&0";

GUID ClassGuid(unsigned i) {
    GUID guid = kUsbClassGuid;
    guid.Data1 = 0xA0000000u + i;
    return guid;
}

std::string Header(const char* title, const GUID& guid) {
    return std::string(title) + ": " + sim::Lower(sim::GuidText(guid)) + " ...\n";
}

sim::Device MakeDevice(const std::string& id) {
    sim::Device device;
    device.instanceId = id;
    return device;
}

// A PC with n setup classes named "USB", each holding one ordinary device.
sim::Pc ClassesPc(unsigned n) {
    sim::Pc pc = EmptyPc();
    pc.classes.clear();
    for (unsigned i = 0; i < n; ++i) {
        sim::SetupClass usb;
        usb.guid = ClassGuid(i);
        std::string id = "USB\\VID_8087&PID_0A2B\\" + std::to_string(i);
        usb.devices.push_back(MakeDevice(id));
        sim::SetService(pc, id, "BTHUSB");
        pc.classes.push_back(usb);
    }
    return pc;
}

// A phone composite device on WinUSB with its own product number and serial.
std::string AddPhone(sim::Pc& pc, size_t classIndex, int number) {
    char id[64];
    snprintf(id, sizeof(id), "USB\\VID_1E3F&PID_0C%02d\\QELSERIAL%02d", number, number);
    pc.classes.at(classIndex).devices.push_back(MakeDevice(id));
    sim::SetService(pc, id, "WinUSB");
    return id;
}

struct ScanResult {
    DWORD result;
    std::vector<std::string> log; // messages as logged, without their prefixes
};

ScanResult Scan(const sim::Pc& pc, DWORD (*scan)(void), bool trace = false) {
    ScanResult r{};
    EXPECT_EQ(RunInProcess(
                  pc, true, [&] { r.result = scan(); }, trace),
              std::vector<std::string>{});
    for (std::string message : LogMessages(sim::LogFileBytes())) {
        // As the tool wrote them: the file stores each line feed as CR LF.
        for (size_t at = message.find("\r\n"); at != std::string::npos; at = message.find("\r\n"))
            message.erase(at, 1);
        r.log.push_back(message);
    }
    return r;
}

size_t CountStarting(const std::vector<std::string>& log, const std::string& start) {
    size_t n = 0;
    for (const std::string& line : log)
        n += line.rfind(start, 0) == 0;
    return n;
}

// How many instance-ID reads the trace holds; with failedOnly, only those that failed.
size_t IdReads(bool failedOnly) {
    size_t reads = 0;
    for (const sim::CallRecord& call : sim::CurrentWorld().calls)
        reads += call.function == "CM_Get_Device_ID_ExA" &&
                 (!failedOnly || call.result.rfind("CR_SUCCESS", 0) != 0);
    return reads;
}

} // namespace

TEST(ClassLookup, CountZeroWalksNothing) {
    sim::Pc pc = ClassesPc(2);
    for (sim::SetupClass& c : pc.classes)
        c.name = "Image";
    for (auto scan : {DetectDevice, UpdateAllDevices}) {
        ScanResult r = Scan(pc, scan);
        EXPECT_EQ(r.result, 0u);
        EXPECT_EQ(r.log, std::vector<std::string>{});
        EXPECT_EQ(sim::CurrentWorld().lookupCalls, 1u);
    }
}

TEST(ClassLookup, InsufficientBufferIsRepeatedWithTheReportedCount) {
    sim::Pc pc = ClassesPc(20);
    pc.lookupFaults = {{ERROR_INSUFFICIENT_BUFFER, 20}};
    ScanResult r = Scan(pc, UpdateAllDevices, true);
    EXPECT_EQ(r.result, 0u);
    std::vector<std::string> headers;
    for (unsigned i = 0; i < 20; ++i) {
        headers.push_back(Header("update devices", ClassGuid(i)));
        headers.push_back("Attempt update Device : USB\\VID_8087&PID_0A2B\\" + std::to_string(i) +
                          "\n");
    }
    EXPECT_EQ(r.log, headers);
    EXPECT_EQ(sim::CurrentWorld().lookupCalls, 2u);
    std::vector<std::string> lookups;
    for (const sim::CallRecord& call : sim::CurrentWorld().calls)
        if (call.function == "SetupDiClassGuidsFromNameExA")
            lookups.push_back(call.args + " = " + call.result);
    EXPECT_EQ(lookups, (std::vector<std::string>{"\"USB\", 16 = FALSE (122) count=20",
                                                 "\"USB\", 20 = TRUE count=20"}));
}

TEST(ClassLookup, DetectionWalksMoreClassesThanTheFirstListHolds) {
    // No fault scripted: twenty classes do not fit the first list of sixteen.
    ScanResult r = Scan(ClassesPc(20), DetectDevice);
    EXPECT_EQ(r.result, 0u);
    ASSERT_EQ(CountStarting(r.log, "remove devices: {"), 20u);
    for (unsigned i = 0; i < 20; ++i)
        EXPECT_EQ(r.log[2 * i], Header("remove devices", ClassGuid(i)));
}

TEST(ClassLookup, OtherLookupErrorIsTheResult) {
    sim::Pc pc = PhonePc();
    pc.lookupFaults = {{ERROR_ACCESS_DENIED, 0}};
    for (auto scan : {DetectDevice, UpdateAllDevices}) {
        ScanResult r = Scan(pc, scan);
        EXPECT_EQ(r.result, 5u);
        EXPECT_EQ(r.log, std::vector<std::string>{});
        EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
    }
}

TEST(ClassLookup, ListThatCannotBeAllocatedGives122) {
    struct Case {
        const char* name;
        sim::Pc pc;
    } cases[] = {
        {"first list", PhonePc()},
        {"second list", ClassesPc(20)},
        {"count too large to allocate", PhonePc()},
    };
    cases[0].pc.failAllocs = {1};
    cases[1].pc.failAllocs = {2};
    cases[2].pc.lookupFaults = {{ERROR_INSUFFICIENT_BUFFER, 0xFFFFFFFFu}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto scan : {DetectDevice, UpdateAllDevices}) {
            ScanResult r = Scan(c.pc, scan);
            EXPECT_EQ(r.result, 122u);
            EXPECT_EQ(r.log, std::vector<std::string>{});
        }
    }
}

TEST(Detection, VendorPrefixIgnoresLetterCase) {
    const struct {
        const char* id;
        DWORD found;
    } cases[] = {
        {"USB\\VID_1E3F&PID_0C02\\QEL0123456789", 1},
        {"usb\\vid_1e3f&pid_0c02\\qel0123456789", 1},
        {"USB\\VID_1E3F&PID_0C02&MI_00\\6&2A1F3C&0&0000", 1}, // an interface counts too
        {"USB\\VID_1E3F&PID_0", 1},                           // exactly the 18 characters
        {"USB\\VID_1E3F&PID_1C02\\QEL0123456789", 0},
        {"USB\\VID_1E3F&PID_9C02\\QEL0123456789", 0},
        {"USB\\VID_1E3F&PID_", 0},
        {"USB\\VID_1E3", 0},
        {"", 0},
        {"USB\\VID_1E3E&PID_0C02\\QEL0123456789", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        sim::Pc pc = EmptyPc();
        AddDevice(pc, c.id);
        ScanResult r = Scan(pc, DetectDevice);
        EXPECT_EQ(r.result, c.found);
        EXPECT_EQ(r.log.back(), std::string("Check Device : ") + c.id + "\n");
    }
}

TEST(Detection, UnreadableDeviceCountsAsAFindAndEndsTheWalk) {
    for (bool listDetail : {true, false}) {
        SCOPED_TRACE(listDetail ? "list details unreadable" : "instance ID unreadable");
        sim::Pc pc = EmptyPc(); // hub first
        sim::Device bad = MakeDevice("USB\\VID_0BDA&PID_8153\\000001");
        if (listDetail)
            bad.listDetailFails = true;
        else
            bad.idResult = CR_NO_SUCH_DEVNODE;
        Devices(pc).push_back(bad);
        AddDevice(pc, "USB\\VID_046D&PID_C52B\\5&1F");
        sim::SetupClass second;
        second.guid = kSecondUsbClassGuid;
        pc.classes.push_back(second);

        ScanResult r = Scan(pc, DetectDevice);
        EXPECT_EQ(r.result, 1u);
        EXPECT_EQ(r.log, (std::vector<std::string>{Header("remove devices", kUsbClassGuid),
                                                   std::string("Check Device : ") + kHub + "\n"}));
    }
}

TEST(RepairPass, SkipsDeviceWithUnreadableListDetails) {
    sim::Pc pc = EmptyPc();
    sim::Device bad = MakeDevice("USB\\VID_0BDA&PID_8153\\000001");
    bad.listDetailFails = true;
    Devices(pc).push_back(bad);
    AddDevice(pc, "USB\\VID_046D&PID_C52B\\5&1F");
    ScanResult r = Scan(pc, UpdateAllDevices, true);
    EXPECT_EQ(r.result, 0u);
    EXPECT_EQ(r.log,
              (std::vector<std::string>{Header("update devices", kUsbClassGuid),
                                        std::string("Attempt update Device : ") + kHub + "\n",
                                        "Attempt update Device : USB\\VID_046D&PID_C52B\\5&1F\n"}));
    // The skipped device's ID was never asked for.
    EXPECT_EQ(IdReads(false), 2u);
}

TEST(RepairPass, HandsDeviceWithUnreadableIdToTheRepair) {
    sim::Pc pc = EmptyPc();
    sim::Device bad = MakeDevice("USB\\VID_0BDA&PID_8153\\000001");
    bad.idResult = CR_NO_SUCH_DEVNODE;
    Devices(pc).push_back(bad);
    AddDevice(pc, "USB\\VID_046D&PID_C52B\\5&1F");
    ScanResult r = Scan(pc, UpdateAllDevices, true);
    EXPECT_EQ(r.result, 0u);
    EXPECT_EQ(IdReads(true), 1u);
    EXPECT_EQ(CountStarting(r.log, "Attempt update Device : "), 2u);
}

TEST(Scan, ClassWhoseSetCannotBeMadeHoldsNothing) {
    sim::Pc pc = ClassesPc(2);
    AddPhone(pc, 0, 2);
    pc.classes[0].setError = ERROR_INVALID_DATA;

    ScanResult detect = Scan(pc, DetectDevice);
    EXPECT_EQ(detect.result, 0u);
    EXPECT_EQ(detect.log, (std::vector<std::string>{Header("remove devices", ClassGuid(0)),
                                                    Header("remove devices", ClassGuid(1)),
                                                    "Check Device : USB\\VID_8087&PID_0A2B\\1\n"}));

    ScanResult repair = Scan(pc, UpdateAllDevices);
    EXPECT_EQ(repair.result, 0u);
    EXPECT_EQ(repair.log,
              (std::vector<std::string>{Header("update devices", ClassGuid(0)),
                                        Header("update devices", ClassGuid(1)),
                                        "Attempt update Device : USB\\VID_8087&PID_0A2B\\1\n"}));
    EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
}

TEST(Scan, EnumerationFailureEndsTheClassWalk) {
    for (DWORD error : {ERROR_INVALID_DATA, ERROR_NO_MORE_ITEMS, ERROR_ACCESS_DENIED}) {
        SCOPED_TRACE(error);
        sim::Pc pc = ClassesPc(2);
        AddDevice(pc, kHub);
        AddPhone(pc, 0, 2);
        pc.classes[0].enumFailsAt = 2;
        pc.classes[0].enumError = error;

        ScanResult detect = Scan(pc, DetectDevice);
        EXPECT_EQ(detect.result, 0u);
        EXPECT_EQ(CountStarting(detect.log, "Check Device : "), 3u); // two here, one in class 1
        EXPECT_EQ(CountStarting(detect.log, "remove devices: "), 2u);

        ScanResult repair = Scan(pc, UpdateAllDevices);
        EXPECT_EQ(repair.result, 0u);
        EXPECT_EQ(CountStarting(repair.log, "Attempt update Device : "), 3u);
        EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
    }
}

TEST(Scan, PhoneInTheFirstClassEndsDetectionButNotTheRepairPass) {
    sim::Pc pc = ClassesPc(3);
    AddPhone(pc, 0, 2);
    pc.classes[0].devices.push_back(MakeDevice("USB\\VID_046D&PID_C52B\\5&1F"));

    ScanResult detect = Scan(pc, DetectDevice);
    EXPECT_EQ(detect.result, 1u);
    EXPECT_EQ(detect.log,
              (std::vector<std::string>{Header("remove devices", ClassGuid(0)),
                                        "Check Device : USB\\VID_8087&PID_0A2B\\0\n",
                                        "Check Device : USB\\VID_1E3F&PID_0C02\\QELSERIAL02\n"}));

    ScanResult repair = Scan(pc, UpdateAllDevices);
    EXPECT_EQ(repair.result, 0u);
    EXPECT_EQ(CountStarting(repair.log, "update devices: {"), 3u);
    EXPECT_EQ(CountStarting(repair.log, "Attempt update Device : "), 5u);
    ASSERT_EQ(sim::CurrentWorld().installCalls.size(), 1u);
}

// Installer outcomes that make each phone's repair give the wanted result: ten failed
// attempts for an error, one successful attempt for 0.
static std::vector<sim::Outcome> OutcomesFor(const std::vector<DWORD>& results) {
    std::vector<sim::Outcome> outcomes;
    for (DWORD result : results) {
        if (result == 0)
            outcomes.push_back(sim::Outcome{});
        else
            outcomes.insert(outcomes.end(), 10, sim::Outcome{result, 0, false});
    }
    return outcomes;
}

TEST(RepairPass, LastNonzeroDeviceResultWinsWithinAClass) {
    sim::Pc pc = ClassesPc(1);
    for (int phone = 1; phone <= 3; ++phone)
        AddPhone(pc, 0, phone);
    pc.installer.outcomes = OutcomesFor({7, 0, 0});
    DWORD result = 0;
    EXPECT_EQ(RunInProcess(pc, false, [&] { result = UpdateDevicesInClass(ClassGuid(0)); }),
              std::vector<std::string>{});
    EXPECT_EQ(result, 7u);
    EXPECT_EQ(sim::CurrentWorld().installCalls.size(), 12u);
}

TEST(RepairPass, LastNonzeroClassResultWins) {
    const struct {
        std::vector<DWORD> classResults;
        DWORD pass;
    } cases[] = {
        {{5, 0, 31}, 31}, {{5, 31, 0}, 31}, {{0, 0, 0}, 0}, {{0xE0000203, 0, 0}, 0xE0000203}};
    for (const auto& c : cases) {
        sim::Pc pc = ClassesPc(3);
        for (size_t i = 0; i < 3; ++i)
            AddPhone(pc, i, (int)i + 1);
        pc.installer.outcomes = OutcomesFor(c.classResults);
        ScanResult r = Scan(pc, UpdateAllDevices);
        EXPECT_EQ(r.result, c.pass);
        EXPECT_EQ(CountStarting(r.log, "update devices: {"), 3u);
    }
}

TEST(Records, WrongSizeIsRefusedWithInvalidUserBuffer) {
    sim::Pc pc = PhonePc();
    EXPECT_EQ(RunInProcess(pc, false,
                           [] {
                               HDEVINFO set = SetupDiGetClassDevsExA(
                                   &kUsbClassGuid, NULL, NULL, DIGCF_PRESENT, NULL, NULL, NULL);
                               ASSERT_NE(set, INVALID_HANDLE_VALUE);
                               SP_DEVINFO_DATA device{};
                               device.cbSize = sizeof(device) + 4;
                               EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
                               EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
                               EXPECT_EQ(GetLastError(), 1784u);

                               device.cbSize = sizeof(device);
                               ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &device));
                               SP_DEVINFO_LIST_DETAIL_DATA_A detail{};
                               detail.cbSize = sizeof(detail) + 1;
                               EXPECT_FALSE(SetupDiGetDeviceInfoListDetailA(set, &detail));
                               EXPECT_EQ(GetLastError(), 1784u);
                               detail.cbSize = sizeof(detail);
                               EXPECT_TRUE(SetupDiGetDeviceInfoListDetailA(set, &detail));

                               EXPECT_EQ(sim::CurrentWorld().violations.size(), 2u);
                               sim::CurrentWorld().violations.clear();
                               SetupDiDestroyDeviceInfoList(set);
                           }),
              std::vector<std::string>{});
}
