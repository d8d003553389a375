#include "test_support.h"

#include "log/write_log.h"

#include <cstring>

using namespace qtest;

namespace {

// The prefix of an entry logged at the EmptyPc clock's start, 2009-06-05 09:04:07.012 UTC.
const char kPrefix[] = "QELDriverFixed\t[2009- 6- 5   9: 4: 7: 12]\t";

std::string LogKey(const std::string& path) {
    return sim::Lower(path);
}

// A PC whose TEMP holds temp, or has no TEMP for nullptr.
sim::Pc PcWithTemp(const char* temp) {
    sim::Pc pc = EmptyPc();
    if (temp == nullptr)
        pc.env.erase("TEMP");
    else
        pc.env["TEMP"] = temp;
    return pc;
}

// Runs body in a fresh process with the log on; checks the ledger.
void RunLogged(const sim::Pc& pc, const std::function<void()>& body, bool log = true) {
    EXPECT_EQ(RunInProcess(pc, log, body), std::vector<std::string>{});
}

std::string FileAt(const std::string& path) {
    auto it = sim::CurrentWorld().pc.files.find(LogKey(path));
    return it == sim::CurrentWorld().pc.files.end() ? std::string() : it->second;
}

} // namespace

struct PrefixCase {
    SYSTEMTIME time;
    const char* prefix;
};

TEST(LogPrefix, PadsEveryFieldWithSpaces) {
    const PrefixCase cases[] = {
        {{2009, 6, 5, 5, 9, 4, 7, 12}, "QELDriverFixed\t[2009- 6- 5   9: 4: 7: 12]\t"},
        {{2009, 11, 3, 25, 13, 45, 30, 250}, "QELDriverFixed\t[2009-11-25  13:45:30:250]\t"},
        {{2026, 1, 4, 1, 0, 0, 0, 0}, "QELDriverFixed\t[2026- 1- 1   0: 0: 0:  0]\t"},
        {{9999, 12, 5, 31, 23, 59, 59, 999}, "QELDriverFixed\t[9999-12-31  23:59:59:999]\t"},
    };
    for (const PrefixCase& c : cases) {
        char buffer[LOG_LINE_SIZE];
        int length = FormatLogPrefix(buffer, sizeof(buffer), &c.time);
        EXPECT_EQ(std::string(buffer), c.prefix);
        EXPECT_EQ(length, 42);
    }
}

// Stamps are UTC: with the PC's local time far ahead of or behind UTC, a day apart at times,
// the entry still carries the UTC time.
TEST(WriteLog, EntryCarriesTheUtcTimeOfTheMessageNotLocalTime) {
    for (int zoneMinutes : {330, -570, 840, -720, 0}) {
        SCOPED_TRACE("time zone " + std::to_string(zoneMinutes) + " minutes");
        sim::Pc pc = EmptyPc();
        pc.clockStartMs = 1259156730250ULL; // 2009-11-25 13:45:30.250 UTC
        pc.timeZoneMinutes = zoneMinutes;
        RunLogged(pc, [] {
            WriteLog("Update ADB Device Driver ...\n");
            Sleep(1001);
            WriteLog("next\n");
        });
        EXPECT_EQ(FileAt(kLogPath), "QELDriverFixed\t[2009-11-25  13:45:30:250]\t"
                                    "Update ADB Device Driver ...\r\n"
                                    "QELDriverFixed\t[2009-11-25  13:45:31:251]\tnext\r\n");
        EXPECT_EQ(sim::CurrentWorld().console, "Update ADB Device Driver ...\nnext\n");
    }
}

TEST(WriteLog, LogOffWritesNothing) {
    RunLogged(
        EmptyPc(), [] { WriteLog("Check Device : %s\n", "X"); }, false);
    EXPECT_TRUE(sim::CurrentWorld().pc.files.empty());
    EXPECT_EQ(sim::CurrentWorld().console, "");
}

struct MessageCase {
    const char* name;
    std::function<void()> write;
    std::string echo;
    std::string file; // after the first prefix; "@" stands for a later prefix
};

TEST(WriteLog, LineFeedsAndFormatting) {
    const MessageCase cases[] = {
        {"no line feed", [] { WriteLog("abc"); }, "abc", "abc\r\n"},
        {"line feed in the middle", [] { WriteLog("a\nb"); }, "a\nb", "a\r\nb"},
        {"middle then next entry",
         [] {
             WriteLog("a\nb");
             WriteLog("c\n");
         },
         "a\nbc\n", "a\r\nb@c\r\n"},
        {"several line feeds", [] { WriteLog("one\ntwo\nthree\n"); }, "one\ntwo\nthree\n",
         "one\r\ntwo\r\nthree\r\n"},
        {"arguments", [] { WriteLog("Check Device : %s %d %08X\n", "USB\\X", -3, 0xE0000203u); },
         "Check Device : USB\\X -3 E0000203\n", "Check Device : USB\\X -3 E0000203\r\n"},
        {"empty message", [] { WriteLog("%s", ""); }, "", "\r\n"},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunLogged(EmptyPc(), c.write);
        std::string expected = std::string(kPrefix) + c.file;
        for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
            expected.replace(at, 1, kPrefix);
        EXPECT_EQ(FileAt(kLogPath), expected);
        EXPECT_EQ(sim::CurrentWorld().console, c.echo);
    }
}

TEST(WriteLog, AppendsToAnExistingFile) {
    sim::Pc pc = EmptyPc();
    const std::string earlier = "QELDriverFixed\t[2008- 1- 1   0: 0: 0:  0]\tearlier run\r\n";
    pc.files[LogKey(kLogPath)] = earlier;
    RunLogged(pc, [] { WriteLog("new\n"); });
    EXPECT_EQ(FileAt(kLogPath), earlier + kPrefix + "new\r\n");
}

struct TempCase {
    size_t length; // of TEMP; 0 for set but empty
    bool logs;
};

TEST(WriteLog, TempLengthDecidesWhetherThereIsALog) {
    const TempCase cases[] = {{0, false},   {1, true},    {234, true},  {235, false},
                              {258, false}, {259, false}, {260, false}, {400, false}};
    for (const TempCase& c : cases) {
        SCOPED_TRACE(c.length);
        // A folder name of the given length: "C:\" and then letters.
        std::string temp = c.length == 0 ? "" : std::string("C:\\").substr(0, c.length);
        while (temp.size() < c.length)
            temp += (char)('a' + temp.size() % 26);
        RunLogged(PcWithTemp(temp.c_str()), [] {
            WriteLog("first\n");
            WriteLog("second\n");
        });
        if (c.logs) {
            EXPECT_EQ(FileAt(temp + "\\_QEL_InstallerUpdata.log"),
                      std::string(kPrefix) + "first\r\n" + kPrefix + "second\r\n");
            EXPECT_EQ(sim::CurrentWorld().console, "first\nsecond\n");
        } else {
            EXPECT_TRUE(sim::CurrentWorld().pc.files.empty());
            EXPECT_EQ(sim::CurrentWorld().console, "");
        }
    }
}

TEST(WriteLog, MissingTempDropsTheMessageAndIsReadAgainForTheNext) {
    for (size_t unusable : {size_t(0), size_t(250), size_t(300)}) {
        SCOPED_TRACE(unusable);
        sim::Pc pc = PcWithTemp(nullptr);
        if (unusable)
            pc.env["TEMP"] = std::string(unusable, 't');
        RunLogged(pc, [] {
            WriteLog("dropped\n");
            sim::CurrentWorld().pc.env["TEMP"] = kTemp;
            WriteLog("kept\n");
        });
        EXPECT_EQ(sim::CurrentWorld().pc.files.size(), 1u);
        EXPECT_EQ(FileAt(kLogPath), std::string(kPrefix) + "kept\r\n");
        EXPECT_EQ(sim::CurrentWorld().console, "kept\n");
    }
}

TEST(WriteLog, PathIsKeptOnceResolved) {
    RunLogged(EmptyPc(), [] {
        WriteLog("one\n");
        sim::CurrentWorld().pc.env["TEMP"] = "D:\\Elsewhere";
        WriteLog("two\n");
    });
    EXPECT_EQ(sim::CurrentWorld().pc.files.size(), 1u);
    EXPECT_EQ(FileAt(kLogPath), std::string(kPrefix) + "one\r\n" + kPrefix + "two\r\n");
}

TEST(WriteLog, TempEndingInBackslashGivesTwoBackslashes) {
    RunLogged(PcWithTemp("C:\\Temp\\"), [] { WriteLog("x\n"); });
    EXPECT_EQ(FileAt("C:\\Temp\\\\_QEL_InstallerUpdata.log"), std::string(kPrefix) + "x\r\n");
    EXPECT_EQ(sim::CurrentWorld().pc.files.size(), 1u);
}

TEST(WriteLog, UnopenableFileDropsTheMessageAndTheNextTriesAgain) {
    sim::Pc pc = EmptyPc();
    pc.missingFolders.insert(sim::Lower(kTemp));
    RunLogged(pc, [] {
        WriteLog("dropped\n");
        sim::CurrentWorld().pc.missingFolders.clear(); // the folder appears
        WriteLog("kept\n");
    });
    EXPECT_EQ(FileAt(kLogPath), std::string(kPrefix) + "kept\r\n");
    EXPECT_EQ(sim::CurrentWorld().console, "kept\n");
}

struct LengthCase {
    const char* name;
    std::string message;
    std::string stored; // the message as the entry holds it, before the line end
    bool addsLineFeed;
};

TEST(WriteLog, MessageLengthAgainstTheLineBuffer) {
    // 42 prefix characters, the message, a line feed and the NUL share 2048 bytes.
    const std::string x2004(2004, 'x');
    const LengthCase cases[] = {
        {"2004 without line feed fits", x2004, x2004, true},
        {"2005 with final line feed fits", x2004 + "\n", x2004 + "\n", false},
        {"2005 without line feed is cut", x2004 + "y", x2004, true},
        {"2006 with final line feed is cut", x2004 + "y\n", x2004, true},
        {"far too long is cut", std::string(5000, 'z'), std::string(2004, 'z'), true},
        {"line feed early, too long", "a\n" + std::string(3000, 'b'),
         "a\n" + std::string(2002, 'b'), true},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunLogged(EmptyPc(), [&c] { WriteLog("%s", c.message.c_str()); });
        std::string stored = kPrefix + c.stored + (c.addsLineFeed ? "\n" : "");
        EXPECT_LE(stored.size(), size_t(LOG_LINE_SIZE - 1));
        std::string onDisk;
        for (char ch : stored)
            onDisk += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        EXPECT_EQ(FileAt(kLogPath), onDisk);
        EXPECT_EQ(sim::CurrentWorld().console, c.stored);
    }
}
