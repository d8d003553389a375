// Whole runs of the tool on the scenario files of scenarios/, checked byte for byte against what
// tests/scenarios/ keeps for each: NAME.console, NAME.log (as stored, CR LF) and NAME.meta:
//
//   scenario: default.toml    the scenario file in scenarios/
//   args: -l                  the tool's arguments, separated by spaces (may be empty)
//   runs: 2                   optional: run this often over the same PC, check the last run
//   exit_code: 0x00000000
//   virtual_ms: 6000          the virtual time of the checked run
//
// Later runs start from the PC as the previous run left it (drivers, log file) and on its clock.
// QEL_UPDATE_EXPECTED=1 rewrites NAME.console, NAME.log and the last two meta lines from the runs;
// read the new files before committing them.
#include "sim/scenario.h"
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace qtest;
namespace fs = std::filesystem;

namespace {

const fs::path kSourceDir = QEL_SOURCE_DIR;

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

std::map<std::string, std::string> ReadMeta(const fs::path& path) {
    std::map<std::string, std::string> meta;
    std::istringstream lines(ReadBytes(path));
    for (std::string line; std::getline(lines, line);) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        size_t value = line.find_first_not_of(' ', colon + 1);
        meta[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
    }
    return meta;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::string Hex(DWORD code) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", (unsigned)code);
    return text;
}

std::vector<fs::path> MetaFiles() {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(kSourceDir / "tests/scenarios"))
        if (entry.path().extension() == ".meta")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(ScenarioRuns, EveryScenarioPrintsLogsAndEndsAsExpected) {
    const bool update = getenv("QEL_UPDATE_EXPECTED") != nullptr;
    std::vector<fs::path> metas = MetaFiles();
    ASSERT_FALSE(metas.empty());
    for (const fs::path& metaPath : metas) {
        const std::string name = metaPath.stem().string();
        SCOPED_TRACE(name);
        std::map<std::string, std::string> meta = ReadMeta(metaPath);
        sim::Pc pc;
        std::string error;
        ASSERT_TRUE(
            sim::LoadScenario((kSourceDir / "scenarios" / meta["scenario"]).string(), &pc, &error))
            << error;
        const int runs = meta.count("runs") ? std::stoi(meta["runs"]) : 1;
        sim::RunResult r;
        for (int run = 0; run < runs; ++run) {
            if (run > 0) {
                pc = sim::CurrentWorld().pc;
                pc.clockStartMs += r.elapsedMs;
            }
            r = RunClean(pc, Words(meta["args"]));
        }
        const fs::path base = metaPath.parent_path() / name;
        if (update) {
            WriteBytes(fs::path(base).replace_extension(".console"), r.console);
            WriteBytes(fs::path(base).replace_extension(".log"), sim::LogFileBytes());
            std::string text = "scenario: " + meta["scenario"] + "\nargs: " + meta["args"] + "\n";
            if (runs > 1)
                text += "runs: " + std::to_string(runs) + "\n";
            text += "exit_code: " + Hex(r.exitCode) +
                    "\nvirtual_ms: " + std::to_string(r.elapsedMs) + "\n";
            WriteBytes(metaPath, text);
            continue;
        }
        EXPECT_EQ(r.console, ReadBytes(fs::path(base).replace_extension(".console")));
        EXPECT_EQ(sim::LogFileBytes(), ReadBytes(fs::path(base).replace_extension(".log")));
        EXPECT_EQ(Hex(r.exitCode), meta["exit_code"]);
        EXPECT_EQ(std::to_string(r.elapsedMs), meta["virtual_ms"]);
    }
}

// A repaired phone is on usbccgp: a second run over the same PC leaves the installer alone.
TEST(ScenarioRuns, SecondRunAfterTheRepairFindsNothingToDo) {
    sim::Pc pc;
    std::string error;
    ASSERT_TRUE(sim::LoadScenario((kSourceDir / "scenarios/default.toml").string(), &pc, &error))
        << error;
    ASSERT_EQ(RunClean(pc).exitCode, 0u);
    ASSERT_EQ(sim::CurrentWorld().installCalls.size(), 2u);

    const sim::Pc repaired = sim::CurrentWorld().pc; // a copy: the next run starts a fresh world
    sim::RunResult again = RunClean(repaired);
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_TRUE(sim::CurrentWorld().installCalls.empty());
    EXPECT_TRUE(sim::CurrentWorld().adbRequests.empty());
    EXPECT_EQ(again.elapsedMs, 0u);
}
