#include "tests/reliability/generator.h"

#include "sim/scenario.h"
#include "sim/scenario_keys.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace rel {
namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // An integer from lo to hi, both included.
    uint64_t Range(uint64_t lo, uint64_t hi) { return lo + Next() % (hi - lo + 1); }
    bool Chance(double p) { return (double)(Next() >> 11) * 0x1.0p-53 < p; }
    template <typename T> const T& Pick(const std::vector<T>& items) {
        return items[Range(0, items.size() - 1)];
    }

  private:
    uint64_t state_;
};

// Letter case of ASCII letters only: other bytes stay, so UTF-8 text stays UTF-8.
std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

std::string AsciiUpper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return text;
}

const char kDiskGuid[] = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// Real Windows codes that the installer, disks and setup services answer with.
const std::vector<DWORD> kInstallErrors = {0xE0000203, 0xE0000235, 5,          1168, 0xE000020B, 2,
                                           0xE0000247, 0xE000022B, 0x800F0203, 31,   1460};
const std::vector<DWORD> kDiskErrors = {31, 1117, 121, 1167, 21, 5, 87};
const std::vector<DWORD> kOpenErrors = {5, 32, 2, 21, 1167};
const std::vector<DWORD> kSetupErrors = {13, 8, 87, 1784, 0xE000020B};

struct Gen {
    Random rnd;
    const FaultRates& rates;
    GeneratedPc out;

    Gen(uint64_t seed, const FaultRates& r) : rnd(seed), rates(r) {}

    void Count(const std::string& kind, unsigned n = 1) { out.injected[kind] += n; }

    bool Roll(double p, const char* kind) {
        if (!rnd.Chance(p))
            return false;
        Count(kind);
        return true;
    }

    std::string Alnum(size_t n, int caseMode) {
        static const char upper[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        static const char lower[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::string s;
        for (size_t i = 0; i < n; ++i) {
            bool small = caseMode == 1 || (caseMode == 2 && rnd.Chance(0.5));
            s += (small ? lower : upper)[rnd.Range(0, 35)];
        }
        return s;
    }

    // ASCII letters in a random case; other bytes stay.
    std::string RandomCase(std::string s) {
        for (char& c : s)
            if (isalpha((unsigned char)c) && (unsigned char)c < 0x80)
                c = rnd.Chance(0.5) ? (char)toupper((unsigned char)c)
                                    : (char)tolower((unsigned char)c);
        return s;
    }

    std::string Serial() {
        int caseMode = (int)rnd.Range(0, 2);
        std::string serial = "QEL" + Alnum(rnd.Range(4, 14), caseMode);
        if (caseMode == 1)
            serial = AsciiLower(serial);
        if (Roll(rates.nonAsciiSerial, "non-ASCII serial")) {
            static const std::vector<std::string> wide = {
                "\xC3\x89", "\xC3\x9F", "\xC3\x80", "\xCE\xA9",     "\xE4\xB8\xAD",
                "\xC5\xA0", "\xC3\xBF", "\xC3\x9E", "\xE3\x81\x82", "\xEF\xBB\xA9"};
            // Whole characters only: the text stays valid UTF-8, so a scenario can hold it.
            std::vector<std::string> pieces;
            for (char c : serial)
                pieces.push_back(std::string(1, c));
            for (int i = (int)rnd.Range(1, 3); i > 0; --i) {
                size_t at = rnd.Range(0, pieces.size());
                pieces.insert(pieces.begin() + (long)at, rnd.Pick(wide));
            }
            serial.clear();
            for (const std::string& piece : pieces)
                serial += piece;
        }
        return serial;
    }

    std::string HardwareId() {
        static const std::vector<std::string> products = {"C02", "C02", "C03", "A01", "0FF"};
        std::string prefix = "USB\\VID_1E3F&PID_0";
        if (Roll(rates.lowerPrefix, "lower-case vendor prefix"))
            prefix = rnd.Chance(0.5) ? AsciiLower(prefix) : RandomCase(prefix);
        return prefix + rnd.Pick(products);
    }

    // Pads or cuts the serial so that the whole ID has length total.
    static std::string IdOfLength(const std::string& hardwareId, std::string serial, size_t total) {
        std::string id = hardwareId + "\\" + serial;
        if (id.size() > total)
            id = id.substr(0, total);
        while (!id.empty() && (unsigned char)id.back() >= 0x80)
            id.pop_back(); // never half a UTF-8 character
        while (id.size() < total)
            id += (char)('0' + id.size() % 10);
        return id;
    }

    std::string PhoneCompositeId(std::string* serial) {
        std::string hwid = HardwareId();
        *serial = Serial();
        std::string id = hwid + "\\" + *serial;
        if (Roll(rates.idTooLong, "instance ID of 200+ characters"))
            id = IdOfLength(hwid, *serial, rnd.Range(200, 260));
        else if (Roll(rates.longSerial, "instance ID near 199 characters"))
            id = IdOfLength(hwid, *serial, rnd.Range(190, 199));
        *serial = id.size() > 22 ? id.substr(22) : std::string();
        return id;
    }

    std::string OddPhoneLikeId() {
        Count("odd phone-like instance ID");
        std::string hwid = HardwareId();
        switch (rnd.Range(0, 8)) {
        case 0:
            return hwid.substr(0, 18); // the prefix alone
        case 1:
            return hwid.substr(0, rnd.Range(18, 20));
        case 2:
            return hwid; // 21 characters, no separator
        case 3:
            return hwid + "\\"; // 22 characters, empty serial
        case 4:
            return hwid + "&"; // '&' at 21, nothing after it
        case 5: {
            // One draw per statement: the order of draws within an expression is unspecified.
            std::string itf = std::to_string(rnd.Range(0, 3));
            return hwid + "&MI_0" + itf + "\\6&2A1F3C&0&000" + std::to_string(rnd.Range(0, 3));
        }
        case 6:
            return "USB\\VID_1E3F&PID_1C02\\" + Alnum(10, 0); // product not beginning with 0
        case 7:
            return "USB\\VID_1E3E&PID_0C02\\" + Alnum(10, 0);
        default:
            return hwid + "\\" + Alnum(1, 0); // a one-character serial
        }
    }

    std::string OtherDeviceId() {
        static const std::vector<std::string> ids = {
            "USB\\ROOT_HUB30\\4&1B2F3A4&0&0", "USB\\VID_045E&PID_07A5\\5&3A2C6B1&0&2",
            "USB\\VID_8087&PID_0029\\5&12A4B6C&0&14", "USB\\VID_046D&PID_C52B\\6&1F00&0&3",
            "USB\\VID_0BDA&PID_8153\\000001000000"};
        return rnd.Pick(ids);
    }

    void SetValue(const std::string& id, DWORD type, std::vector<uint8_t> data) {
        sim::RegKey& key = out.pc.registry[sim::Lower(sim::EnumKeyPath(id))];
        key.path = sim::EnumKeyPath(id);
        key.values["service"] = sim::RegValue{type, std::move(data)};
    }

    static std::vector<uint8_t> Bytes(const std::string& text, bool zero) {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        if (zero)
            bytes.push_back(0);
        return bytes;
    }

    // The device's Enum key and Service value, of every type and length.
    void Registry(const std::string& id, bool phone) {
        static const std::vector<std::string> services = {"WinUSB", "USBSTOR", "usbhub3",
                                                          "HidUsb", "QELUsb",  ""};
        std::string ccgp = RandomCase("usbccgp");
        if (phone && Roll(rates.usbccgp, "phone already on usbccgp")) {
            SetValue(id, REG_SZ, Bytes(ccgp, true));
            return;
        }
        if (!rnd.Chance(rates.oddService)) {
            SetValue(id, REG_SZ, Bytes(rnd.Pick(services), true));
            return;
        }
        std::string pad(300, 'x');
        switch (rnd.Range(0, 12)) {
        case 0:
            Count("registry: Enum key missing");
            return;
        case 1:
            Count("registry: Enum key cannot be opened");
            out.pc.registry[sim::Lower(sim::EnumKeyPath(id))] =
                sim::RegKey{sim::EnumKeyPath(id), (LSTATUS)(rnd.Chance(0.5) ? 5 : 2), {}};
            return;
        case 2:
            Count("registry: no Service value");
            out.pc.registry[sim::Lower(sim::EnumKeyPath(id))] =
                sim::RegKey{sim::EnumKeyPath(id), 0, {}};
            return;
        case 3:
            Count("registry: REG_SZ without zero");
            SetValue(id, REG_SZ, Bytes(rnd.Chance(0.5) ? ccgp : "WinUSB", false));
            return;
        case 4:
            Count("registry: REG_SZ of 255 bytes without zero");
            SetValue(id, REG_SZ, Bytes(ccgp + pad.substr(0, 248), false));
            return;
        case 5:
            Count("registry: REG_SZ of 255 bytes with zero");
            SetValue(id, REG_SZ, Bytes("WinUSB" + pad.substr(0, 248), true));
            return;
        case 6:
            Count("registry: REG_SZ over 255 bytes");
            SetValue(id, REG_SZ,
                     Bytes(ccgp + std::string(1, '\0') + pad.substr(0, rnd.Range(248, 290)), true));
            return;
        case 7:
            Count("registry: REG_DWORD");
            SetValue(id, REG_DWORD, {1, 0, 0, 0});
            return;
        case 8:
            Count("registry: REG_BINARY");
            SetValue(id, REG_BINARY, Bytes(ccgp, rnd.Chance(0.5)));
            return;
        case 9:
            Count("registry: REG_EXPAND_SZ or REG_MULTI_SZ");
            SetValue(id, rnd.Chance(0.5) ? REG_EXPAND_SZ : REG_MULTI_SZ, Bytes(ccgp, true));
            return;
        case 10:
            Count("registry: empty REG_SZ");
            SetValue(id, REG_SZ, {});
            return;
        case 11:
            Count("registry: REG_SZ with text after a zero");
            SetValue(id, REG_SZ, Bytes(ccgp + std::string(1, '\0') + "trailing", true));
            return;
        default:
            Count("registry: usbccgp with a suffix");
            SetValue(id, REG_SZ, Bytes(ccgp + "x", true));
            return;
        }
    }

    void DeviceFaults(sim::Device& device) {
        if (Roll(rates.afterEnter, "device present only after Enter"))
            device.afterEnter = true;
        if (Roll(rates.listDetailFail, "list detail failure"))
            device.listDetailFails = true;
        if (Roll(rates.idFail, "instance ID read failure"))
            device.idResult = rnd.Pick(std::vector<CONFIGRET>{0x0D, 0x13, 0x05, 0x1A});
    }

    std::string DiskPath(const std::string& middle) {
        return "\\\\?\\usbstor#disk&ven_qel&prod_tarrow&rev_0001#" + middle + "&0#" + kDiskGuid;
    }

    // Lengthens a path to near or over the 1019-character limit.
    std::string LongPath(std::string path) {
        static const std::vector<size_t> lengths = {1000, 1017, 1018, 1019, 1020, 1021, 1100};
        size_t total = rnd.Pick(lengths);
        size_t at = path.find('#') + 1;
        if (path.size() < total)
            path.insert(at, std::string(total - path.size(), 'p'));
        Count(total > 1019 ? "disk path over 1019 characters" : "disk path near 1019 characters");
        return path;
    }

    std::vector<sim::Outcome> Replies() {
        std::vector<sim::Outcome> replies;
        if (!Roll(rates.diskRefuse, "disk refusing commands"))
            return replies;
        size_t n = rnd.Range(1, 25);
        for (size_t i = 0; i < n; ++i) {
            sim::Outcome o;
            o.error = rnd.Chance(0.85) ? rnd.Pick(kDiskErrors) : 0;
            if (o.error == 0 && rnd.Chance(0.5))
                o.scsiStatus = 2; // accepted, but the phone reports a check condition
            if (rnd.Chance(rates.slow))
                o.ms = rnd.Range(1, 3000);
            if (Roll(rates.diskVanish / 4, "disk vanishing on a command"))
                o.vanish = true;
            replies.push_back(o);
        }
        return replies;
    }

    void AddDisk(const std::string& path, const std::string& phoneSerial) {
        sim::Disk disk;
        disk.path = rnd.Chance(rates.longPath) ? LongPath(path) : path;
        disk.phoneSerial = phoneSerial;
        if (Roll(rates.diskLate, "disk appearing late"))
            disk.presentFromMs = rnd.Range(1, 40000);
        if (Roll(rates.diskGone, "disk going away"))
            disk.presentUntilMs = disk.presentFromMs + rnd.Range(0, 60000);
        if (Roll(rates.diskOpenError, "disk open error"))
            disk.openError = rnd.Pick(kOpenErrors);
        disk.replies = Replies();
        if (disk.replies.empty() && Roll(rates.diskVanish, "disk vanishing on a command"))
            disk.replies.push_back(sim::Outcome{0, 0, true});
        out.pc.disks.push_back(std::move(disk));
    }

    // The phone's disk: its path holds the serial in some letter case, or not at all.
    void PhoneDisk(const std::string& serial) {
        std::string middle;
        if (serial.empty() || Roll(rates.serialMissing, "phone disk without the serial"))
            middle = "7&" + Alnum(8, 1) + "&0&000000";
        else {
            switch (rnd.Range(0, 3)) {
            case 0:
                middle = AsciiLower(serial);
                break;
            case 1:
                middle = AsciiUpper(serial);
                break;
            case 2:
                middle = serial;
                break;
            default:
                middle = RandomCase(serial);
                break;
            }
        }
        AddDisk(DiskPath(middle), serial);
    }

    GUID RandomGuid() {
        GUID g;
        uint64_t a = rnd.Next(), b = rnd.Next();
        g.Data1 = (DWORD)a;
        g.Data2 = (USHORT)(a >> 32);
        g.Data3 = (USHORT)(a >> 48);
        memcpy(g.Data4, &b, 8);
        return g;
    }

    void Classes() {
        sim::Pc& pc = out.pc;
        size_t n = rnd.Chance(rates.extraClass) ? rnd.Range(2, 4) : 1;
        static const std::vector<std::string> otherNames = {"HIDClass", "Ports", "USBDevice",
                                                            "WPD",      "usb ",  "Image"};
        for (size_t c = 0; c < n; ++c) {
            sim::SetupClass setupClass;
            setupClass.guid = RandomGuid();
            if (c == 0)
                ParseGuidOrDie("{36FC9E60-C465-11CF-8056-444553540000}", &setupClass.guid);
            if (c > 0 && rnd.Chance(0.4)) {
                setupClass.name = rnd.Pick(otherNames);
                Count("class not named USB");
            } else {
                setupClass.name = rnd.Pick(std::vector<std::string>{"USB", "USB", "usb", "Usb"});
            }
            if (Roll(rates.classSetError, "class set error"))
                setupClass.setError = rnd.Pick(kSetupErrors);
            if (Roll(rates.classEnumFail, "class enumeration failure")) {
                setupClass.enumFailsAt = (int)rnd.Range(0, 4);
                setupClass.enumError = rnd.Pick(kSetupErrors);
            }
            pc.classes.push_back(setupClass);
        }
    }

    sim::SetupClass& SomeClass() { return out.pc.classes[rnd.Range(0, out.pc.classes.size() - 1)]; }

    void InsertDevice(sim::SetupClass& setupClass, sim::Device device) {
        DeviceFaults(device);
        auto at = setupClass.devices.begin() + (long)rnd.Range(0, setupClass.devices.size());
        setupClass.devices.insert(at, std::move(device));
    }

    void Devices() {
        // Phones: the composite device, its interfaces and its disk.
        int phones = rnd.Chance(rates.phone) ? (rnd.Chance(rates.secondPhone) ? 2 : 1) : 0;
        for (int p = 0; p < phones; ++p) {
            sim::SetupClass& setupClass = SomeClass();
            std::string serial;
            sim::Device composite;
            composite.instanceId = PhoneCompositeId(&serial);
            if (rnd.Chance(0.05))
                composite.adbOn = true;
            Registry(composite.instanceId, true);
            InsertDevice(setupClass, composite);
            for (int i = (int)rnd.Range(0, 2); i > 0; --i) {
                sim::Device itf;
                itf.instanceId = composite.instanceId.substr(0, 21) + "&MI_0" +
                                 std::to_string(i - 1) + "\\6&2A1F3C&0&000" + std::to_string(i);
                Registry(itf.instanceId, false);
                InsertDevice(setupClass, itf);
            }
            if (rnd.Chance(0.9))
                PhoneDisk(serial);
        }
        if (rnd.Chance(rates.oddId)) {
            sim::Device odd;
            odd.instanceId = OddPhoneLikeId();
            Registry(odd.instanceId, true);
            InsertDevice(SomeClass(), odd);
        }
        for (int i = (int)rnd.Range(0, 3); i > 0; --i) {
            sim::Device other;
            other.instanceId = OtherDeviceId();
            Registry(other.instanceId, false);
            InsertDevice(SomeClass(), other);
        }
        for (int i = (int)rnd.Range(0, 2); i > 0; --i)
            AddDisk("\\\\?\\scsi#disk&ven_samsung&prod_ssd_860#4&215468a5&0&00000" +
                        std::to_string(i) + "#" + kDiskGuid,
                    "");
        // Shuffle the disks so the phone's is not always first.
        auto& disks = out.pc.disks;
        for (size_t i = disks.size(); i > 1; --i)
            std::swap(disks[i - 1], disks[rnd.Range(0, i - 1)]);
    }

    void SetupFaults() {
        sim::Pc& pc = out.pc;
        if (Roll(rates.lookupFault, "class lookup faults (per PC)")) {
            for (int i = (int)rnd.Range(1, 3); i > 0; --i) {
                sim::LookupFault fault;
                if (rnd.Chance(0.7)) {
                    static const std::vector<DWORD> counts = {0, 1, 2, 5, 17, 20, 100, 0x10000000};
                    fault.count = rnd.Pick(counts);
                    Count("class lookup fault 122");
                } else {
                    fault.error = rnd.Pick(kSetupErrors);
                    Count("class lookup fault, other code");
                }
                pc.lookupFaults.push_back(fault);
            }
        }
        if (rnd.Chance(rates.allocFault))
            for (int i = (int)rnd.Range(1, 3); i > 0; --i) {
                pc.failAllocs.insert(
                    (unsigned)(rnd.Chance(0.7) ? rnd.Range(1, 8) : rnd.Range(9, 60)));
                Count("allocation failure");
            }
        if (Roll(rates.diskSetError, "disk set errors (per PC)"))
            for (int i = (int)rnd.Range(1, 3); i > 0; --i)
                pc.diskSetErrors.push_back(rnd.Chance(0.8) ? rnd.Pick(kSetupErrors) : 0);
        if (Roll(rates.diskEnumFail, "disk enumeration failure"))
            pc.diskEnumFailsAt = (int)rnd.Range(0, 3);
        if (Roll(rates.diskDetailFail, "disk detail failure"))
            pc.diskDetailFailsAt = (int)rnd.Range(0, 3);
        if (pc.diskEnumFailsAt >= 0 || pc.diskDetailFailsAt >= 0)
            pc.diskFailError = rnd.Pick(std::vector<DWORD>{13, 259, 87, 1784});
        if (Roll(rates.threadFail, "thread creation failure"))
            pc.threadCreateFails = true;
    }

    void Installer() {
        sim::Installer& in = out.pc.installer;
        if (Roll(rates.loadError, "installer load error"))
            in.loadError = rnd.Pick(std::vector<DWORD>{126, 193, 5});
        if (Roll(rates.exportError, "installer export error"))
            in.exportError = 127;
        if (Roll(rates.failWhileAdbOff, "installer failing while ADB is off"))
            in.failWhileAdbOff = rnd.Pick(kInstallErrors);
        for (size_t i = rnd.Range(0, 12); i > 0; --i) {
            sim::Outcome o;
            if (Roll(rates.installFail, "install failure"))
                o.error = rnd.Pick(kInstallErrors);
            if (rnd.Chance(rates.slow))
                o.ms = rnd.Range(1, 5000);
            in.outcomes.push_back(o);
        }
        if (rnd.Chance(rates.slow))
            in.ms = rnd.Range(1, 3000);
    }

    std::string PathOfLength(size_t length) {
        std::string path = "C:\\Users\\qel\\AppData\\Local\\Temp";
        if (path.size() > length)
            return path.substr(0, length);
        path += "\\";
        while (path.size() < length)
            path += (char)('a' + path.size() % 26);
        return path;
    }

    void Environment() {
        sim::Pc& pc = out.pc;
        std::string temp = "C:\\Users\\qel\\AppData\\Local\\Temp";
        bool present = true;
        if (Roll(rates.oddTemp, "odd TEMP")) {
            static const std::vector<size_t> lengths = {1, 3, 233, 234, 235, 259, 260, 261, 400};
            switch (rnd.Range(0, 3)) {
            case 0:
                present = false;
                break;
            case 1:
                temp = "";
                break;
            case 2:
                temp = PathOfLength(rnd.Pick(lengths));
                break;
            default:
                temp += "\\"; // two backslashes before the file name
                break;
            }
        }
        if (present)
            pc.env["TEMP"] = temp;
        if (!temp.empty() && Roll(rates.logFolderMissing, "log folder missing"))
            pc.missingFolders.insert(sim::Lower(temp));
        if (present && !temp.empty() && Roll(rates.oldLog, "earlier log file"))
            pc.files[sim::Lower(temp + "\\_QEL_InstallerUpdata.log")] =
                "QELDriverFixed\t[2001- 1- 1   0: 0: 0:  0]\tearlier run\r\n";

        if (rnd.Chance(rates.stdinLine)) {
            pc.stdinAtEnd = false;
            pc.stdinLine = rnd.Pick(std::vector<std::string>{"\n", "\n", "y\n", ""});
            if (pc.stdinLine.empty())
                pc.stdinAtEnd = true; // a closed stdin after all
            pc.stdinAfterMs = rnd.Chance(0.7) ? rnd.Range(0, 20000) : 0;
        }

        if (Roll(rates.oddWindowsDir, "odd Windows directory")) {
            if (rnd.Chance(0.3))
                pc.windowsDirError = rnd.Pick(std::vector<DWORD>{3, 5, 8});
            else
                pc.windowsDir =
                    "C:\\" +
                    std::string(rnd.Pick(std::vector<size_t>{240, 244, 245, 246, 256, 300}), 'w');
        }

        // A UTC clock from 1980 to 2100, sometimes just before midnight or a new year.
        uint64_t start = rnd.Range(315532800000ull, 4102444800000ull);
        if (rnd.Chance(0.1))
            start = start / 86400000 * 86400000 + 86400000 - rnd.Range(1, 20000);
        pc.clockStartMs = start;
        // A local time zone, mostly far from UTC, so that a stamp in local time shows in the log.
        pc.timeZoneMinutes = rnd.Pick(std::vector<int>{-720, -570, -300, 0, 330, 345, 540, 840});
        if (Roll(rates.doubleByte, "double-byte code page"))
            pc.ansiCodePage = rnd.Chance(0.5) ? 932 : 936;
    }

    // What the user meets at the end of a run and in the log's header. Drawn after everything
    // else, so that the earlier draws of a seed give the PC they always gave.
    void UserFacing() {
        sim::Pc& pc = out.pc;
        for (sim::Outcome& o : pc.installer.outcomes)
            if (o.error == 0 && Roll(rates.reboot, "install asks for a restart"))
                o.reboot = true;
        if (Roll(rates.ownConsole, "alone on its console")) {
            pc.consoleProcesses = 1;
            pc.stdinRedirected = rnd.Chance(0.3);
        }
        if (Roll(rates.oddSystem, "older Windows, not elevated or 64-bit")) {
            pc.windowsMajor = 6;
            pc.windowsMinor = (DWORD)rnd.Range(1, 3);
            pc.windowsBuild = (DWORD)rnd.Range(7600, 9600);
            pc.elevated = rnd.Chance(0.5);
            pc.architecture = rnd.Chance(0.5) ? "x86_64" : "i686";
        }
        auto temp = pc.env.find("TEMP");
        if (temp != pc.env.end() && !temp->second.empty() &&
            Roll(rates.wideTemp, "TEMP outside the code page")) {
            // A user folder named in Cyrillic: the ANSI value derives from the wide one.
            std::string wide = temp->second + "\\\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";
            pc.env.erase(temp);
            pc.envWide["TEMP"] = wide;
            if (rnd.Chance(0.6))
                pc.shortPaths[wide] = wide.substr(0, wide.rfind('\\')) + "\\D098~1";
        }
    }

    void Arguments() {
        if (Roll(rates.logOn, "log switch on")) {
            out.args = {rnd.Pick(std::vector<std::string>{"-l", "-l", "/L", "-log", "xl", "-L"})};
            return;
        }
        switch (rnd.Range(0, 4)) {
        case 0:
            out.args = {};
            break;
        case 1:
            out.args = {rnd.Pick(std::vector<std::string>{"l", "L", "log", ""})};
            break;
        case 2:
            out.args = {"a", "-l"};
            break;
        default:
            out.args = {"-x"};
            break;
        }
    }

    static void ParseGuidOrDie(const char* text, GUID* guid) {
        if (!sim::ParseGuid(text, guid))
            abort();
    }
};

} // namespace

const std::vector<RateOption>& RateOptions() {
    static const std::vector<RateOption> options = {
        {"phone", &FaultRates::phone},
        {"second-phone", &FaultRates::secondPhone},
        {"odd-id", &FaultRates::oddId},
        {"non-ascii-serial", &FaultRates::nonAsciiSerial},
        {"long-serial", &FaultRates::longSerial},
        {"id-too-long", &FaultRates::idTooLong},
        {"lower-prefix", &FaultRates::lowerPrefix},
        {"extra-class", &FaultRates::extraClass},
        {"lookup-fault", &FaultRates::lookupFault},
        {"alloc-fault", &FaultRates::allocFault},
        {"class-set-error", &FaultRates::classSetError},
        {"class-enum-fail", &FaultRates::classEnumFail},
        {"list-detail-fail", &FaultRates::listDetailFail},
        {"id-fail", &FaultRates::idFail},
        {"after-enter", &FaultRates::afterEnter},
        {"usbccgp", &FaultRates::usbccgp},
        {"odd-service", &FaultRates::oddService},
        {"load-error", &FaultRates::loadError},
        {"export-error", &FaultRates::exportError},
        {"install-fail", &FaultRates::installFail},
        {"fail-while-adb-off", &FaultRates::failWhileAdbOff},
        {"disk-set-error", &FaultRates::diskSetError},
        {"disk-enum-fail", &FaultRates::diskEnumFail},
        {"disk-detail-fail", &FaultRates::diskDetailFail},
        {"disk-open-error", &FaultRates::diskOpenError},
        {"disk-refuse", &FaultRates::diskRefuse},
        {"disk-vanish", &FaultRates::diskVanish},
        {"disk-late", &FaultRates::diskLate},
        {"disk-gone", &FaultRates::diskGone},
        {"long-path", &FaultRates::longPath},
        {"serial-missing", &FaultRates::serialMissing},
        {"odd-temp", &FaultRates::oddTemp},
        {"log-folder-missing", &FaultRates::logFolderMissing},
        {"old-log", &FaultRates::oldLog},
        {"stdin-line", &FaultRates::stdinLine},
        {"thread-fail", &FaultRates::threadFail},
        {"log-on", &FaultRates::logOn},
        {"odd-windows-dir", &FaultRates::oddWindowsDir},
        {"slow", &FaultRates::slow},
        {"double-byte", &FaultRates::doubleByte},
        {"reboot", &FaultRates::reboot},
        {"own-console", &FaultRates::ownConsole},
        {"wide-temp", &FaultRates::wideTemp},
        {"odd-system", &FaultRates::oddSystem},
    };
    return options;
}

bool SetRate(FaultRates* rates, const std::string& name, double value) {
    if (!(value >= 0 && value <= 1))
        return false;
    for (const RateOption& option : RateOptions())
        if (name == option.name) {
            rates->*option.member = value;
            return true;
        }
    return false;
}

FaultRates SwarmRates(uint64_t seed) {
    // A stream of its own, so the rates do not shift the PC's draws.
    Random rnd(seed ^ 0x5357524D53574152ull);
    FaultRates rates;
    for (const RateOption& option : RateOptions()) {
        double standard = rates.*option.member;
        uint64_t draw = rnd.Range(0, 9);
        double fraction = (double)rnd.Range(50, 95) / 100;
        double rate = draw < 2   ? 0                             // off
                      : draw < 4 ? standard / 2                  // rarer
                      : draw < 7 ? standard                      // as it stands
                      : draw < 9 ? std::min(1.0, standard * 2)   // more often
                                 : std::max(standard, fraction); // most of the time
        // PCs keep their phone and most their log, or little of the rest would be reached.
        if (option.member == &FaultRates::phone)
            rate = std::max(rate, standard);
        if (option.member == &FaultRates::logOn)
            rate = std::max(rate, 0.5);
        rates.*option.member = rate;
    }
    return rates;
}

std::string DescribeRates(const FaultRates& rates) {
    const FaultRates standard;
    std::string text;
    for (const RateOption& option : RateOptions()) {
        if (rates.*option.member == standard.*option.member)
            continue;
        char item[64];
        snprintf(item, sizeof(item), "%s%s=%g", text.empty() ? "" : " ", option.name,
                 rates.*option.member);
        text += item;
    }
    return text.empty() ? "all at their defaults" : text;
}

GeneratedPc GeneratePc(uint64_t seed, const FaultRates& rates) {
    Gen gen(seed, rates);
    gen.out.pc.name = "reliability seed " + std::to_string(seed);
    gen.Classes();
    gen.Devices();
    gen.SetupFaults();
    gen.Installer();
    gen.Environment();
    gen.Arguments();
    gen.UserFacing();
    return std::move(gen.out);
}

// ---- The PC as a scenario file -----------------------------------------------------------------
// The generator's non-ASCII text is UTF-8: a basic string holds it as it is.
std::string DescribePc(const sim::Pc& pc, const std::vector<std::string>& args) {
    std::string s;
    s += "# Tool arguments:";
    for (const std::string& arg : args)
        s += " " + sim::QuoteBasic(arg);
    s += args.empty() ? " (none)\n" : "\n";
    return s + sim::PrintScenario(pc);
}

} // namespace rel
