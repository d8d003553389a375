// The conformance checks' machine on the simulated PC.
#include "conformance.h"

#include "harness/process.h"

#include <cstring>

static const GUID kUsb = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
static const GUID kSecondUsb = {
    0x88BAE032, 0x5A81, 0x49F0, {0xBC, 0x3D, 0xA4, 0xFF, 0x13, 0x82, 0x16, 0xD6}};

static sim::Device MakeDevice(const char* id) {
    sim::Device device;
    device.instanceId = id;
    return device;
}

// A disk interface path of exactly `length` characters.
static std::string PathOfLength(size_t length) {
    std::string head = "\\\\?\\usbstor#disk&ven_c&prod_";
    std::string tail = "#1&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    return head + std::string(length - head.size() - tail.size(), 'p') + tail;
}

void SiteSetUp() {
    sim::Pc pc;
    pc.env["TEMP"] = kTemp;
    sim::SetupClass usb;
    usb.guid = kUsb;
    usb.devices = {MakeDevice(kHubId), MakeDevice(kDeviceId)};
    sim::SetupClass second;
    second.guid = kSecondUsb;
    pc.classes = {usb, second};
    sim::SetService(pc, kHubId, "usbhub");
    sim::SetService(pc, kDeviceId, "usbccgp");
    sim::RegKey& key = pc.registry[sim::Lower(sim::EnumKeyPath(kDeviceId))];
    key.values["number"] = sim::RegValue{REG_DWORD, {7, 0, 0, 0}};
    std::string longText(300, 'x');
    sim::RegValue longValue{REG_SZ, {longText.begin(), longText.end()}};
    longValue.data.push_back(0);
    key.values["long"] = longValue;
    for (const std::string& path :
         {std::string(kDiskPath), PathOfLength(1019), PathOfLength(1020)}) {
        sim::Disk disk;
        disk.path = path;
        pc.disks.push_back(disk);
    }
    pc.missingFolders.insert("c:\\qel\\no-such-folder");
    // The site's folder named in Cyrillic, and the short name the file system gave it.
    pc.shortPaths[sim::ToUtf8(kCyrillicFolder)] = "C:\\qel\\temp\\____~J3S";
    pc.consoleProcesses = 0; // the checks run without a console
    pc.stdinRedirected = true;
    sim::StartBareProcess(pc);
}

std::string SiteFilePath() {
    return "C:\\qel\\conformance\\text-mode.txt";
}

std::string SiteMissingFolderFile() {
    return "C:\\qel\\no-such-folder\\text-mode.txt";
}

std::string SiteReadFile(const std::string& path) {
    auto it = sim::CurrentWorld().pc.files.find(sim::Lower(path));
    return it == sim::CurrentWorld().pc.files.end() ? std::string() : it->second;
}

bool SiteIsWine() {
    return false;
}

std::string SiteTearDown() {
    // The cbSize checks hand over wrong records on purpose; the sim notes each as a fault.
    sim::CurrentWorld().violations.clear();
    std::string report;
    for (const std::string& line : sim::LedgerReport())
        report += line + "\n";
    return report;
}
