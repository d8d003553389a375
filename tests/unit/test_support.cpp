#include "test_support.h"

#include "log/write_log.h"
#include "sim/scheduler.h"

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace qtest {

const GUID kUsbClassGuid = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kSecondUsbClassGuid = {
    0x88BAE032, 0x5A81, 0x49F0, {0xBC, 0x3D, 0xA4, 0xFF, 0x13, 0x82, 0x16, 0xD6}};
const char kPhoneId[] = "USB\\VID_1E3F&PID_0C02\\QEL0123456789";
const char kPhoneSerial[] = "QEL0123456789";
const char kPhoneHardwareId[] = "USB\\VID_1E3F&PID_0C02";
const char kPhoneInterfaceId[] = "USB\\VID_1E3F&PID_0C02&MI_00\\6&2A1F3C&0&0000";
const char kPhoneDiskPath[] = "\\\\?\\usbstor#disk&ven_qel&prod_tarrow&rev_0001#"
                              "qel0123456789&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const char kTemp[] = "C:\\Users\\qel\\AppData\\Local\\Temp";
const char kLogPath[] = "C:\\Users\\qel\\AppData\\Local\\Temp\\_QEL_InstallerUpdata.log";

sim::Pc EmptyPc() {
    sim::Pc pc;
    pc.clockStartMs = 1244192647012ULL; // 2009-06-05 09:04:07.012 UTC
    pc.timeZoneMinutes = 330;           // local time 5.5 h ahead: a local stamp cannot pass
    pc.env["TEMP"] = kTemp;
    sim::SetupClass usb;
    usb.guid = kUsbClassGuid;
    usb.name = "USB";
    pc.classes.push_back(usb);
    AddDevice(pc, "USB\\ROOT_HUB30\\4&1B2F3A4&0&0", "USBHUB3");
    return pc;
}

sim::Pc PhonePc(const std::string& service) {
    sim::Pc pc = EmptyPc();
    AddDevice(pc, kPhoneId, service);
    AddDevice(pc, kPhoneInterfaceId, "usbstor");
    AddDevice(pc, "USB\\VID_1E3F&PID_0C02&MI_01\\6&2A1F3C&0&0001", "WinUSB");
    sim::Disk disk;
    disk.path = kPhoneDiskPath;
    disk.phoneSerial = kPhoneSerial;
    pc.disks.push_back(disk);
    return pc;
}

std::vector<sim::Device>& Devices(sim::Pc& pc) {
    return pc.classes.at(0).devices;
}

void AddDevice(sim::Pc& pc, const std::string& id, const std::string& service) {
    sim::Device device;
    device.instanceId = id;
    pc.classes.at(0).devices.push_back(device);
    if (!service.empty())
        sim::SetService(pc, id, service);
}

std::vector<std::string> LogMessages(const std::string& logBytes) {
    // Entries start with the tag; the prefix is 42 characters for four-digit years.
    std::vector<std::string> messages;
    const std::string tag = "QELDriverFixed\t";
    size_t at = logBytes.find(tag);
    while (at != std::string::npos) {
        size_t next = logBytes.find(tag, at + 1);
        std::string entry = logBytes.substr(at, next == std::string::npos ? next : next - at);
        messages.push_back(entry.substr(42));
        at = next;
    }
    return messages;
}

sim::RunResult RunClean(const sim::Pc& pc, const std::vector<std::string>& args) {
    sim::RunResult result = sim::RunTool(pc, args);
    EXPECT_EQ(result.leaks, std::vector<std::string>{});
    return result;
}

size_t Count(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

std::vector<std::string> RunInProcess(const sim::Pc& pc, bool log,
                                      const std::function<void()>& body, bool trace) {
    sim::StartBareProcess(pc, trace);
    g_bLogEnabled = log ? 1 : 0;
    sim::RunMainThread([&body] {
        body();
        return (DWORD)0;
    });
    return sim::LedgerReport();
}

std::vector<std::string> LoggedTexts(const std::string& logBytes) {
    std::vector<std::string> texts = LogMessages(logBytes);
    for (std::string& text : texts)
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
    return texts;
}

sim::RunResult RunTurnAdbClean(const sim::Pc& pc, bool on, const std::string& serial, bool trace) {
    sim::RunResult result = sim::RunTurnAdb(pc, on, serial, true, trace);
    EXPECT_EQ(result.leaks, std::vector<std::string>{});
    return result;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

ScratchDir::ScratchDir()
    : path_(std::filesystem::temp_directory_path() / ("qel-scratch-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::filesystem::remove_all(path_);
}

RunnerOutput RunRunner(const ScratchDir& dir, const std::string& arguments) {
    std::filesystem::path out = dir.path() / "stdout", err = dir.path() / "stderr";
    std::string command = std::string("'") + QEL_SIM_RUNNER + "' " + arguments + " >'" +
                          out.string() + "' 2>'" + err.string() + "' </dev/null";
    int raw = std::system(command.c_str());
    RunnerOutput result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadBytes(out);
    result.err = ReadBytes(err);
    return result;
}

} // namespace qtest
