// The ADB mode command: the pass-through request as the disk receives it, and how the outcome of
// the control call becomes the result.
#include "test_support.h"

#include "adb/adb_command.h"

#include <cstdint>

using namespace qtest;

namespace {

// One field of the request as the phone's firmware reads it: little-endian, at a fixed offset.
struct Field {
    const char* name;
    size_t offset;
    size_t width;
    uint32_t value;
};

// Every nonzero field of the request; the rest of the 592 bytes is zero.
const Field kRequestFields[] = {
    {"Length", 0, 2, 44},
    {"TargetId", 4, 1, 1},
    {"CdbLength", 6, 1, 6},
    {"SenseInfoLength", 7, 1, 32},
    {"DataIn", 8, 1, 1},
    {"DataTransferLength", 12, 4, 512},
    {"TimeOutValue", 16, 4, 5000},
    {"DataBufferOffset", 20, 4, 80},
    {"SenseInfoOffset", 24, 4, 48},
    {"Cdb[0] operation", 28, 1, 0x16},
    {"Cdb[1] 'q'", 29, 1, 0x71},
    {"Cdb[2] 'e'", 30, 1, 0x65},
    {"Cdb[3] 'l'", 31, 1, 0x6C},
    {"Cdb[4]", 32, 1, 0x80},
};
const size_t kModeOffset = 33;

std::vector<uint8_t> ExpectedRequest(uint8_t mode) {
    std::vector<uint8_t> bytes(592, 0);
    for (const Field& field : kRequestFields)
        for (size_t b = 0; b < field.width; ++b)
            bytes[field.offset + b] = (uint8_t)(field.value >> (8 * b));
    bytes[kModeOffset] = mode;
    return bytes;
}

sim::Pc OneDiskPc(std::vector<sim::Outcome> replies = {}) {
    sim::Pc pc = PhonePc();
    pc.disks.at(0).replies = std::move(replies);
    return pc;
}

HANDLE OpenPhoneDisk() {
    return CreateFileA(kPhoneDiskPath, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

// Opens the phone's disk in a fresh process and sends it one command; returns the result.
BOOL SendOnce(const sim::Pc& pc, BOOL on, bool log = true) {
    BOOL result = -1;
    std::vector<std::string> leaks = RunInProcess(pc, log, [&] {
        HANDLE disk = OpenPhoneDisk();
        ASSERT_NE(disk, INVALID_HANDLE_VALUE);
        result = SendAdbModeCommand(disk, on);
        CloseHandle(disk);
    });
    EXPECT_EQ(leaks, std::vector<std::string>{});
    return result;
}

TEST(AdbModeCommand, RequestBytesForBothModes) {
    for (BOOL on : {TRUE, FALSE}) {
        SCOPED_TRACE(on ? "on" : "off");
        ASSERT_TRUE(SendOnce(OneDiskPc(), on));
        ASSERT_EQ(sim::CurrentWorld().adbRequests.size(), 1u);
        const sim::AdbRequest& request = sim::CurrentWorld().adbRequests[0];
        EXPECT_EQ(request.ioctl, 0x4D004u);
        EXPECT_EQ(request.inLength, 44u);
        EXPECT_EQ(request.outLength, 592u);
        std::vector<uint8_t> expected = ExpectedRequest(on ? 1 : 2);
        ASSERT_EQ(request.bytes.size(), expected.size());
        for (size_t offset = 0; offset < expected.size(); ++offset)
            EXPECT_EQ(request.bytes[offset], expected[offset]) << "byte " << offset;
    }
}

TEST(AdbModeCommand, NullHandleSendsNothing) {
    BOOL result = -1;
    DWORD lastError = 0;
    std::vector<std::string> leaks = RunInProcess(PhonePc(), true, [&] {
        SetLastError(1234);
        result = SendAdbModeCommand(NULL, TRUE);
        lastError = GetLastError();
    });
    EXPECT_EQ(leaks, std::vector<std::string>{});
    EXPECT_FALSE(result);
    // A control call on any handle would have set the last error or left a request.
    EXPECT_EQ(lastError, 1234u);
    EXPECT_TRUE(sim::CurrentWorld().adbRequests.empty());
    EXPECT_EQ(sim::LogFileBytes(), "");
    EXPECT_EQ(sim::CurrentWorld().console, "");
}

struct ReplyCase {
    const char* name;
    sim::Outcome reply;
    BOOL on;
    BOOL result;
    std::vector<std::string> log;
};

TEST(AdbModeCommand, ReplyBecomesResult) {
    const ReplyCase cases[] = {
        {"accepted", {}, TRUE, TRUE, {}},
        {"accepted after a while", {0, 3000, false}, FALSE, TRUE, {}},
        {"device gone",
         {ERROR_DEV_NOT_EXIST, 0, false},
         TRUE,
         TRUE,
         {"turn on/off ADB fail: 37\n"}},
        {"device vanishes", {0, 0, true}, FALSE, TRUE, {"turn on/off ADB fail: 37\n"}},
        {"general failure",
         {ERROR_GEN_FAILURE, 0, false},
         TRUE,
         FALSE,
         {"turn on/off ADB fail: 1f\n"}},
        {"general failure, off",
         {ERROR_GEN_FAILURE, 0, false},
         FALSE,
         FALSE,
         {"turn on/off ADB fail: 1f\n"}},
        {"large code", {0xE000020B, 0, false}, TRUE, FALSE, {"turn on/off ADB fail: e000020b\n"}},
        {"completed with check condition", {0, 0, false, 2}, TRUE, TRUE, {}},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SendOnce(OneDiskPc({c.reply}), c.on), c.result);
        EXPECT_EQ(LoggedTexts(sim::LogFileBytes()), c.log);
        ASSERT_EQ(sim::CurrentWorld().adbRequests.size(), 1u);
        EXPECT_EQ(sim::CurrentWorld().adbRequests[0].error != 0, !c.log.empty());
    }
}

TEST(AdbModeCommand, FailureWithLogOffWritesNothing) {
    EXPECT_FALSE(SendOnce(OneDiskPc({{ERROR_GEN_FAILURE, 0, false}}), TRUE, false));
    EXPECT_EQ(sim::LogFileBytes(), "");
    EXPECT_EQ(sim::CurrentWorld().console, "");
}

// The storage stack checks a pass-through request before it goes to the device: a request
// that breaks a rule fails with ERROR_INVALID_PARAMETER (a field no request may carry) or
// ERROR_INVALID_USER_BUFFER (areas outside the output buffer) and never reaches the phone.
struct PassThroughCase {
    const char* name;
    std::function<void(SCSI_PASS_THROUGH&)> change;
    DWORD inLength;
    DWORD outLength;
    DWORD error; // 0: the request passes and reaches the phone
};

TEST(AdbModeCommand, StorageStackChecksThePassThroughRequest) {
    auto same = [](SCSI_PASS_THROUGH&) {};
    const PassThroughCase cases[] = {
        {"the tool's own request", same, 44, 592, 0},
        {"Length not the header's size", [](SCSI_PASS_THROUGH& h) { h.Length = 40; }, 44, 592,
         ERROR_INVALID_PARAMETER},
        {"input shorter than the header", same, 43, 592, ERROR_INVALID_PARAMETER},
        {"CdbLength 16", [](SCSI_PASS_THROUGH& h) { h.CdbLength = 16; }, 44, 592, 0},
        {"CdbLength 17", [](SCSI_PASS_THROUGH& h) { h.CdbLength = 17; }, 44, 592,
         ERROR_INVALID_PARAMETER},
        {"DataIn out", [](SCSI_PASS_THROUGH& h) { h.DataIn = SCSI_IOCTL_DATA_OUT; }, 44, 592, 0},
        {"DataIn unspecified", [](SCSI_PASS_THROUGH& h) { h.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED; },
         44, 592, 0},
        {"DataIn 3", [](SCSI_PASS_THROUGH& h) { h.DataIn = 3; }, 44, 592, ERROR_INVALID_PARAMETER},
        {"TimeOutValue 1", [](SCSI_PASS_THROUGH& h) { h.TimeOutValue = 1; }, 44, 592, 0},
        {"TimeOutValue 0", [](SCSI_PASS_THROUGH& h) { h.TimeOutValue = 0; }, 44, 592,
         ERROR_INVALID_PARAMETER},
        {"output one byte short of the data area's end", same, 44, 591, ERROR_INVALID_USER_BUFFER},
        {"data offset behind the output", [](SCSI_PASS_THROUGH& h) { h.DataBufferOffset = 600; },
         44, 592, ERROR_INVALID_USER_BUFFER},
        {"data offset inside the header", [](SCSI_PASS_THROUGH& h) { h.DataBufferOffset = 40; }, 44,
         592, ERROR_INVALID_USER_BUFFER},
        {"sense area past the output's end", [](SCSI_PASS_THROUGH& h) { h.SenseInfoOffset = 561; },
         44, 592, ERROR_INVALID_USER_BUFFER},
        {"sense offset inside the header", [](SCSI_PASS_THROUGH& h) { h.SenseInfoOffset = 12; }, 44,
         592, ERROR_INVALID_USER_BUFFER},
        {"no data, no sense: offsets unused",
         [](SCSI_PASS_THROUGH& h) {
             h.DataTransferLength = 0;
             h.SenseInfoLength = 0;
             h.DataBufferOffset = h.SenseInfoOffset = 5000;
         },
         44, 44, 0},
    };
    for (const PassThroughCase& c : cases) {
        SCOPED_TRACE(c.name);
        BOOL sent = FALSE;
        DWORD error = 0;
        std::vector<std::string> leaks =
            RunInProcess(OneDiskPc({{ERROR_GEN_FAILURE, 0, false}}), false, [&] {
                HANDLE disk = OpenPhoneDisk();
                AdbModeRequest request;
                BuildAdbModeRequest(&request, TRUE);
                c.change(request.Header);
                DWORD returned = 0;
                SetLastError(0xDEADBEEF);
                sent = DeviceIoControl(disk, IOCTL_SCSI_PASS_THROUGH, &request, c.inLength,
                                       &request, c.outLength, &returned, NULL);
                error = GetLastError();
                CloseHandle(disk);
            });
        EXPECT_EQ(leaks, std::vector<std::string>{});
        EXPECT_FALSE(sent);
        // A request that reached the phone got its scripted answer; a refused one did not.
        EXPECT_EQ(error, c.error ? c.error : (DWORD)ERROR_GEN_FAILURE);
        EXPECT_EQ(sim::CurrentWorld().diskReplyIndex.size(), c.error ? 0u : 1u);
    }
}

} // namespace
