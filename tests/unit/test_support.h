// Small PCs for the tests, and helpers to read what a run did.
#pragma once

#include "harness/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qtest {

extern const GUID kUsbClassGuid;
extern const GUID kSecondUsbClassGuid;
extern const char kPhoneId[];     // the phone's composite device
extern const char kPhoneSerial[]; // its serial, as in the ID
extern const char kPhoneHardwareId[];
extern const char kPhoneInterfaceId[];
extern const char kPhoneDiskPath[];
extern const char kTemp[];
extern const char kLogPath[];

// A PC with one USB class holding a hub; no phone.
sim::Pc EmptyPc();
// EmptyPc plus the QEL Tarrow (composite device on `service`, two interfaces) and its disk.
sim::Pc PhonePc(const std::string& service = "WinUSB");
// The devices of the first class.
std::vector<sim::Device>& Devices(sim::Pc& pc);
void AddDevice(sim::Pc& pc, const std::string& id, const std::string& service = "");

// The log's entries with their prefixes removed, in order; "" entries never occur.
std::vector<std::string> LogMessages(const std::string& logBytes);

// Runs the tool and checks that every resource was released.
sim::RunResult RunClean(const sim::Pc& pc, const std::vector<std::string>& args = {});

// How often needle occurs in text.
size_t Count(const std::string& text, const std::string& needle);

// Runs body as the main thread of a fresh simulated process on pc, with the log switch on or
// off, so that single operations can be called as the tool would. Returns the ledger report.
std::vector<std::string> RunInProcess(const sim::Pc& pc, bool log,
                                      const std::function<void()>& body, bool trace = false);

// The log's messages as the tool formatted them: LogMessages with each stored CR LF back to LF.
std::vector<std::string> LoggedTexts(const std::string& logBytes);

// Runs TurnAdb alone with the log on and checks that every resource was released.
sim::RunResult RunTurnAdbClean(const sim::Pc& pc, bool on, const std::string& serial,
                               bool trace = false);

// A file's bytes; "" when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);

// A scratch folder for this test process, removed at the end.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// qel-driver-fix-sim run as a program with these (shell-quoted) arguments.
struct RunnerOutput {
    int status;
    std::string out, err;
};
RunnerOutput RunRunner(const ScratchDir& dir, const std::string& arguments);

} // namespace qtest
