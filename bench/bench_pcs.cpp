#include "bench_pcs.h"

#include "sim/scenario.h"

#include <cstdio>
#include <cstdlib>

namespace qbench {

const char kPhoneSerial[] = "QEL0123456789";

namespace {

const char kTemp[] = "C:\\Users\\qel\\AppData\\Local\\Temp";

const GUID kClassGuids[] = {
    {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0x88BAE032, 0x5A81, 0x49F0, {0xBC, 0x3D, 0xA4, 0xFF, 0x13, 0x82, 0x16, 0xD6}},
    {0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}},
    {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},
};
const size_t kClassCount = sizeof(kClassGuids) / sizeof(kClassGuids[0]);

// Instance IDs as a busy PC shows them: hubs, HID devices, interfaces, serial-numbered devices.
struct DeviceKind {
    const char* format; // takes one unsigned: what makes the ID unique
    const char* service;
};
const DeviceKind kKinds[] = {
    {"USB\\ROOT_HUB30\\4&%X&0&0", "USBHUB3"},
    {"USB\\VID_046D&PID_C52B\\5&%X&0&2", "usbccgp"},
    {"USB\\VID_046D&PID_C52B&MI_00\\6&%X&0&0000", "HidUsb"},
    {"USB\\VID_0BDA&PID_8153\\%012X", "rtux64w10"},
    {"USB\\VID_8087&PID_0026\\5&%X&0&14", "BTHUSB"},
};

void AddDevice(sim::Pc& pc, size_t classIndex, const std::string& id, const char* service) {
    sim::Device device;
    device.instanceId = id;
    pc.classes[classIndex].devices.push_back(device);
    sim::SetService(pc, id, service);
}

sim::Pc BasePc() {
    sim::Pc pc;
    pc.name = "benchmark PC";
    pc.clockStartMs = 1796979847012ULL; // 2026-12-11 09:04:07.012 UTC
    pc.env["TEMP"] = kTemp;
    return pc;
}

} // namespace

sim::Pc LargePc(size_t devices) {
    sim::Pc pc = BasePc();
    for (const GUID& guid : kClassGuids) {
        sim::SetupClass setupClass;
        setupClass.guid = guid;
        setupClass.name = "USB";
        pc.classes.push_back(setupClass);
    }
    size_t others = devices > 2 ? devices - 2 : 0;
    for (size_t i = 0; i < others; ++i) {
        const DeviceKind& kind = kKinds[i % (sizeof(kKinds) / sizeof(kKinds[0]))];
        char id[128];
        snprintf(id, sizeof(id), kind.format, (unsigned)(0x1000000 + i));
        AddDevice(pc, i % kClassCount, id, kind.service);
    }
    AddDevice(pc, kClassCount - 1, std::string("USB\\VID_1E3F&PID_0C02\\") + kPhoneSerial,
              "usbccgp");
    AddDevice(pc, kClassCount - 1, "USB\\VID_1E3F&PID_0C02&MI_00\\6&2A1F3C&0&0000", "USBSTOR");
    return pc;
}

sim::Pc DiskPc(size_t disks) {
    sim::Pc pc = BasePc();
    for (size_t i = 0; i + 1 < disks; ++i) {
        char path[160];
        snprintf(path, sizeof(path),
                 "\\\\?\\usbstor#disk&ven_generic&prod_flash_disk&rev_8.07#%08X&0#"
                 "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
                 (unsigned)(0x10000000 + i));
        sim::Disk disk;
        disk.path = path;
        pc.disks.push_back(disk);
    }
    sim::Disk phone;
    phone.path = "\\\\?\\usbstor#disk&ven_qel&prod_tarrow&rev_0001#qel0123456789&0#"
                 "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    phone.phoneSerial = kPhoneSerial;
    pc.disks.push_back(phone);
    return pc;
}

sim::Pc LoadSourceScenario(const std::string& relativePath) {
    sim::Pc pc;
    std::string error;
    if (!sim::LoadScenario(std::string(QEL_SOURCE_DIR) + "/" + relativePath, &pc, &error)) {
        fprintf(stderr, "bench: %s\n", error.c_str());
        abort();
    }
    return pc;
}

} // namespace qbench
