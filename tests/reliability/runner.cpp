// qel-reliability: runs the whole tool on many seeded random PCs with faults and checks, after
// every run, the promises the tool keeps whatever the PC does. See docs/reliability.md.
#include "adb/adb_command.h"
#include "harness/process.h"
#include "sim/calendar.h"
#include "sim/scenario.h"
#include "sim/scenario_keys.h"
#include "tests/reliability/generator.h"
#include "tests/reliability/log_roundtrip.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

// The death callback lives in the sanitizer runtime, which only a sanitized build links.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define QEL_HAVE_SANITIZER_CALLBACK 1
#endif

namespace {

const char kUsage[] =
    "usage: qel-reliability [--seeds N] [--first S] [--seed S [--trace] [--print-pc]]\n"
    "                       [--roundtrip] [--from-log] [--quiet] [--rate-NAME=P ...] [--no-swarm]\n"
    "                       [--rates]\n"
    "Runs qel-driver-fix on seeded random simulated PCs and checks its invariants after\n"
    "every run. Prints the seed of every failure; exit status 1 when any run failed.\n"
    "  --seeds N       run seeds S..S+N-1 (S from --first, default 1)\n"
    "  --seed S        run seed S alone; --trace prints the console, the log and every\n"
    "                  Windows call; --print-pc prints the PC as a scenario file\n"
    "  --roundtrip     also replay each PC from its printed scenario and compare the runs\n"
    "  --from-log      also replay each run from the scenario its log gives (--from-log)\n"
    "  --rate-NAME=P   probability of one kind of fault or variation (0..1) for every seed;\n"
    "                  --rates lists them with their defaults\n"
    "  --no-swarm      every seed at the default rates (else each seed draws its own rates\n"
    "                  from itself, printed with the seed; --rate-NAME still overrides)\n";

// ---- Oracles: what the PC allows, computed from the PC alone -----------------------------------

// The code page's own mapping, as the tool lowers paths and serials.
std::string CpLower(const std::string& text) {
    return sim::LowerByCodePage(sim::CurrentWorld().pc.ansiCodePage, text);
}

bool IsUsbClass(const sim::SetupClass& c) {
    return sim::Lower(c.name) == "usb";
}

bool HasVendorPrefix(const std::string& id) {
    return id.size() >= 18 && sim::Lower(id.substr(0, 18)) == "usb\\vid_1e3f&pid_0";
}

// A composite device of a phone with a serial: the only kind the repair may act on.
bool IsPhoneComposite(const std::string& id) {
    return HasVendorPrefix(id) && id.size() > 22 && id[21] != '&';
}

// The Service value reads as usbccgp through a 255-byte buffer.
bool OnUsbccgp(const sim::Pc& pc, const std::string& id) {
    auto key = pc.registry.find(sim::Lower(sim::EnumKeyPath(id)));
    if (key == pc.registry.end() || key->second.openError != 0)
        return false;
    auto value = key->second.values.find("service");
    if (value == key->second.values.end() || value->second.type != REG_SZ ||
        value->second.data.size() > 255)
        return false;
    const std::vector<uint8_t>& data = value->second.data;
    std::string text(data.begin(), data.end());
    return sim::Lower(text.substr(0, text.find('\0'))) == "usbccgp";
}

// The class lookup as the tool does it, with the PC's lookup faults and failing allocations.
struct LookupModel {
    unsigned allocs = 0;
    unsigned lookups = 0;
};

DWORD ModelLookup(const sim::Pc& pc, LookupModel* m) {
    uint64_t capacity = 16;
    for (;;) {
        unsigned call = ++m->allocs;
        if (pc.failAllocs.count(call) || capacity * sizeof(GUID) > pc.allocLimit)
            return ERROR_INSUFFICIENT_BUFFER;
        unsigned lookup = m->lookups++;
        DWORD error = 0, required = 0;
        if (lookup < pc.lookupFaults.size()) {
            error = pc.lookupFaults[lookup].error;
            required = pc.lookupFaults[lookup].count;
        } else {
            for (const sim::SetupClass& c : pc.classes)
                required += IsUsbClass(c) ? 1 : 0;
            error = required > capacity ? ERROR_INSUFFICIENT_BUFFER : 0;
        }
        if (error == 0)
            return 0;
        if (error != ERROR_INSUFFICIENT_BUFFER)
            return error;
        capacity = required;
    }
}

// Devices of a class that a walk over its set reaches, in order.
std::vector<const sim::Device*> Walked(const sim::SetupClass& c, bool stdinRead) {
    std::vector<const sim::Device*> walked;
    if (c.setError)
        return walked;
    for (const sim::Device& d : c.devices) {
        if (d.afterEnter && !stdinRead)
            continue;
        if (c.enumFailsAt >= 0 && (int)walked.size() >= c.enumFailsAt)
            break;
        walked.push_back(&d);
    }
    return walked;
}

// DetectDevice: 0 no phone, else nonzero.
DWORD ModelDetect(const sim::Pc& pc, bool stdinRead, LookupModel* m) {
    DWORD error = ModelLookup(pc, m);
    if (error)
        return error;
    for (const sim::SetupClass& c : pc.classes) {
        if (!IsUsbClass(c))
            continue;
        for (const sim::Device* d : Walked(c, stdinRead))
            if (d->listDetailFails || d->idResult != CR_SUCCESS || d->instanceId.size() >= 200 ||
                HasVendorPrefix(d->instanceId))
                return 1;
    }
    return 0;
}

// Phone composites the repair pass may hand to the installer: walked, readable, a serial, not on
// usbccgp at the start.
std::vector<std::string> RepairTargets(const sim::Pc& pc, bool stdinRead) {
    std::vector<std::string> targets;
    for (const sim::SetupClass& c : pc.classes) {
        if (!IsUsbClass(c))
            continue;
        for (const sim::Device* d : Walked(c, stdinRead))
            if (!d->listDetailFails && d->idResult == CR_SUCCESS && d->instanceId.size() < 200 &&
                IsPhoneComposite(d->instanceId) && !OnUsbccgp(pc, d->instanceId))
                targets.push_back(d->instanceId);
    }
    return targets;
}

bool LogSwitch(const std::vector<std::string>& args) {
    if (args.empty() || args[0].size() < 2)
        return false;
    std::string lower = args[0];
    for (char& c : lower)
        c = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
    return lower[1] == 'l' || lower == "--log";
}

// The folder the log goes to: TEMP as the A call reads it when the code page holds it, else
// the short path of the wide TEMP where it has one; "" when there is none.
std::string LogFolder(const sim::Pc& pc) {
    auto ansi = pc.env.find("TEMP");
    if (ansi != pc.env.end())
        return ansi->second;
    auto wide = pc.envWide.find("TEMP");
    if (wide == pc.envWide.end())
        return "";
    bool lossless = true;
    std::string derived = sim::ToCp1252(sim::FromUtf8(wide->second), &lossless);
    if (lossless || sim::FromUtf8(wide->second).size() >= MAX_PATH)
        return derived;
    for (const auto& [longPath, shortPath] : pc.shortPaths) {
        if (sim::Lower(longPath) != sim::Lower(wide->second))
            continue;
        bool plain = true;
        std::string ansiShort = sim::ToCp1252(sim::FromUtf8(shortPath), &plain);
        return plain ? ansiShort : "";
    }
    return "";
}

uint64_t MaxMs(const std::vector<sim::Outcome>& outcomes, uint64_t base) {
    for (const sim::Outcome& o : outcomes)
        base = o.ms > base ? o.ms : base;
    return base;
}

// The waits a run may add up: the prompt's; per repair target ten attempts (the install call,
// then a switch-on of at most two 1000 ms passes or a 1000 ms retry wait) and, only when a disk
// of the phone accepted a command (ADB can have been switched on), 4000 ms before the
// switch-off and four switch-off calls of two passes with 1000 ms after each; and, over the
// whole run, every scripted disk reply once (a refusal waits 1000 ms; after its replies a disk
// accepts at once).
uint64_t TimeBound(const sim::Pc& pc, bool prompted, bool stdinRead,
                   const std::vector<sim::AdbRequest>& requests) {
    uint64_t bound = 0;
    if (prompted)
        bound += 2000 + (pc.stdinAtEnd || pc.stdinLine.empty() ? 0 : pc.stdinAfterMs);
    else if (pc.consoleProcesses == 1) // the first read can be the wait for Enter at the end
        bound += pc.stdinAtEnd || pc.stdinLine.empty() ? 0 : pc.stdinAfterMs;
    uint64_t install = MaxMs(pc.installer.outcomes, pc.installer.ms);
    for (const std::string& id : RepairTargets(pc, stdinRead)) {
        bound += 10 * (install + 2000);
        std::string serial = CpLower(id.substr(22));
        bool accepted = false;
        for (const sim::AdbRequest& request : requests)
            accepted |= (request.error == 0 || request.error == ERROR_DEV_NOT_EXIST) &&
                        CpLower(request.diskPath).find(serial) != std::string::npos;
        if (accepted)
            bound += 4000 + 4 * 3000;
    }
    for (const sim::Disk& d : pc.disks)
        for (const sim::Outcome& reply : d.replies)
            bound += 1000 + reply.ms;
    return bound;
}

// A disk that nothing keeps from being found, opened and commanded: present all along, opened
// without error, not vanishing, listed in full (no set, enumeration or detail faults, no path
// over 1019 characters up to it) and no allocation failing.
bool PlainlyReachable(const sim::Pc& pc, size_t diskIndex) {
    const sim::Disk& disk = pc.disks[diskIndex];
    bool setsFine = true;
    for (DWORD error : pc.diskSetErrors)
        setsFine &= error == 0;
    if (!setsFine || pc.diskEnumFailsAt >= 0 || pc.diskDetailFailsAt >= 0 ||
        !pc.failAllocs.empty() || disk.presentFromMs || disk.presentUntilMs != UINT64_MAX ||
        disk.openError)
        return false;
    for (const sim::Outcome& reply : disk.replies)
        if (reply.vanish)
            return false;
    for (size_t i = 0; i <= diskIndex; ++i)
        if (pc.disks[i].path.size() > 1019 || pc.disks[i].presentFromMs)
            return false;
    return true;
}

// ---- The log file ------------------------------------------------------------------------------

struct LogEntry {
    std::string message; // after the prefix, LF-form
    uint64_t utcMs = 0;
};

// Parses what this run appended. Every entry: the 42-character prefix in the exact format, the
// message, a line feed; CR LF in the file for every line feed; at most 2047 bytes before the CR
// expansion (the 2048-byte line buffer with its NUL).
bool ParseLog(const std::string& bytes, std::vector<LogEntry>* entries, std::string* problem) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            if (i + 1 >= bytes.size() || bytes[i + 1] != '\n') {
                *problem = "a CR without LF at byte " + std::to_string(i);
                return false;
            }
            continue;
        }
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            *problem = "a LF without CR at byte " + std::to_string(i);
            return false;
        }
        text += bytes[i];
    }
    static const char kTag[] = "QELDriverFixed\t[";
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.compare(pos, sizeof(kTag) - 1, kTag) != 0) {
            *problem = "an entry does not begin with the tag: " + text.substr(pos, 60);
            return false;
        }
        size_t next = text.find(std::string("\n") + kTag, pos);
        size_t end = next == std::string::npos ? text.size() : next + 1;
        std::string entry = text.substr(pos, end - pos);
        pos = end;
        if (entry.size() > 2047) {
            *problem = "an entry of " + std::to_string(entry.size()) + " bytes";
            return false;
        }
        if (entry.back() != '\n') {
            *problem = "an entry without its line end: " + entry.substr(0, 80);
            return false;
        }
        int y, mo, d, h, mi, s, ms;
        if (entry.size() < 42 || sscanf(entry.c_str() + 16, "%4d-%2d-%2d %2d:%2d:%2d:%3d", &y, &mo,
                                        &d, &h, &mi, &s, &ms) != 7) {
            *problem = "unreadable time in " + entry.substr(0, 60);
            return false;
        }
        char prefix[64];
        snprintf(prefix, sizeof(prefix), "QELDriverFixed\t[%4d-%2d-%2d  %2d:%2d:%2d:%3d]\t", y, mo,
                 d, h, mi, s, ms);
        if (entry.compare(0, 42, prefix) != 0 || strlen(prefix) != 42) {
            *problem = "malformed prefix '" + entry.substr(0, 42) + "'";
            return false;
        }
        LogEntry e;
        e.message = entry.substr(42);
        e.utcMs = (uint64_t)sim::MsFromCivil(y, (unsigned)mo, (unsigned)d, (unsigned)h,
                                             (unsigned)mi, (unsigned)s, (unsigned)ms);
        entries->push_back(e);
    }
    return true;
}

// ---- The console -------------------------------------------------------------------------------

const char kBanner[] = "===============================\nQEL Android driver update tool\n"
                       "===============================\n\nDetecting \"QEL Tarrow\" on your PC...";
const char kPrompt[] = "\nDevice not found.\nPlease be sure \"QEL Tarrow\" already connect to your "
                       "PC and try again.";
const char kNotFound[] = "\nDevice not found.\nNow exiting...";
const char kUpdating[] = "\nUpdating driver...";
const char kUpdated[] = "\nDriver updated.\n";
const char kRestart[] = "Restart your PC to finish the update.\n";
const char kHold[] = "\nPress Enter to close this window.";

// What ends the run besides its closing text: the restart notice and the wait for Enter.
struct Ending {
    DWORD exitCode = 0;
    bool restart = false;
    bool hold = false;
};

enum class Phase { Detect, Prompted, Repair, Updated, Exited };

struct ConsoleFacts {
    bool prompted = false;
    bool updating = false;
    unsigned dots = 0;
};

class ConsoleMatcher {
  public:
    ConsoleMatcher(const std::string& console, const std::vector<std::string>& echoes,
                   bool dotsAllowed, const sim::Installer& installer, const Ending& ending)
        : c_(console), echoes_(echoes), dotsAllowed_(dotsAllowed), installer_(installer),
          ending_(ending) {}

    // The console is the banner, then texts, echoes (in log order) and dots in an order the run
    // sequence allows: dots only while the indicator runs unpaused, the prompt only in
    // detection, the installer errors only in the repair pass, nothing after the last text but
    // at most one dot.
    bool Match(ConsoleFacts* facts, std::string* problem) {
        if (c_.compare(0, sizeof(kBanner) - 1, kBanner) != 0)
            return Fail("no banner and detecting line at the start", problem);
        pos_ = sizeof(kBanner) - 1;
        Phase phase = Phase::Detect;
        unsigned dotsAfterEnd = 0;
        bool held = false;
        while (pos_ < c_.size()) {
            bool ended = phase == Phase::Exited || phase == Phase::Updated;
            if (ended && ending_.hold && !held && Take(kHold)) {
                held = true;
                continue;
            }
            if (phase == Phase::Exited || held)
                return Fail("text after the last text of the run", problem);
            if (TakeEcho())
                continue;
            if (c_[pos_] == '.') {
                bool running = phase == Phase::Detect || phase == Phase::Repair;
                if (!dotsAllowed_ || !(running || (phase == Phase::Updated && dotsAfterEnd++ == 0)))
                    return Fail("a dot where the indicator is paused or stopped", problem);
                ++facts->dots;
                ++pos_;
                continue;
            }
            if (phase == Phase::Detect && Take(kPrompt)) {
                phase = Phase::Prompted;
                facts->prompted = true;
            } else if ((phase == Phase::Detect || phase == Phase::Prompted) && Take(kUpdating)) {
                phase = Phase::Repair;
                facts->updating = true;
            } else if (phase == Phase::Prompted && Take(kNotFound)) {
                phase = Phase::Exited;
            } else if (phase == Phase::Repair && TakeClosing()) {
                if (ending_.restart && !Take(kRestart))
                    return Fail("no restart notice after the closing text", problem);
                phase = Phase::Updated;
            } else if (phase == Phase::Repair &&
                       (TakeCode("Update LoadLibrary error: ", installer_.loadError) ||
                        TakeCode("Update GetProcAddress error: ", installer_.exportError))) {
            } else {
                return Fail("unexpected text at byte " + std::to_string(pos_) + ": '" +
                                c_.substr(pos_, 60) + "'",
                            problem);
            }
        }
        if (echo_ != echoes_.size())
            return Fail("" + std::to_string(echoes_.size() - echo_) +
                            " log messages were not echoed, first '" + echoes_[echo_] + "'",
                        problem);
        if (phase != Phase::Exited && phase != Phase::Updated)
            return Fail("the run ends without its closing text", problem);
        if (held != ending_.hold)
            return Fail(std::string("the wait for Enter ") +
                            (held ? "although others share the console" : "is missing"),
                        problem);
        return true;
    }

  private:
    bool Fail(const std::string& what, std::string* problem) {
        *problem = what;
        return false;
    }
    bool Take(const char* text) {
        size_t n = strlen(text);
        if (c_.compare(pos_, n, text) != 0)
            return false;
        pos_ += n;
        return true;
    }
    // The closing text that tells the exit code's truth: updated, or failed with the code and
    // one line of advice.
    bool TakeClosing() {
        if (ending_.exitCode == 0)
            return Take(kUpdated);
        char failed[64];
        snprintf(failed, sizeof(failed), "\nDriver update failed, error 0x%08X.\n",
                 (unsigned)ending_.exitCode);
        size_t save = pos_;
        size_t end = Take(failed) ? c_.find('\n', pos_) : std::string::npos;
        if (end == std::string::npos || end == pos_) {
            pos_ = save;
            return false;
        }
        pos_ = end + 1;
        return true;
    }
    bool TakeCode(const char* text, DWORD code) {
        std::string line = text + std::to_string((int)code) + "\n";
        return code != 0 && Take(line.c_str());
    }
    // The next log message, as echoed. A message cut to fit the line buffer is echoed without
    // the line feed the entry got; the text after the echo tells the two apart.
    bool TakeEcho() {
        if (echo_ >= echoes_.size())
            return false;
        const std::string& message = echoes_[echo_];
        size_t save = pos_;
        if (Take(message.c_str()) && (message.size() < 2005 || StartsToken())) {
            ++echo_;
            return true;
        }
        pos_ = save;
        std::string cut = message.substr(0, message.size() - 1);
        if (message.size() >= 2005 && Take(cut.c_str())) {
            ++echo_;
            return true;
        }
        return false;
    }
    bool StartsToken() const {
        if (pos_ >= c_.size() || c_[pos_] == '.' || c_[pos_] == '\n')
            return true;
        return echo_ + 1 < echoes_.size() &&
               c_.compare(pos_, echoes_[echo_ + 1].size(), echoes_[echo_ + 1]) == 0;
    }

    const std::string& c_;
    const std::vector<std::string>& echoes_;
    bool dotsAllowed_;
    const sim::Installer& installer_;
    const Ending& ending_;
    size_t pos_ = 0;
    size_t echo_ = 0;
};

// ---- Checking one run --------------------------------------------------------------------------

struct Stats {
    uint64_t seeds = 0, failures = 0;
    uint64_t exitZero = 0, exitOne = 0, exitOther = 0;
    uint64_t prompts = 0, installCalls = 0, adbRequests = 0, logEntries = 0, dots = 0;
    uint64_t maxVirtualMs = 0;
    double maxBoundRatio = 0;
    std::map<std::string, uint64_t> injected;    // kind -> faults
    std::map<std::string, uint64_t> injectedPcs; // kind -> PCs with it
    std::map<std::string, uint64_t> hit;         // kind -> times it reached the tool
    std::map<std::string, uint64_t> broken;      // checker -> failing runs
};

// What a run did and what its PC allows, worked out once for all checkers.
struct RunFacts {
    const rel::GeneratedPc& g;
    const sim::RunResult& r;
    const sim::World& w;
    DWORD firstDetection = 0;         // the model's first detection: 0 when it misses
    bool noPhone = false;             // both detections miss
    std::vector<std::string> targets; // phone composites the repair may act on
    bool logOn = false;               // the log switch, with a usable path
    std::string logBefore, logAfter;  // the log file before and after the run
    std::vector<LogEntry> entries;    // this run's entries, when they parse
    std::string logProblem;           // why they do not
    ConsoleFacts console;
    std::string consoleProblem;
    uint64_t timeBound = 0;

    RunFacts(const rel::GeneratedPc& generated, const sim::RunResult& result)
        : g(generated), r(result), w(sim::CurrentWorld()) {
        const sim::Pc& pc = g.pc;
        LookupModel lookups;
        firstDetection = ModelDetect(pc, false, &lookups);
        noPhone = firstDetection == 0 && ModelDetect(pc, true, &lookups) == 0;
        // Devices that show up after Enter are there for the repair only when the prompt read
        // it; the wait for Enter at the end reads too, but later.
        const bool promptRead = firstDetection == 0;
        targets = RepairTargets(pc, promptRead);

        std::string folder = LogFolder(pc);
        logOn = LogSwitch(g.args) && !folder.empty() && folder.size() <= MAX_PATH - 26 &&
                !pc.missingFolders.count(sim::Lower(folder));
        if (!folder.empty()) {
            std::string key = sim::Lower(folder + "\\_QEL_InstallerUpdata.log");
            auto old = pc.files.find(key);
            if (old != pc.files.end())
                logBefore = old->second;
            auto now = w.pc.files.find(key);
            if (now != w.pc.files.end())
                logAfter = now->second;
        }
        if (logAfter.compare(0, logBefore.size(), logBefore) != 0)
            logProblem = "the earlier content was changed";
        else if (!logOn && logAfter != logBefore)
            logProblem = "written although the log is off or has no usable path";
        else if (!ParseLog(logAfter.substr(logBefore.size()), &entries, &logProblem))
            entries.clear();

        std::vector<std::string> echoes; // all but the header and exit-code entries
        for (size_t i = 1; i + 1 < entries.size(); ++i)
            echoes.push_back(entries[i].message);
        Ending ending;
        ending.exitCode = r.exitCode;
        for (const sim::InstallCall& call : w.installCalls)
            ending.restart |= call.reboot;
        ending.hold = pc.consoleProcesses == 1 && !pc.stdinRedirected;
        ConsoleMatcher matcher(r.console, echoes, !pc.threadCreateFails, pc.installer, ending);
        if (!matcher.Match(&console, &consoleProblem))
            console = ConsoleFacts{};
        timeBound = TimeBound(pc, firstDetection == 0, promptRead, w.adbRequests);
    }
};

using Problems = std::vector<std::string>;

// Every set, handle, key, library, block, file and thread released; no bad release.
void CheckResourcesReleased(const RunFacts& f, Problems* problems) {
    for (const std::string& leak : f.r.leaks)
        problems->push_back(leak);
}

// Exit code 1 exactly when both detections found nothing (the model of detection over this PC
// says when); otherwise 0 or a code the PC gave: a last-error value the sim set, 122 when a
// class list could not be allocated, 206 when the package path does not fit.
void CheckExitCodeFromThePc(const RunFacts& f, Problems* problems) {
    const sim::Pc& pc = f.g.pc;
    DWORD code = f.r.exitCode;
    if ((code == 1) != f.noPhone)
        problems->push_back("exit code " + std::to_string(code) + " but the PC " +
                            (f.noPhone ? "has no phone at either detection" : "shows a phone"));
    if (code == 0 || code == 1)
        return;
    bool allocFailed = false;
    for (unsigned call : pc.failAllocs)
        allocFailed |= call <= f.w.allocCalls;
    bool produced =
        f.w.lastErrors.count(code) ||
        (code == ERROR_INSUFFICIENT_BUFFER && (allocFailed || !pc.lookupFaults.empty())) ||
        (code == ERROR_FILENAME_EXCED_RANGE &&
         pc.windowsDir.size() + sizeof("\\inf\\usb.inf") > MAX_PATH);
    if (!produced) {
        char text[96];
        snprintf(text, sizeof(text), "exit code %#x is no error the PC produced", (unsigned)code);
        problems->push_back(text);
    }
}

// ADB requests only to disks whose lower-cased path holds the lower-cased, non-empty serial of
// a phone the repair acts on; every request in the platform's shape with the ADB command.
void CheckAdbRequestsGoToRepairedPhones(const RunFacts& f, Problems* problems) {
    for (const sim::AdbRequest& request : f.w.adbRequests) {
        std::string path = CpLower(request.diskPath);
        bool known = false, forTarget = false;
        for (const sim::Disk& d : f.g.pc.disks)
            known |= CpLower(d.path) == path;
        for (const std::string& id : f.targets) {
            std::string serial = CpLower(id.substr(22));
            forTarget |= !serial.empty() && path.find(serial) != std::string::npos;
        }
        if (!known || !forTarget)
            problems->push_back(
                "ADB request to " + request.diskPath.substr(0, 120) +
                (known ? ", whose path holds no repaired phone's serial" : ", no disk of the PC"));
        bool shaped = request.ioctl == IOCTL_SCSI_PASS_THROUGH &&
                      request.inLength == sizeof(SCSI_PASS_THROUGH) &&
                      request.outLength == sizeof(AdbModeRequest) && request.bytes.size() > 33 &&
                      memcmp(request.bytes.data() + 28, "\x16qel\x80", 5) == 0 &&
                      (request.bytes[33] == 1 || request.bytes[33] == 2);
        if (!shaped)
            problems->push_back("a malformed ADB request to " + request.diskPath.substr(0, 120));
    }
}

// Install calls only for the 21-character hardware ID of a phone composite the repair acts on,
// from the Windows directory's usb.inf, forced; none when the installer is missing; at most
// ten per phone.
void CheckInstallCallsForRepairedPhones(const RunFacts& f, Problems* problems) {
    const sim::Pc& pc = f.g.pc;
    std::string package = pc.windowsDir + "\\inf\\usb.inf";
    for (const sim::InstallCall& call : f.w.installCalls) {
        bool forTarget = false;
        for (const std::string& id : f.targets)
            forTarget |= id.substr(0, 21) == call.hardwareId;
        if (call.hardwareId.size() != 21 || !forTarget)
            problems->push_back("install call for '" + call.hardwareId +
                                "', no phone the repair acts on");
        if (call.infPath != package || call.flags != 1)
            problems->push_back("install call with package '" + call.infPath + "' flags " +
                                std::to_string(call.flags));
    }
    if (!f.w.installCalls.empty() && (pc.installer.loadError || pc.installer.exportError))
        problems->push_back("install calls although the installer could not be loaded");
    std::map<std::string, size_t> callsPerId, targetsPerId;
    for (const sim::InstallCall& call : f.w.installCalls)
        ++callsPerId[call.hardwareId];
    for (const std::string& id : f.targets)
        ++targetsPerId[id.substr(0, 21)];
    for (const auto& [hardwareId, calls] : callsPerId)
        if (calls > 10 * targetsPerId[hardwareId])
            problems->push_back(std::to_string(calls) + " install calls for " + hardwareId);
}

// A failure the repair ends with reaches the exit code: a device whose install attempts all
// failed, or whose installer could not be loaded, leaves a nonzero result that no later success
// clears.
void CheckFailedRepairReachesTheExitCode(const RunFacts& f, Problems* problems) {
    const std::vector<sim::InstallCall>& calls = f.w.installCalls;
    size_t run = 0;
    bool repairFailed = false;
    for (size_t i = 0; i < calls.size(); ++i) {
        const sim::InstallCall& call = calls[i];
        run = i > 0 && calls[i - 1].hardwareId == call.hardwareId && calls[i - 1].error && run < 10
                  ? run + 1
                  : 1;
        bool last = i + 1 == calls.size() || run == 10 ||
                    calls[i + 1].hardwareId != call.hardwareId || call.error == 0;
        repairFailed |= last && call.error != 0;
    }
    repairFailed |= f.r.console.find("Update LoadLibrary error: ") != std::string::npos ||
                    f.r.console.find("Update GetProcAddress error: ") != std::string::npos;
    if (repairFailed && (f.r.exitCode == 0 || f.r.exitCode == 1))
        problems->push_back("a failed repair ends with exit code " + std::to_string(f.r.exitCode));
}

// A phone whose install failed has ADB switched on through every disk of its that is plainly
// reachable (the path holds the serial).
void CheckAdbSwitchedOnAfterAFailedInstall(const RunFacts& f, Problems* problems) {
    const sim::Pc& pc = f.g.pc;
    for (const std::string& id : f.targets) {
        size_t sameHardwareId = 0;
        for (const std::string& other : f.targets)
            sameHardwareId += other.substr(0, 21) == id.substr(0, 21);
        bool failed = false;
        for (const sim::InstallCall& call : f.w.installCalls)
            failed |= call.hardwareId == id.substr(0, 21) && call.error != 0;
        if (!failed || sameHardwareId != 1)
            continue;
        std::string serial = CpLower(id.substr(22));
        for (size_t d = 0; d < pc.disks.size(); ++d) {
            std::string path = CpLower(pc.disks[d].path);
            if (path.find(serial) == std::string::npos || !PlainlyReachable(pc, d))
                continue;
            bool commanded = false;
            for (const sim::AdbRequest& request : f.w.adbRequests)
                commanded |= CpLower(request.diskPath) == path;
            if (!commanded)
                problems->push_back("no ADB request to " + pc.disks[d].path.substr(0, 120) +
                                    " for " + id);
        }
    }
}

// The log: only this run's entries after what was there before, each well-formed, with UTC
// stamps in time order within the run; nothing at all when the log is off or has nowhere to go.
void CheckLogEntriesWellFormedInUtc(const RunFacts& f, Problems* problems) {
    if (!f.logProblem.empty()) {
        problems->push_back(f.logProblem);
        return;
    }
    uint64_t start = f.g.pc.clockStartMs, last = start;
    for (const LogEntry& e : f.entries) {
        if (e.utcMs < last || e.utcMs > start + f.r.elapsedMs) {
            problems->push_back("a time stamp out of order or outside the run (not UTC?)");
            return;
        }
        last = e.utcMs;
    }
}

// A run's entries begin with its header (version, the PC's architecture, Windows version and
// build, elevation) and end with its exit code.
void CheckLogFramedByHeaderAndExitCode(const RunFacts& f, Problems* problems) {
    if (!f.logOn || !f.logProblem.empty())
        return;
    const sim::Pc& pc = f.g.pc;
    char header[160], exitEntry[32];
    snprintf(header, sizeof(header), "qel-driver-fix %s %s, Windows %u.%u build %u, %s\n",
             QEL_VERSION, pc.architecture.c_str(), (unsigned)pc.windowsMajor,
             (unsigned)pc.windowsMinor, (unsigned)pc.windowsBuild,
             pc.elevated ? "elevated" : "not elevated");
    snprintf(exitEntry, sizeof(exitEntry), "Exit code: 0x%08X\n", (unsigned)f.r.exitCode);
    if (f.entries.size() < 2 || f.entries.front().message != header ||
        f.entries.back().message != exitEntry)
        problems->push_back("the run is not framed by its header and exit-code entries");
}

// The console: only the tool's texts, the log's messages (in order) and dots, in an order the
// run sequence allows; the prompt exactly when the first detection found nothing, the repair
// exactly when a phone was found.
void CheckConsoleInRunOrder(const RunFacts& f, Problems* problems) {
    if (!f.consoleProblem.empty()) {
        problems->push_back(f.consoleProblem);
        return;
    }
    if (f.console.prompted != (f.firstDetection == 0))
        problems->push_back(std::string("the prompt ") +
                            (f.console.prompted ? "shown" : "missing") +
                            " although the first detection " +
                            (f.firstDetection ? "finds" : "misses") + " a phone");
    if (f.console.updating == f.noPhone)
        problems->push_back("the repair pass does not follow the detections");
}

// Virtual time within what the waits of this PC allow.
void CheckVirtualTimeWithinTheWaits(const RunFacts& f, Problems* problems) {
    if (f.r.elapsedMs > f.timeBound)
        problems->push_back("virtual time " + std::to_string(f.r.elapsedMs) +
                            " ms over the bound of " + std::to_string(f.timeBound) + " ms");
}

// One checker per concern; its name says what broke.
struct Checker {
    const char* name;
    void (*check)(const RunFacts&, Problems*);
};

const Checker kCheckers[] = {
    {"resources-released", CheckResourcesReleased},
    {"exit-code-from-the-pc", CheckExitCodeFromThePc},
    {"adb-requests-go-to-repaired-phones", CheckAdbRequestsGoToRepairedPhones},
    {"install-calls-for-repaired-phones", CheckInstallCallsForRepairedPhones},
    {"failed-repair-reaches-the-exit-code", CheckFailedRepairReachesTheExitCode},
    {"adb-switched-on-after-a-failed-install", CheckAdbSwitchedOnAfterAFailedInstall},
    {"log-entries-well-formed-in-utc", CheckLogEntriesWellFormedInUtc},
    {"log-framed-by-header-and-exit-code", CheckLogFramedByHeaderAndExitCode},
    {"console-in-run-order", CheckConsoleInRunOrder},
    {"virtual-time-within-the-waits", CheckVirtualTimeWithinTheWaits},
};

// Faults that reached the tool during the run, as against those put into the PC, and the
// run's figures.
void CountRun(const RunFacts& f, Stats* stats) {
    const sim::Pc& pc = f.g.pc;
    const sim::World& w = f.w;
    auto hit = [&](const char* kind, uint64_t n) { stats->hit[kind] += n; };
    for (unsigned call : pc.failAllocs)
        hit("allocation failed", call <= w.allocCalls);
    hit("class lookup failed by script",
        w.lookupCalls < pc.lookupFaults.size() ? w.lookupCalls : pc.lookupFaults.size());
    for (size_t i = 0; i < pc.diskSetErrors.size() && i < w.diskSetCalls; ++i)
        hit("disk set not made", pc.diskSetErrors[i] != 0);
    for (const sim::InstallCall& call : w.installCalls)
        hit("install call failed", call.error != 0);
    for (const sim::AdbRequest& request : w.adbRequests)
        hit(request.error == 0 || request.error == ERROR_DEV_NOT_EXIST ? "ADB request accepted"
                                                                       : "ADB request refused",
            1);
    hit("disk vanished", w.vanishedDisks.size());
    hit("progress thread not started", pc.threadCreateFails);

    const sim::RunResult& r = f.r;
    stats->exitZero += r.exitCode == 0;
    stats->exitOne += r.exitCode == 1;
    stats->exitOther += r.exitCode > 1;
    stats->prompts += f.console.prompted;
    stats->installCalls += w.installCalls.size();
    stats->adbRequests += w.adbRequests.size();
    stats->logEntries += f.entries.size();
    stats->dots += f.console.dots;
    if (r.elapsedMs > stats->maxVirtualMs)
        stats->maxVirtualMs = r.elapsedMs;
    if (f.timeBound && (double)r.elapsedMs / (double)f.timeBound > stats->maxBoundRatio)
        stats->maxBoundRatio = (double)r.elapsedMs / (double)f.timeBound;
}

// Every checker's problems, each led by the checker's name.
std::vector<std::string> CheckRun(const rel::GeneratedPc& g, const sim::RunResult& r,
                                  Stats* stats) {
    RunFacts facts(g, r);
    std::vector<std::string> problems;
    for (const Checker& checker : kCheckers) {
        Problems found;
        checker.check(facts, &found);
        if (!found.empty())
            ++stats->broken[checker.name];
        for (const std::string& problem : found)
            problems.push_back(std::string(checker.name) + ": " + problem);
    }
    CountRun(facts, stats);
    return problems;
}

// ---- Crash reports -----------------------------------------------------------------------------

volatile uint64_t g_currentSeed = 0;

void ReportCrashSeed() {
    char text[160];
    int n = snprintf(text, sizeof(text),
                     "\nqel-reliability: the run of seed %llu crashed; replay it with "
                     "qel-reliability --seed %llu --trace\n",
                     (unsigned long long)g_currentSeed, (unsigned long long)g_currentSeed);
    if (n > 0 && write(2, text, (size_t)n) < 0)
        _exit(70);
}

void OnSignal(int signal) {
    ReportCrashSeed();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// ---- Main --------------------------------------------------------------------------------------

struct Options {
    uint64_t first = 1;
    uint64_t seeds = 1000;
    bool single = false;
    bool trace = false;
    bool printPc = false;
    bool roundtrip = false;
    bool fromLog = false;
    bool quiet = false;
    bool swarm = true;
    std::map<std::string, double> overrides; // --rate-NAME=P, for every seed
};

bool ParseNumber(const char* text, uint64_t* value) {
    char* end = nullptr;
    *value = strtoull(text, &end, 10);
    return end != text && *end == '\0';
}

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--seeds" && hasValue && ParseNumber(argv[++i], &o->seeds))
            continue;
        if (arg == "--first" && hasValue && ParseNumber(argv[++i], &o->first))
            continue;
        if (arg == "--seed" && hasValue && ParseNumber(argv[++i], &o->first)) {
            o->single = true;
            o->seeds = 1;
            continue;
        }
        if (arg == "--from-log") {
            o->fromLog = true;
            continue;
        }
        if (arg == "--trace" || arg == "--print-pc" || arg == "--roundtrip" || arg == "--quiet") {
            (arg == "--trace"       ? o->trace
             : arg == "--print-pc"  ? o->printPc
             : arg == "--roundtrip" ? o->roundtrip
                                    : o->quiet) = true;
            continue;
        }
        if (arg == "--no-swarm") {
            o->swarm = false;
            continue;
        }
        if (arg == "--rates") {
            const rel::FaultRates standard;
            for (const rel::RateOption& option : rel::RateOptions())
                printf("--rate-%s=%g\n", option.name, standard.*option.member);
            exit(0);
        }
        if (arg == "--help") {
            fputs(kUsage, stdout);
            exit(0);
        }
        size_t equals = arg.find('=');
        if (arg.rfind("--rate-", 0) == 0 && equals != std::string::npos) {
            char* end = nullptr;
            std::string value = arg.substr(equals + 1);
            double rate = strtod(value.c_str(), &end);
            rel::FaultRates check;
            if (end != value.c_str() && *end == '\0' &&
                rel::SetRate(&check, arg.substr(7, equals - 7), rate)) {
                o->overrides[arg.substr(7, equals - 7)] = rate;
                continue;
            }
        }
        fprintf(stderr, "qel-reliability: bad option %s\n%s", arg.c_str(), kUsage);
        return false;
    }
    return true;
}

// The seed's own rates (or the defaults with --no-swarm), with the --rate-NAME overrides.
rel::FaultRates SeedRates(uint64_t seed, const Options& o) {
    rel::FaultRates rates = o.swarm ? rel::SwarmRates(seed) : rel::FaultRates{};
    for (const auto& [name, rate] : o.overrides)
        rel::SetRate(&rates, name, rate);
    return rates;
}

// The PC as a scenario with each registry key's path in lower case: Windows finds a key whatever
// the case, and a device's key keeps the case of whichever spelling the parser met first.
std::string CanonicalText(sim::Pc pc) {
    for (auto& [lowerPath, key] : pc.registry)
        key.path = lowerPath;
    return sim::PrintScenario(pc);
}

// Replays the PC from its printed scenario: the printer must describe exactly this PC.
std::string Roundtrip(const rel::GeneratedPc& g, const sim::RunResult& r) {
    sim::Pc parsed;
    std::string error;
    if (!sim::ParseScenario(rel::DescribePc(g.pc, g.args), "printed", &parsed, &error))
        return "roundtrip: the printed scenario does not parse: " + error;
    parsed.name = g.pc.name;
    if (CanonicalText(parsed) != CanonicalText(g.pc))
        return "roundtrip: the printed scenario reads back as another PC";
    sim::RunResult again = sim::RunTool(parsed, g.args);
    if (again.console != r.console || again.exitCode != r.exitCode ||
        again.elapsedMs != r.elapsedMs)
        return "roundtrip: the printed scenario runs differently";
    return "";
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, &o))
        return 2;
#if defined(QEL_HAVE_SANITIZER_CALLBACK)
    __sanitizer_set_death_callback(ReportCrashSeed);
#endif
    std::signal(SIGSEGV, OnSignal);
    std::signal(SIGABRT, OnSignal);

    // With --print-pc standard output is a scenario file; the verdict goes to standard error.
    FILE* report = o.printPc ? stderr : stdout;
    Stats stats;
    rel::LogRoundtripStats logStats;
    auto started = std::chrono::steady_clock::now();
    for (uint64_t seed = o.first; seed < o.first + o.seeds; ++seed) {
        g_currentSeed = seed;
        rel::FaultRates rates = SeedRates(seed, o);
        rel::GeneratedPc g = rel::GeneratePc(seed, rates);
        if (o.printPc)
            fputs(("# Fault rates: " + rel::DescribeRates(rates) + "\n" +
                   rel::DescribePc(g.pc, g.args))
                      .c_str(),
                  stdout);
        if (o.single)
            fprintf(report, "seed %llu, rates: %s\n", (unsigned long long)seed,
                    rel::DescribeRates(rates).c_str());
        sim::RunResult r = sim::RunTool(g.pc, g.args, o.trace);
        ++stats.seeds;
        for (const auto& [kind, count] : g.injected) {
            stats.injected[kind] += count;
            stats.injectedPcs[kind] += 1;
        }
        std::vector<std::string> problems = CheckRun(g, r, &stats);
        if (o.fromLog) {
            std::string mismatch = rel::LogRoundtrip(g, r, &logStats);
            if (!mismatch.empty())
                problems.push_back(mismatch);
        }
        if (o.trace) {
            printf("--- console\n%s\n--- log\n%s--- trace\n", r.console.c_str(),
                   sim::LogFileBytes().c_str());
            for (const std::string& line : sim::CurrentWorld().trace)
                printf("%s\n", line.c_str());
            printf("--- exit code %#x, virtual time %llu ms\n", (unsigned)r.exitCode,
                   (unsigned long long)r.elapsedMs);
        }
        if (o.roundtrip) {
            std::string mismatch = Roundtrip(g, r);
            if (!mismatch.empty())
                problems.push_back(mismatch);
        }
        if (!problems.empty()) {
            ++stats.failures;
            fprintf(report, "FAIL seed %llu (rates: %s)\n", (unsigned long long)seed,
                    rel::DescribeRates(rates).c_str());
            for (const std::string& p : problems)
                fprintf(report, "  %s\n", p.c_str());
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    fprintf(report, "qel-reliability: %llu seeds from %llu, %llu failed, %.1f s\n",
            (unsigned long long)stats.seeds, (unsigned long long)o.first,
            (unsigned long long)stats.failures, seconds);
    if (o.fromLog) {
        fprintf(report, "log roundtrip: %llu runs replayed from their logs, %llu wrote no log\n",
                (unsigned long long)logStats.replayed, (unsigned long long)logStats.noLog);
        for (const auto& [reason, count] : logStats.inexact)
            fprintf(report, "  not exact (%llu runs): %s\n", (unsigned long long)count,
                    reason.c_str());
    }
    if (!o.quiet && !o.single) {
        printf("runs: exit 0: %llu, exit 1: %llu, other codes: %llu; prompts %llu; install calls "
               "%llu; ADB requests %llu; log entries %llu; dots %llu\n",
               (unsigned long long)stats.exitZero, (unsigned long long)stats.exitOne,
               (unsigned long long)stats.exitOther, (unsigned long long)stats.prompts,
               (unsigned long long)stats.installCalls, (unsigned long long)stats.adbRequests,
               (unsigned long long)stats.logEntries, (unsigned long long)stats.dots);
        printf("virtual time: longest run %llu ms, at most %.0f%% of its bound\n",
               (unsigned long long)stats.maxVirtualMs, stats.maxBoundRatio * 100);
        printf("runs each checker failed:%s\n", stats.broken.empty() ? " none" : "");
        for (const auto& [checker, count] : stats.broken)
            printf("  %-40s %7llu\n", checker.c_str(), (unsigned long long)count);
        printf("faults that reached the tool:\n");
        for (const auto& [kind, count] : stats.hit)
            printf("  %-40s %7llu\n", kind.c_str(), (unsigned long long)count);
        printf("faults and variations injected (kind: count in PCs with it):\n");
        for (const auto& [kind, count] : stats.injected)
            printf("  %-40s %7llu in %6llu\n", kind.c_str(), (unsigned long long)count,
                   (unsigned long long)stats.injectedPcs[kind]);
    }
    return stats.failures ? 1 : 0;
}
