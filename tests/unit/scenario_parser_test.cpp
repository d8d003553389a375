// Scenario files: a malformed one is refused with "FILE:LINE: problem", by the parser and by
// the runner, which then exits with 2.
#include "sim/scenario.h"
#include "sim/scenario_keys.h"
#include "test_support.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace qtest;
namespace fs = std::filesystem;

namespace {

struct BadScenario {
    const char* name;
    const char* text;
    int line;
    const char* problem; // a part of the message after "FILE:LINE: "
};

const BadScenario kBadScenarios[] = {
    {"toml syntax", "name = \"x\"\n\nclock = \n", 3, ""},
    {"unknown key", "name = \"x\"\ncolour = \"blue\"\n", 2, "unknown key 'colour' in the scenario"},
    {"wrong type", "clock = 5\n", 1, "clock must be a string"},
    {"bad clock", "\nclock = \"2009-06-05 09:04\"\n", 2, "clock must be a UTC time"},
    {"clock before 1970", "clock = \"1969-12-31T23:59:59.999Z\"\n", 1, "from 1970 on"},
    {"bad guid", "[[class]]\nname = \"USB\"\nguid = \"{36FC9E60}\"\n", 3, "guid must look like"},
    {"class without guid", "[[class]]\nname = \"USB\"\n", 1, "[[class]] needs a guid"},
    {"device key",
     "[[class]]\nguid = \"{36FC9E60-C465-11CF-8056-444553540000}\"\n\n[[class.device]]\n"
     "id = 'USB\\HUB'\nafter_enter = \"yes\"\n",
     6, "after_enter must be true or false"},
    {"code out of range", "[installer]\nload_error = -1\n", 2,
     "load_error (a Windows error code) must be between 0 and 4294967295"},
    {"unknown outcome", "[installer]\noutcomes = [0, \"maybe\"]\n", 2, "unknown outcome 'maybe'"},
};

} // namespace

TEST(ScenarioParser, MalformedScenarioNamesFileLineAndProblem) {
    for (const BadScenario& c : kBadScenarios) {
        SCOPED_TRACE(c.name);
        sim::Pc pc;
        std::string error;
        EXPECT_FALSE(sim::ParseScenario(c.text, "bad.toml", &pc, &error));
        std::string where = "bad.toml:" + std::to_string(c.line) + ": ";
        EXPECT_EQ(error.rfind(where, 0), 0u) << error;
        EXPECT_NE(error.find(c.problem, where.size()), std::string::npos) << error;
        EXPECT_GT(error.size(), where.size()) << error;
    }
}

TEST(ScenarioParser, ReadsAWellFormedScenario) {
    const char text[] = "clock = \"2009-06-05T09:04:07.012Z\"\n"
                        "[env]\nTEMP = 'C:\\Temp'\n"
                        "[stdin]\nline = \"\\n\"\nafter_ms = 3000\n"
                        "[class_lookup]\nfaults = [{ error = 122, count = 20 }]\n"
                        "[[class]]\nguid = \"{36FC9E60-C465-11CF-8056-444553540000}\"\n"
                        "enum_fails_at = 3\n"
                        "  [[class.device]]\n  id = 'USB\\VID_1E3F&PID_0C02\\QEL1'\n"
                        "  service = \"WinUSB\"\n  after_enter = true\n";
    sim::Pc pc;
    std::string error;
    ASSERT_TRUE(sim::ParseScenario(text, "good.toml", &pc, &error)) << error;
    EXPECT_EQ(pc.clockStartMs, 1244192647012ULL);
    EXPECT_EQ(pc.env["TEMP"], "C:\\Temp");
    EXPECT_FALSE(pc.stdinAtEnd);
    EXPECT_EQ(pc.stdinLine, "\n");
    EXPECT_EQ(pc.stdinAfterMs, 3000u);
    ASSERT_EQ(pc.lookupFaults.size(), 1u);
    EXPECT_EQ(pc.lookupFaults[0].count, 20u);
    ASSERT_EQ(pc.classes.size(), 1u);
    EXPECT_EQ(pc.classes[0].enumFailsAt, 3);
    ASSERT_EQ(pc.classes[0].devices.size(), 1u);
    EXPECT_TRUE(pc.classes[0].devices[0].afterEnter);
    EXPECT_EQ(pc.registry.size(), 1u);
}

TEST(ScenarioRunner, MalformedScenarioExitsWith2) {
    ScratchDir dir;
    for (const BadScenario& c : kBadScenarios) {
        SCOPED_TRACE(c.name);
        fs::path file = dir.path() / "bad.toml";
        std::ofstream(file, std::ios::binary) << c.text;
        RunnerOutput r = RunRunner(dir, "--exit-code '" + file.string() + "' -l");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        std::string where = file.string() + ":" + std::to_string(c.line) + ": ";
        EXPECT_NE(r.err.find(where), std::string::npos) << r.err;
    }
}

TEST(ScenarioRunner, MissingScenarioFileExitsWith2) {
    ScratchDir dir;
    fs::path file = dir.path() / "absent.toml";
    RunnerOutput r = RunRunner(dir, "'" + file.string() + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
}

TEST(ScenarioRunner, WellFormedScenarioRuns) {
    ScratchDir dir;
    fs::path file = dir.path() / "none.toml";
    std::ofstream(file, std::ios::binary)
        << "[[class]]\nguid = \"{36FC9E60-C465-11CF-8056-444553540000}\"\n";
    RunnerOutput r = RunRunner(dir, "--exit-code '" + file.string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("\nDevice not found.\nNow exiting...")) << r.out;
    EXPECT_NE(r.err.find("exit code: 0x00000001 (1)"), std::string::npos) << r.err;
}

// Every table of the key table, each key once. What is printed parses back to a PC that prints
// the same: a key whose printer and reader disagree shows here.
TEST(ScenarioKeys, EveryKeyIsReadAndPrintedBack) {
    const char text[] = R"(name = "all keys"
clock = "2009-06-05T09:04:07.012Z"
time_zone = "+05:30"
ansi_code_page = 932
windows_dir = 'C:\Windows'
windows_dir_error = 0
env = { TEMP = 'C:\Temp', "My Var" = "x" }
env_wide = { USERNAME = "qel" }
system = { windows_version = "10.0", windows_build = 19045, elevated = true, architecture = "x86_64" }
console = { processes = 1 }
stdin = { at_end = false, redirected = false, line = "\n", after_ms = 10 }
class_lookup = { faults = [ { error = 122, count = 20 } ] }
memory = { fail_allocs = [ 9 ], limit = 1000000 }
threads = { create_fails = false }
disks = { set_errors = [ 5 ], enum_fails_at = 3, detail_fails_at = 4, fail_error = 13 }
installer = { load_error = 0, export_error = 0, fail_while_adb_off = 0xE0000203, ms = 5, outcomes = [ { error = 2, ms = 1, reboot = false } ] }
fs = { missing_folders = [ 'C:\Nope' ] }

[[class]]
guid = "{36FC9E60-C465-11CF-8056-444553540000}"
name = "USB"
set_error = 0
enum_fails_at = 9
enum_error = 13
  [[class.device]]
  id = 'USB\VID_1E3F&PID_0C02\QEL1'
  service_value = { name = "Service", type = "REG_SZ", string = "WinUSB" }
  key = "present"
  key_open_error = 0
  after_enter = false
  list_detail_fails = false
  id_result = 0
  adb = false
  [[class.device]]
  id = 'USB\VID_1E3F&PID_0C02\QEL2'
  service = "WinUSB"

[[disk]]
path = '\\?\usbstor#qel1'
phone = "QEL1"
present_from_ms = 0
present_until_ms = 100000
open_error = 0
replies = [ { error = 31, ms = 2, vanish = false, status = 0 } ]

[[registry]]
path = 'SYSTEM\X'
open_error = 0
values = [ { name = "A", hex = "01" }, { name = "B", dword = 1 } ]

[[file]]
path = 'C:\Temp\f.txt'
content = "x"

[[short_path]]
long = 'C:\Temp\Long Name'
short = 'C:\Temp\LONGNA~1'
)";
    sim::Pc pc;
    std::string error;
    ASSERT_TRUE(sim::ParseScenario(text, "all.toml", &pc, &error)) << error;
    std::set<std::string> tables;
    for (const sim::ScenarioKey& k : sim::ScenarioKeys())
        tables.insert(k.table);
    EXPECT_EQ(tables.size(), 20u); // each one appears above

    std::string printed = sim::PrintScenario(pc);
    sim::Pc again;
    ASSERT_TRUE(sim::ParseScenario(printed, "printed.toml", &again, &error)) << error << printed;
    EXPECT_EQ(sim::PrintScenario(again), printed);
    for (const char* part : {"time_zone = \"+05:30\"", "ansi_code_page = 932", "after_ms = 10",
                             "{ error = 122, count = 20 }", "fail_allocs = [ 9, ]",
                             "outcomes = [ { error = 2, ms = 1 }, ]",
                             "replies = [ { error = 31, ms = 2 }, ]", "enum_error = 13", "LONGNA~1",
                             "\"MY VAR\" = \"x\"", "missing_folders = [ \"c:\\\\nope\", ]"})
        EXPECT_NE(printed.find(part), std::string::npos) << part << "\n" << printed;
}

// docs/scenarios.md holds the key index as the key table makes it (qel-driver-fix-sim
// --key-index prints it).
TEST(ScenarioKeys, DocsHoldTheKeyIndex) {
    std::string docs = ReadBytes(fs::path(QEL_SOURCE_DIR) / "docs/scenarios.md");
    EXPECT_NE(docs.find(sim::ScenarioKeyIndex()), std::string::npos)
        << "refresh docs/scenarios.md with qel-driver-fix-sim --key-index:\n"
        << sim::ScenarioKeyIndex();
}

// What the scenario parser accepts in a string, and only that: the log replay writes other bytes
// as the Windows-1252 letters they stand for, and the fuzzer skips PCs it cannot print.
TEST(ScenarioText, IsWhatTheParserAccepts) {
    const struct {
        const char* bytes;
        bool held;
    } cases[] = {
        {"plain ASCII", true},   {"caf\xC3\xA9", true},
        {"\xE2\x82\xAC", true},  {"\xF0\x9F\x93\xB1", true},
        {"\xC0\x80", false},     {"\xE0\x80\x80", false},
        {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},
        {"\xEE\x80\x80", false}, {"\xC3", false},
        {"\xE9t\xE9", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(sim::IsScenarioText(c.bytes), c.held);
        sim::Pc pc;
        std::string error;
        EXPECT_EQ(
            sim::ParseScenario("name = \"" + std::string(c.bytes) + "\"\n", "t.toml", &pc, &error),
            c.held)
            << error;
    }
}
