// Lower-casing in the ANSI code page. A double-byte code page (932, 936) lowers a lead-trail pair
// as one character and never lowers a trail byte on its own; the mapped length can differ from
// the text's and a failed mapping can leave part of a result behind, so the tool maps into a
// buffer of its own.
#include "test_support.h"

#include "adb/turn_adb.h"
#include "text/ansi_text.h"

using namespace qtest;

namespace {

struct MappingCase {
    unsigned codePage;
    std::string text;
    std::string lower;
};

TEST(AnsiText, SimulatedPcMapsAsTheCodePageDoes) {
    const MappingCase cases[] = {
        {1252, "QEL\xC9X", "qel\xE9x"},
        {932, "QEL", "qel"},
        {932, "\x82\x60\x82\x79", "\x82\x81\x82\x9A"}, // full-width A and Z
        {932, "\x83\x41\x83\x5A", "\x83\x41\x83\x5A"}, // katakana: trail bytes 'A', 'Z' kept
        {932, "A\xB1Z", "a\xB1z"},                     // a half-width katakana between
        {932, "QEL\x83", "qel\x81\x45"}, // a lead byte without its trail grows into two
        {936, "\xA3\xC1\xA3\xDA", "\xA3\xE1\xA3\xFA"}, // full-width A and Z
        {936, "\x81\x41\xD5\x5A", "\x81\x41\xD5\x5A"}, // trail bytes 'A', 'Z' kept
        {936, "QEL\xB0", "qel?"},
    };
    for (const MappingCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.text);
        sim::Pc pc = EmptyPc();
        pc.ansiCodePage = c.codePage;
        RunInProcess(pc, false, [&c] {
            int length = (int)c.text.size();
            char out[32];
            int needed = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, c.text.data(), length,
                                      NULL, 0);
            EXPECT_EQ(needed, (int)c.lower.size());
            int mapped = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, c.text.data(), length,
                                      out, sizeof(out));
            ASSERT_EQ(mapped, (int)c.lower.size());
            EXPECT_EQ(std::string(out, (size_t)mapped), c.lower);
            SetLastError(0xDEADBEEF);
            EXPECT_EQ(LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, c.text.data(), length,
                                   out, needed - 1),
                      0);
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
        });
    }
}

TEST(AnsiText, LowerCaseIntoHandlesGrowthAndFailure) {
    sim::Pc pc = EmptyPc();
    pc.ansiCodePage = 932;
    RunInProcess(pc, false, [] {
        char lower[8];
        EXPECT_EQ(LowerCaseInto(lower, sizeof(lower), "QEL\x83", 4), 5);
        EXPECT_STREQ(lower, "qel\x81\x45");
        // Seven bytes fit, the eighth is the NUL: "ABCDEF" and a lone lead byte need eight.
        EXPECT_EQ(LowerCaseInto(lower, sizeof(lower), "ABCDEF\x83", 7), -1);
        EXPECT_STREQ(lower, ""); // no partial result
        EXPECT_EQ(LowerCaseInto(lower, sizeof(lower), "", 0), 0);
        EXPECT_STREQ(lower, "");

        LPSTR copy = LowerCaseCopy("\\\\?\\USBSTOR#QEL\x83\x41X\x83");
        ASSERT_NE(copy, nullptr);
        EXPECT_STREQ(copy, "\\\\?\\usbstor#qel\x83\x41x\x81\x45");
        GlobalFree(copy);
    });
}

TEST(AnsiText, TextComparisonsFollowTheCodePage) {
    sim::Pc pc = EmptyPc();
    pc.ansiCodePage = 932;
    RunInProcess(pc, false, [] {
        EXPECT_TRUE(StartsWithNoCase("usb\\VID_1E3F&PID_0C02\\x", "usb\\vid_1e3f&pid_0"));
        // A lead byte whose trail is the vendor prefix's last letter is no match.
        EXPECT_FALSE(StartsWithNoCase("USB\\VID_1E3F&PID_\x83\x30", "usb\\vid_1e3f&pid_0"));
        EXPECT_TRUE(EqualsNoCase("USBCCGP", "usbccgp"));
        EXPECT_FALSE(EqualsNoCase("USBCCG\x83", "usbccgp"));
        EXPECT_FALSE(EqualsNoCase(std::string(300, 'A').c_str(), "usbccgp"));
    });
}

// A phone whose serial holds katakana (trail bytes 'A' and 'X') and ends in a lone lead byte,
// whose lowered form is a byte longer: its disk is still found, opened and commanded.
TEST(AnsiText, DoubleByteSerialReachesItsDisk) {
    const std::string serial = "QEL\x83\x41X\x83\x58\x83";
    const std::string id = std::string(kPhoneHardwareId) + "\\" + serial;
    const std::string path = "\\\\?\\USBSTOR#Disk&Ven_QEL&Prod_Tarrow&Rev_0001#" + serial +
                             "&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    for (unsigned codePage : {932u, 936u}) {
        SCOPED_TRACE(codePage);
        sim::Pc pc = EmptyPc();
        pc.ansiCodePage = codePage;
        AddDevice(pc, id, "WinUSB");
        sim::Disk disk;
        disk.path = path;
        disk.phoneSerial = serial;
        pc.disks.push_back(disk);
        pc.installer.failWhileAdbOff = 0xE0000203;
        sim::RunResult r = RunClean(pc, {"-l"});
        EXPECT_EQ(r.exitCode, 0u);
        const std::string lowered = sim::LowerByCodePage(codePage, path);
        ASSERT_EQ(sim::CurrentWorld().adbRequests.size(), 2u);
        EXPECT_EQ(sim::CurrentWorld().adbRequests[0].diskPath, lowered);
        EXPECT_EQ(Count(r.console, "Attempt to turn on ADB for " + lowered + "\n"), 1u);
        EXPECT_EQ(Count(r.console, "DeviceFilter: " + sim::LowerByCodePage(codePage, serial)), 2u);
    }
}

} // namespace
