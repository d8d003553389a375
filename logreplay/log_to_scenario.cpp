// The run is read back as the tool wrote it: the parser below follows the tool's own sequence
// (detections, the repair pass, each device's attempts and ADB switches) and, line by line, sets
// what the simulated PC must answer for the same line to come at the same time.
#include "logreplay/log_to_scenario.h"

#include "sim/scenario.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace logreplay {
namespace {

const DWORD kChosenInstallError = 0xE0000203; // ERROR_NO_DRIVER_SELECTED... a common answer
const DWORD kChosenLookupError = ERROR_INVALID_DATA;
const DWORD kChosenLoadError = 126; // ERROR_MOD_NOT_FOUND
const CONFIGRET kUnreadableId = 0x0D;

struct Line {
    uint64_t utcMs;
    uint32_t line;
    Message m;
};

std::string Hex8(DWORD code) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", (unsigned)code);
    return text;
}

std::string LineRef(uint32_t line) {
    return "line " + std::to_string(line);
}

bool IsVendorPrefixed(const std::string& id) {
    return id.size() >= 18 && sim::Lower(id.substr(0, 18)) == "usb\\vid_1e3f&pid_0";
}

bool IsPhoneComposite(const std::string& id) {
    return IsVendorPrefixed(id) && id.size() > 22 && id[21] != '&';
}

struct RepairDevice {
    std::string id;
    uint32_t line = 0;
    enum { NotRead, Value, NoValue } registry = NotRead;
    std::string value;
    uint32_t valueLine = 0;
    bool keyMustFail = false; // an earlier install bound usbccgp to its hardware ID
};

struct ClassModel {
    std::string guid;
    uint32_t firstLine = 0;
    bool inDetection[2] = {false, false};
    std::vector<std::string> detected[2]; // Check Device IDs of each detection
    bool inRepair = false;
    std::vector<RepairDevice> repaired;
};

struct Opening {
    int64_t at;
    DWORD error;
};

struct DiskModel {
    std::string path;
    std::string phone;
    std::vector<Opening> opens;
    std::vector<sim::Outcome> replies;
    std::vector<uint32_t> lines;
};

struct Listing {
    int64_t at;
    std::vector<std::string> paths;
};

enum class Elastic { None, Install, Reply, Stdin };

class Builder {
  public:
    Builder(const LogFile& log, const LogRun& run) {
        for (size_t i = run.first; i < run.first + run.count; ++i)
            lines_.push_back(
                Line{log.entries[i].utcMs, log.entries[i].line, ParseMessage(log.entries[i].text)});
        if (!log.crlf)
            r_.problems.push_back("the file's line ends are LF, not CR LF as the tool writes "
                                  "them: the replay's log has CR LF");
        codePage_ = InferCodePage();
    }

    Replay Build();

  private:
    // ---- Cursor ----
    const Line* Peek() {
        while (pos_ < lines_.size() && lines_[pos_].m.kind == Kind::Unknown) {
            Problem(LineRef(lines_[pos_].line) + " is no message of the tool; left out");
            ++pos_;
        }
        return pos_ < lines_.size() ? &lines_[pos_] : nullptr;
    }
    bool PeekIs(Kind kind) {
        const Line* l = Peek();
        return l != nullptr && l->m.kind == kind;
    }
    const Line& Take() {
        const Line& l = lines_[pos_++];
        Arrive(l);
        return l;
    }
    int64_t VirtualAt(const Line& l) const { return (int64_t)l.utcMs - (int64_t)clock_; }
    void Arrive(const Line& l) {
        int64_t at = VirtualAt(l);
        if (at > now_) {
            uint64_t extra = (uint64_t)(at - now_);
            if (elastic_ == Elastic::Install)
                outcomes_[elasticIndex_].ms += extra;
            else if (elastic_ == Elastic::Reply)
                disks_[elasticIndex_].replies[elasticReply_].ms += extra;
            else if (elastic_ == Elastic::Stdin)
                r_.pc.stdinAfterMs += extra;
            else
                ++r_.lateLines;
            now_ = at;
        } else if (at < now_) {
            ++earlyLines_;
        }
        elastic_ = Elastic::None;
    }
    void Problem(const std::string& text) {
        if (std::find(r_.problems.begin(), r_.problems.end(), text) == r_.problems.end())
            r_.problems.push_back(text);
    }
    void Cut(const std::string& where) {
        if (!r_.cutShort)
            r_.problems.push_back("the run ends " + where + ": the replay goes on from there");
        r_.cutShort = true;
    }

    // The ANSI code page whose case mapping gives the lower-cased serials and paths of the
    // log (they differ only for letters outside ASCII); 1252 when nothing tells.
    unsigned InferCodePage() {
        for (unsigned cp : {1252u, 932u, 936u}) {
            bool consistent = true;
            std::string id;
            std::vector<std::string> listed;
            for (const Line& l : lines_) {
                if (l.m.kind == Kind::AttemptUpdate)
                    id = l.m.a;
                else if (l.m.kind == Kind::DeviceFilter) {
                    listed.clear();
                    if (id.size() > 22 && l.m.a != sim::LowerByCodePage(cp, id.substr(22)))
                        consistent = false;
                } else if (l.m.kind == Kind::InterfaceDevice) {
                    listed.push_back(l.m.a);
                } else if (l.m.kind == Kind::AttemptTurn) {
                    bool found = false;
                    for (const std::string& p : listed)
                        found = found || sim::LowerByCodePage(cp, p) == l.m.a;
                    consistent = consistent && found;
                }
            }
            if (consistent)
                return cp;
        }
        Problem("the lower-cased serials and paths fit no ANSI code page the simulated PC knows");
        return 1252;
    }

    // ---- The run's parts ----
    size_t ClassFor(const std::string& guid, uint32_t line);
    int Detection(int which, bool* foundByCheck);
    void RepairPass();
    void RepairOneDevice(size_t cls);
    void Attempts(const std::string& hwid, const std::string& serial, uint32_t updatingLine);
    int TurnAdb(bool on, const std::string& serial);
    size_t DiskFor(const std::string& path);

    // ---- Making the PC ----
    void ClampDurations();
    void MakeClasses();
    void MakeDisks();
    void MakeInstaller();
    void MakeLookups();

    std::vector<Line> lines_;
    unsigned codePage_ = 1252;
    size_t pos_ = 0;
    uint64_t clock_ = 0;
    int64_t now_ = 0;
    Elastic elastic_ = Elastic::None;
    size_t elasticIndex_ = 0, elasticReply_ = 0;
    size_t earlyLines_ = 0;
    Replay r_;

    std::vector<ClassModel> classes_;
    int lastDetectionClass_[2] = {-1, -1};
    bool detectionRan_[2] = {false, false};
    bool detectionFound_[2] = {false, false};
    bool detectionByCheck_[2] = {false, false};
    bool prompt_ = false;
    bool repairRan_ = false;
    bool repairLookupFailed_ = false;
    bool noClassesAtFirst_ = false;
    int currentClass_ = -1;

    std::vector<sim::Outcome> outcomes_;
    std::vector<bool> unknownCode_;
    std::vector<DiskModel> disks_;
    std::vector<Listing> listings_;
    std::vector<DWORD> setErrors_;
    unsigned diskSetCalls_ = 0;
    unsigned switchAllocs_ = 0;                // memory blocks taken by ADB switches so far
    std::vector<unsigned> failedSwitchAllocs_; // those that failed, counted from 0
    std::set<std::string> boundHardwareIds_;   // lower-cased
    std::vector<DWORD> deviceResults_;
    bool silentLoadFailure_ = false;
    std::string windowsDir_;
    uint32_t windowsDirLine_ = 0;
    DWORD windowsDirError_ = 0;
    bool windowsDirErrorSet_ = false;
};

size_t Builder::ClassFor(const std::string& guid, uint32_t line) {
    for (size_t i = 0; i < classes_.size(); ++i)
        if (sim::Lower(classes_[i].guid) == sim::Lower(guid))
            return i;
    ClassModel c;
    c.guid = guid;
    c.firstLine = line;
    classes_.push_back(c);
    return classes_.size() - 1;
}

// One detection: the classes it walks and the IDs it checks; stops where a class comes again.
// Returns the number of classes walked.
int Builder::Detection(int which, bool* foundByCheck) {
    std::set<std::string> seen;
    int walked = 0;
    *foundByCheck = false;
    while (PeekIs(Kind::RemoveDevices) && !seen.count(sim::Lower(Peek()->m.a))) {
        const Line& l = Take();
        seen.insert(sim::Lower(l.m.a));
        size_t cls = ClassFor(l.m.a, l.line);
        classes_[cls].inDetection[which] = true;
        lastDetectionClass_[which] = (int)cls;
        ++walked;
        *foundByCheck = false;
        while (PeekIs(Kind::CheckDevice)) {
            const Line& check = Take();
            classes_[cls].detected[which].push_back(check.m.a);
            *foundByCheck = IsVendorPrefixed(check.m.a);
            if (*foundByCheck)
                return walked;
        }
    }
    return walked;
}

size_t Builder::DiskFor(const std::string& path) {
    for (size_t i = 0; i < disks_.size(); ++i)
        if (disks_[i].path == path)
            return i;
    DiskModel d;
    d.path = path;
    disks_.push_back(d);
    return disks_.size() - 1;
}

int Builder::TurnAdb(bool on, const std::string& serial) {
    if (Peek() == nullptr) {
        Cut("before the ADB switch lists the disks");
        return 0;
    }
    // Memory blocks of the switch, counted as the tool takes them: a failed one leaves a
    // trace in the log only by what is missing.
    if (!PeekIs(Kind::DeviceFilter)) {
        failedSwitchAllocs_.push_back(switchAllocs_++); // the copy of the serial
        return 0;
    }
    ++switchAllocs_;
    const Line& filterLine = Take();
    const std::string& filter = filterLine.m.a;
    if (filter != sim::LowerByCodePage(codePage_, serial))
        Problem(LineRef(filterLine.line) + ": the filter is not the serial " + serial +
                " lower-cased");
    int result = 0;
    bool search = true;
    for (int pass = 0; pass < 2 && search; ++pass) {
        unsigned setCall = diskSetCalls_++;
        std::vector<std::string> listed;
        if (PeekIs(Kind::DiskSetError) && VirtualAt(*Peek()) < now_ + 500) {
            const Line& l = Take();
            setErrors_.resize(setCall + 1, 0);
            setErrors_[setCall] = l.m.code;
        } else {
            setErrors_.resize(setCall + 1, 0);
            Listing listing{now_, {}};
            // A listing takes no time; the next pass's comes 1000 ms later.
            int64_t start = now_;
            ++switchAllocs_; // the detail buffer
            while (PeekIs(Kind::InterfaceDevice) && VirtualAt(*Peek()) < start + 500 &&
                   std::find(listing.paths.begin(), listing.paths.end(), Peek()->m.a) ==
                       listing.paths.end()) {
                const Line& l = Take();
                size_t n = listing.paths.size();
                if (n == 0 || (n >= 8 && (n & (n - 1)) == 0))
                    ++switchAllocs_; // the path list grows
                ++switchAllocs_;     // the path's copy
                listing.at = now_;
                listing.paths.push_back(l.m.a);
                disks_[DiskFor(l.m.a)].lines.push_back(l.line);
            }
            listed = listing.paths;
            listings_.push_back(listing);
        }
        for (const std::string& path : listed) {
            unsigned copy = switchAllocs_++; // the lower-cased copy the filter is looked for in
            std::string lowerPath = sim::LowerByCodePage(codePage_, path);
            if (lowerPath.find(filter) == std::string::npos)
                continue;
            if (!(PeekIs(Kind::AttemptTurn) && Peek()->m.on == on && Peek()->m.a == lowerPath)) {
                failedSwitchAllocs_.push_back(copy);
                continue;
            }
            search = false;
            const Line& attempt = Take();
            size_t d = DiskFor(path);
            disks_[d].lines.push_back(attempt.line);
            if (disks_[d].phone.empty())
                disks_[d].phone = serial;
            if (PeekIs(Kind::OpenFailed) && Peek()->m.a == lowerPath) {
                const Line& failed = Take();
                disks_[d].opens.push_back(Opening{now_, failed.m.code});
                disks_[d].lines.push_back(failed.line);
                continue;
            }
            disks_[d].opens.push_back(Opening{now_, 0});
            for (int command = 0; command < 20; ++command) {
                disks_[d].replies.push_back(sim::Outcome{});
                elastic_ = Elastic::Reply;
                elasticIndex_ = d;
                elasticReply_ = disks_[d].replies.size() - 1;
                if (!PeekIs(Kind::CommandFailed)) {
                    result = 1; // accepted: no line
                    break;
                }
                const Line& refused = Take();
                disks_[d].replies.back().error = refused.m.code;
                disks_[d].lines.push_back(refused.line);
                if (refused.m.code == ERROR_DEV_NOT_EXIST) {
                    result = 1;
                    break;
                }
                now_ += 1000;
            }
        }
        now_ += 1000;
    }
    return result;
}

void Builder::Attempts(const std::string& hwid, const std::string& serial, uint32_t updatingLine) {
    int adbOn = 0;
    DWORD result = 0;
    bool succeeded = false;
    size_t firstOutcome = outcomes_.size();
    for (int attempt = 0; attempt < 10 && !succeeded; ++attempt) {
        outcomes_.push_back(sim::Outcome{});
        unknownCode_.push_back(false);
        size_t call = outcomes_.size() - 1;
        elastic_ = Elastic::Install;
        elasticIndex_ = call;
        const Line* next = Peek();
        if (next && next->m.kind == Kind::Success) {
            const Line& l = Take();
            r_.notes.outcomes[call] = LineRef(l.line) + ": success";
            if (windowsDir_.empty())
                windowsDir_ = l.m.b, windowsDirLine_ = l.line;
            boundHardwareIds_.insert(sim::Lower(hwid));
            if (PeekIs(Kind::RestartRequired)) {
                const Line& restart = Take();
                outcomes_[call].reboot = true;
                r_.notes.outcomes[call] +=
                    ", the installer asks for a restart (" + LineRef(restart.line) + ")";
            }
            succeeded = true;
            result = 0;
        } else if (next && next->m.kind == Kind::OpenAdb && !adbOn) {
            const Line& l = Take();
            outcomes_[call].error = kChosenInstallError;
            unknownCode_[call] = true;
            r_.notes.outcomes[call] =
                LineRef(l.line) + ": failed while ADB was off (the code is never logged: chosen)";
            adbOn = TurnAdb(true, serial);
        } else if (next && next->m.kind == Kind::FailRetry && adbOn) {
            const Line& l = Take();
            outcomes_[call].error = l.m.code;
            r_.notes.outcomes[call] =
                LineRef(l.line) + ": failed, retry " + std::to_string(l.m.number);
            if (windowsDir_.empty())
                windowsDir_ = l.m.b, windowsDirLine_ = l.line;
            result = l.m.code;
            now_ += 1000;
        } else {
            outcomes_.pop_back();
            unknownCode_.pop_back();
            elastic_ = Elastic::None;
            Cut("during the install attempts for " + hwid + " (" + LineRef(updatingLine) + ")");
            return;
        }
    }
    if (!succeeded) {
        if (!PeekIs(Kind::FailFinal)) {
            Cut("after the tenth install attempt for " + hwid);
            return;
        }
        const Line& l = Take();
        result = l.m.code;
        if (windowsDir_.empty())
            windowsDir_ = l.m.b, windowsDirLine_ = l.line;
        outcomes_.back().error = l.m.code;
        unknownCode_.back() = false;
        r_.notes.outcomes[outcomes_.size() - 1] += "; " + LineRef(l.line) + " gives its code";
    }
    // Codes of failures while ADB was off: the next logged code of this device, else chosen.
    DWORD later = 0;
    for (size_t i = outcomes_.size(); i-- > firstOutcome;) {
        if (!unknownCode_[i] && outcomes_[i].error)
            later = outcomes_[i].error;
        else if (unknownCode_[i] && later)
            outcomes_[i].error = later;
    }
    if (adbOn) {
        if (!PeekIs(Kind::CloseAdb)) {
            Cut("before ADB is switched off for " + hwid);
            return;
        }
        Take();
        now_ += 4000;
        for (int call = 0; call < 4; ++call) {
            if (Peek() == nullptr) {
                Cut("while switching ADB off for " + hwid);
                break;
            }
            if (PeekIs(Kind::DeviceFilter) && VirtualAt(*Peek()) >= now_ + 500) {
                // A second later: this call took no line (the copy of the serial failed).
                failedSwitchAllocs_.push_back(switchAllocs_++);
                now_ += 1000;
                continue;
            }
            if (TurnAdb(false, serial))
                break;
            now_ += 1000;
        }
    }
    deviceResults_.push_back(result);
}

void Builder::RepairOneDevice(size_t cls) {
    const Line& attempt = Take();
    RepairDevice device;
    device.id = attempt.m.a;
    device.line = attempt.line;
    if (!IsPhoneComposite(device.id)) {
        classes_[cls].repaired.push_back(device);
        return;
    }
    if (!PeekIs(Kind::CheckComposite)) {
        classes_[cls].repaired.push_back(device);
        Cut("before the registry of " + device.id + " is read");
        return;
    }
    Take();
    if (PeekIs(Kind::Service) && Peek()->m.a == device.id) {
        const Line& l = Take();
        device.registry = RepairDevice::Value;
        device.value = l.m.b;
        device.valueLine = l.line;
    } else {
        device.registry = RepairDevice::NoValue;
        device.keyMustFail = boundHardwareIds_.count(sim::Lower(device.id.substr(0, 21))) > 0;
    }
    classes_[cls].repaired.push_back(device);
    if (device.registry == RepairDevice::Value && sim::Lower(device.value) == "usbccgp")
        return;

    std::string hwid = device.id.substr(0, 21);
    std::string serial = device.id.substr(22);
    if (PeekIs(Kind::WindowsDirError)) {
        const Line& l = Take();
        windowsDirErrorSet_ = true;
        windowsDirError_ = l.m.code;
        windowsDirLine_ = l.line;
        deviceResults_.push_back(l.m.code ? l.m.code : ERROR_PATH_NOT_FOUND);
        return;
    }
    if (PeekIs(Kind::PathTooLong)) {
        const Line& l = Take();
        // A directory too long for the tool's buffer is logged empty: any such one will do.
        windowsDir_ = (l.m.b.empty() ? "C:\\" + std::string(300, 'w') : l.m.b) + "\\inf\\usb.inf";
        windowsDirLine_ = l.line;
        deviceResults_.push_back(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (!PeekIs(Kind::UpdatingDriver)) {
        // The installer could not be loaded: the tool says so on the console only.
        silentLoadFailure_ = true;
        deviceResults_.push_back(0xFFFFFFFF); // filled in when the PC is made
        return;
    }
    const Line& updating = Take();
    Attempts(hwid, serial, updating.line);
}

void Builder::RepairPass() {
    repairRan_ = true;
    repairLookupFailed_ = !PeekIs(Kind::UpdateDevices);
    while (Peek() != nullptr && !PeekIs(Kind::ExitCode)) {
        if (PeekIs(Kind::UpdateDevices)) {
            const Line& l = Take();
            currentClass_ = (int)ClassFor(l.m.a, l.line);
            classes_[(size_t)currentClass_].inRepair = true;
        } else if (PeekIs(Kind::AttemptUpdate) && currentClass_ >= 0) {
            RepairOneDevice((size_t)currentClass_);
            if (r_.cutShort)
                return;
        } else {
            Problem(LineRef(Peek()->line) + " does not fit the repair pass here; left out");
            ++pos_;
        }
    }
}

Replay Builder::Build() {
    r_.args = {"-l"};
    if (lines_.empty())
        return r_;
    clock_ = lines_[0].utcMs;
    r_.notes.clock = "the time stamp of " + LineRef(lines_[0].line);
    const Line* first = Peek();
    if (first && first->m.kind == Kind::Header) {
        const Line& header = Take();
        r_.notes.top.push_back("Header (" + LineRef(header.line) + "): " + header.m.text);
        r_.pc.windowsMajor = header.m.winMajor;
        r_.pc.windowsMinor = header.m.winMinor;
        r_.pc.windowsBuild = (DWORD)header.m.number;
        r_.pc.elevated = header.m.elevated;
        if (header.m.arch == "i686" || header.m.arch == "x86_64")
            r_.pc.architecture = header.m.arch;
        else
            Problem("the header names the architecture " + header.m.arch +
                    ", which the simulated PC does not know");
        r_.notes.system = "the header, " + LineRef(header.line);
    } else {
        r_.notes.top.push_back("The run has no header line: it was written by a build older "
                               "than 1.1, and its start is read from the sequence of lines.");
    }

    // Detection, with the prompt when it misses.
    bool byCheck = false;
    int walked = Detection(0, &byCheck);
    detectionRan_[0] = true;
    detectionByCheck_[0] = byCheck;
    const Line* next = Peek();
    bool secondDetection = false;
    if (next == nullptr) {
        if (byCheck)
            Cut("right after the phone was detected");
        else {
            prompt_ = true;
            Cut("at the prompt to connect the phone (the window was closed)");
        }
    } else if (next->m.kind == Kind::RemoveDevices) {
        secondDetection = true;
    } else if (next->m.kind == Kind::UpdateAdb) {
        if (VirtualAt(*next) - now_ >= 2000) {
            secondDetection = true; // the prompt came, then a detection that logged nothing
        } else {
            detectionFound_[0] = true;
        }
    } else if (next->m.kind == Kind::ExitCode) {
        secondDetection = true;
    }
    if (secondDetection) {
        prompt_ = true;
        r_.pc.stdinAtEnd = false;
        r_.pc.stdinLine = "\n";
        elastic_ = Elastic::Stdin;
        now_ += 2000;
        if (walked == 0)
            noClassesAtFirst_ = true;
        Detection(1, &byCheck);
        detectionRan_[1] = true;
        detectionByCheck_[1] = byCheck;
        detectionFound_[1] = PeekIs(Kind::UpdateAdb);
    }
    if (PeekIs(Kind::UpdateAdb)) {
        Take();
        RepairPass();
    } else if (!r_.cutShort && (detectionFound_[0] || detectionFound_[1])) {
        Cut("before the repair pass");
    }
    if (PeekIs(Kind::ExitCode)) {
        const Line& l = Take();
        r_.exitLogged = true;
        r_.exitCode = l.m.code;
    } else if (!r_.cutShort && detectionRan_[1] && !detectionFound_[1] && !repairRan_) {
        // A log from before the exit-code entry: two misses end the run.
    }
    while (Peek() != nullptr) {
        Problem(LineRef(Peek()->line) + " comes after the run's end; left out");
        ++pos_;
    }

    ClampDurations();
    r_.pc.ansiCodePage = codePage_;
    if (codePage_ != 1252)
        r_.notes.codePage = "the lower-cased serials and paths of the ADB switches";
    MakeClasses();
    MakeDisks();
    MakeInstaller();
    MakeLookups();

    // The exit code the replay gives.
    DWORD modelled = 0;
    if (detectionRan_[1] && !detectionFound_[1] && !repairRan_)
        modelled = 1;
    for (DWORD result : deviceResults_)
        if (result)
            modelled = result;
    if (repairLookupFailed_ && repairRan_ && !classes_.empty())
        modelled = r_.exitLogged ? r_.exitCode : ERROR_INSUFFICIENT_BUFFER;
    if (r_.exitLogged && modelled != r_.exitCode && !r_.cutShort)
        Problem("the log's exit code " + Hex8(r_.exitCode) + " does not follow from its lines (" +
                Hex8(modelled) + ")");
    if (!r_.exitLogged)
        r_.exitCode = modelled;

    r_.pc.env["TEMP"] = "C:\\Users\\qel\\AppData\\Local\\Temp";
    r_.notes.temp = "chosen: the log does not name its folder";
    r_.pc.clockStartMs = clock_;
    if (!windowsDir_.empty()) {
        std::string suffix = "\\inf\\usb.inf";
        if (windowsDir_.size() >= suffix.size() &&
            sim::Lower(windowsDir_.substr(windowsDir_.size() - suffix.size())) == suffix) {
            r_.pc.windowsDir = windowsDir_.substr(0, windowsDir_.size() - suffix.size());
            r_.notes.windowsDir = "the driver package path in " + LineRef(windowsDirLine_);
        } else {
            Problem("the package path in " + LineRef(windowsDirLine_) +
                    " does not end in \\inf\\usb.inf");
        }
    } else {
        r_.notes.windowsDir = "chosen: no line names the driver package";
    }
    if (windowsDirErrorSet_) {
        if (windowsDirError_)
            r_.pc.windowsDirError = windowsDirError_;
        else
            r_.pc.windowsDir = "";
        r_.notes.windowsDir = LineRef(windowsDirLine_) + ": the Windows directory cannot be read";
    }
    r_.prompted = prompt_;
    if (prompt_)
        r_.notes.stdinNote = "the prompt: the second detection comes " +
                             std::to_string(r_.pc.stdinAfterMs + 2000) +
                             " ms after the first, 2000 of them the tool's own wait";
    if (r_.lateLines)
        r_.problems.push_back(std::to_string(r_.lateLines) +
                              " lines come later than the simulated PC's waits allow (a real PC "
                              "takes time for its calls): the replay writes them earlier");
    return r_;
}

// ---- Making the PC ------------------------------------------------------------------------------

// A scenario's durations and times are at most a year: a longer gap (a clock set anew in the
// middle of a run) is cut there.
void Builder::ClampDurations() {
    const uint64_t kYear = 1000ull * 3600 * 24 * 365;
    bool clamped = false;
    auto clamp = [&](uint64_t& ms) {
        if (ms > kYear) {
            ms = kYear;
            clamped = true;
        }
    };
    clamp(r_.pc.stdinAfterMs);
    for (sim::Outcome& o : outcomes_)
        clamp(o.ms);
    for (DiskModel& d : disks_)
        for (sim::Outcome& o : d.replies)
            clamp(o.ms);
    for (Listing& l : listings_)
        if (l.at < 0 || (uint64_t)l.at > kYear) {
            l.at = l.at < 0 ? 0 : (int64_t)kYear;
            clamped = true;
        }
    for (DiskModel& d : disks_)
        for (Opening& o : d.opens)
            o.at = std::clamp<int64_t>(o.at, 0, (int64_t)kYear);
    if (clamped)
        Problem("a gap of more than a year between lines (the clock was set anew?) is cut to a "
                "year");
}

void Builder::MakeClasses() {
    sim::Pc& pc = r_.pc;
    unsigned unreadable = 0;
    for (size_t c = 0; c < classes_.size(); ++c) {
        ClassModel& model = classes_[c];
        struct Slot {
            std::string id;
            bool afterEnter = false;
            bool invisible = false;
            const RepairDevice* repaired = nullptr;
        };
        std::vector<Slot> slots;
        int enumFailsAt = -1;
        if (model.inRepair) {
            for (const RepairDevice& d : model.repaired)
                slots.push_back(Slot{d.id, false, false, &d});
        } else {
            for (const std::string& id : model.detected[model.inDetection[1] ? 1 : 0])
                slots.push_back(Slot{id, false, false, nullptr});
        }
        auto invisibleAt = [&](size_t at) {
            Slot s;
            s.id = "USB\\VID_0000&PID_0000\\UNREADABLE" + std::to_string(++unreadable);
            s.invisible = true;
            slots.insert(slots.begin() + (long)at, s);
        };
        // A detection walks the devices present then (the first one without those that come
        // after Enter) and stops at a find; a find without a line is a device whose ID
        // could not be read.
        for (int which = 1; which >= 0; --which) {
            if (!model.inDetection[which])
                continue;
            bool last = lastDetectionClass_[which] == (int)c;
            bool found = last && detectionFound_[which];
            if (which == 0 && !detectionFound_[0] && last && !prompt_)
                found = true;
            size_t j = 0;
            for (const std::string& id : model.detected[which]) {
                while (j < slots.size() && slots[j].id != id) {
                    if (which == 0 && prompt_)
                        slots[j].afterEnter = true;
                    else if (!slots[j].invisible)
                        Problem("class " + model.guid + ": detection " + std::to_string(which + 1) +
                                " does not check " + slots[j].id);
                    ++j;
                }
                if (j == slots.size()) {
                    // Seen before Enter only: the later walks, with more devices present,
                    // stopped before it, as when the class's walk fails at an index.
                    if (which == 0 && prompt_ && enumFailsAt < 0)
                        enumFailsAt = (int)slots.size();
                    else if (which != 0 || !prompt_)
                        Problem("class " + model.guid + ": " + id +
                                " is checked in a detection but not in the repair pass");
                    slots.push_back(Slot{id, false, false, nullptr});
                }
                ++j;
            }
            if (found && !detectionByCheck_[which]) {
                if (!(j < slots.size() && slots[j].invisible && !slots[j].afterEnter))
                    invisibleAt(j);
            } else if (!found && which == 0 && prompt_) {
                for (size_t k = j; k < slots.size(); ++k)
                    slots[k].afterEnter = true;
            }
        }
        sim::SetupClass setupClass;
        setupClass.enumFailsAt = enumFailsAt;
        if (!sim::ParseGuid(model.guid, &setupClass.guid))
            Problem("class " + model.guid + " has no GUID the simulated PC can read");
        std::string classNote = LineRef(model.firstLine);
        r_.notes.classes[c] = classNote;
        for (Slot& s : slots) {
            if (s.id.empty()) {
                Problem("an empty instance ID cannot be written in a scenario: the replay names "
                        "the device EMPTY");
                s.id = "EMPTY";
            }
            sim::Device device;
            device.instanceId = s.id;
            device.afterEnter = s.afterEnter;
            std::string note;
            if (s.invisible) {
                device.idResult = kUnreadableId;
                note = "chosen: a device whose ID cannot be read ends the detection without a "
                       "line";
            } else if (s.repaired) {
                note = LineRef(s.repaired->line);
            } else {
                note = "checked in the detection";
            }
            if (s.afterEnter)
                note += "; present only after Enter: the first detection did not check it";
            sim::RegKey& key = pc.registry[sim::Lower(sim::EnumKeyPath(s.id))];
            if (key.path.empty())
                key.path = sim::EnumKeyPath(s.id);
            if (s.repaired && s.repaired->registry == RepairDevice::Value) {
                sim::RegValue value;
                value.data.assign(s.repaired->value.begin(), s.repaired->value.end());
                if (value.data.size() < 255)
                    value.data.push_back(0);
                key.values["service"] = value;
                note += "; Service from " + LineRef(s.repaired->valueLine);
            } else if (s.repaired && s.repaired->registry == RepairDevice::NoValue) {
                if (s.repaired->keyMustFail) {
                    key.openError = ERROR_ACCESS_DENIED;
                    note += "; no Service line after an install bound usbccgp to its hardware "
                            "ID: the key cannot be opened (chosen)";
                } else {
                    note += "; no Service line: no Service value (chosen; a value of another "
                            "type or too long gives the same)";
                }
            }
            r_.notes.devices[{pc.classes.size(), setupClass.devices.size()}] = note;
            setupClass.devices.push_back(device);
        }
        pc.classes.push_back(std::move(setupClass));
    }
}

void Builder::MakeDisks() {
    // One order for all listings: each listing keeps the order of the disks it names.
    std::vector<std::string> order;
    {
        std::vector<std::string> paths;
        for (const DiskModel& d : disks_)
            paths.push_back(d.path);
        std::map<std::string, std::set<std::string>> before; // path -> paths listed before it
        for (const Listing& listing : listings_)
            for (size_t i = 1; i < listing.paths.size(); ++i)
                before[listing.paths[i]].insert(listing.paths[i - 1]);
        std::set<std::string> placed;
        while (order.size() < paths.size()) {
            bool progress = false;
            for (const std::string& p : paths) {
                if (placed.count(p))
                    continue;
                bool ready = true;
                for (const std::string& b : before[p])
                    ready = ready && placed.count(b);
                if (ready) {
                    order.push_back(p);
                    placed.insert(p);
                    progress = true;
                    break;
                }
            }
            if (!progress) {
                Problem("the disks are listed in different orders");
                for (const std::string& p : paths)
                    if (!placed.count(p)) {
                        order.push_back(p);
                        placed.insert(p);
                        break;
                    }
            }
        }
    }

    for (const std::string& path : order) {
        if (path.empty()) {
            Problem("an empty disk path cannot be written in a scenario: the replay leaves it out");
            continue;
        }
        const DiskModel& model = disks_[DiskFor(path)];
        // Present at each listing that names it, gone at each that does not.
        std::vector<std::pair<int64_t, bool>> seen;
        for (const Listing& listing : listings_)
            seen.push_back({listing.at, std::find(listing.paths.begin(), listing.paths.end(),
                                                  path) != listing.paths.end()});
        DWORD openError = 0;
        bool allOpensFail = !model.opens.empty();
        for (const Opening& o : model.opens) {
            allOpensFail = allOpensFail && o.error && o.error == model.opens[0].error;
            if (o.error == 0)
                seen.push_back({o.at, true});
        }
        if (allOpensFail)
            openError = model.opens[0].error;
        else
            for (const Opening& o : model.opens)
                if (o.error == ERROR_FILE_NOT_FOUND)
                    seen.push_back({o.at, false});
                else if (o.error)
                    Problem("disk " + path + " opens at one time and fails with " +
                            std::to_string(o.error) + " at another");
        std::stable_sort(seen.begin(), seen.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        // Windows of presence: each run of sightings between absences.
        std::vector<std::pair<uint64_t, uint64_t>> windows;
        bool open = false;
        int64_t lastAbsent = -1;
        for (const auto& [at, present] : seen) {
            if (present && !open) {
                windows.push_back({lastAbsent < 0 ? 0 : (uint64_t)at, UINT64_MAX});
                open = true;
            } else if (!present) {
                if (open)
                    windows.back().second = (uint64_t)at;
                open = false;
                lastAbsent = at;
            }
        }
        if (windows.empty())
            windows.push_back({0, UINT64_MAX});
        for (const auto& [from, until] : windows) {
            sim::Disk disk;
            disk.path = path;
            disk.phoneSerial = model.phone;
            disk.presentFromMs = from;
            disk.presentUntilMs = until;
            disk.openError = openError;
            disk.replies = model.replies;
            while (!disk.replies.empty() && disk.replies.back().error == 0 &&
                   disk.replies.back().ms == 0)
                disk.replies.pop_back(); // later requests are accepted at once anyway
            std::string note;
            for (uint32_t line : model.lines)
                note += (note.empty() ? "lines " : ", ") + std::to_string(line);
            if (windows.size() > 1)
                note += "; listed in some passes only: one entry per time it was present";
            r_.notes.disks[r_.pc.disks.size()] = note;
            r_.pc.disks.push_back(std::move(disk));
        }
    }
    while (!setErrors_.empty() && setErrors_.back() == 0)
        setErrors_.pop_back(); // listings after the last failed one work anyway
    r_.pc.diskSetErrors = setErrors_;
}

void Builder::MakeInstaller() {
    sim::Installer& in = r_.pc.installer;
    in.outcomes = outcomes_;
    // Every call after the last failure succeeds at once: trailing successes need no entry.
    while (!in.outcomes.empty() && in.outcomes.back().error == 0 && in.outcomes.back().ms == 0 &&
           !in.outcomes.back().reboot)
        in.outcomes.pop_back();
    if (silentLoadFailure_) {
        DWORD code = kChosenLoadError;
        if (r_.exitLogged && r_.exitCode > 1)
            code = r_.exitCode;
        if (code == ERROR_PROC_NOT_FOUND) {
            in.exportError = code;
            r_.notes.installer = "no \"Updating driver\" line after a device that needs the "
                                 "repair: the installer's export is missing (the exit code)";
        } else {
            in.loadError = code;
            r_.notes.installer =
                "no \"Updating driver\" line after a device that needs the repair: newdev.dll "
                "cannot be loaded (the tool tells only the console); the code is " +
                std::string(r_.exitLogged ? "the exit code" : "chosen");
        }
        for (DWORD& result : deviceResults_)
            if (result == 0xFFFFFFFF)
                result = code;
    }
}

// The class lookups of the detections and the repair pass, with the failures that left no
// line, and the memory blocks that failed (counted from 1 over the whole run).
void Builder::MakeLookups() {
    sim::Pc& pc = r_.pc;
    unsigned allocsPerLookup = pc.classes.size() > 16 ? 2 : 1;
    unsigned allocs = 0; // memory blocks the lookups take
    std::vector<std::string> why;
    bool firstFailed = detectionRan_[0] && detectionFound_[0] && !detectionByCheck_[0] &&
                       lastDetectionClass_[0] < 0;
    if (firstFailed) {
        pc.lookupFaults.push_back(sim::LookupFault{kChosenLookupError, 0});
        why.push_back("the first detection logged nothing and found the phone: its class lookup "
                      "failed (the code is never logged: chosen)");
        allocs += 1;
    } else if (noClassesAtFirst_ && !pc.classes.empty()) {
        pc.lookupFaults.push_back(sim::LookupFault{0, 0});
        why.push_back("the first detection logged nothing and missed: its class lookup answered "
                      "no class");
        allocs += 1;
    } else if (detectionRan_[0]) {
        allocs += allocsPerLookup;
    }
    if (detectionRan_[1]) {
        if (detectionFound_[1] && lastDetectionClass_[1] < 0 && !pc.classes.empty()) {
            pc.failAllocs.insert(allocs + 1);
            why.push_back("the second detection logged nothing and found the phone: its class "
                          "list could not be allocated (chosen)");
            allocs += 1;
        } else {
            allocs += allocsPerLookup;
        }
    }
    if (repairRan_ && repairLookupFailed_ &&
        (r_.exitLogged ? r_.exitCode != 0 : !pc.classes.empty())) {
        DWORD code = r_.exitLogged ? r_.exitCode : ERROR_INSUFFICIENT_BUFFER;
        if (pc.lookupFaults.size() == 1 && firstFailed && !detectionRan_[1]) {
            // Faults answer the first lookups in order: this one follows the first's.
            pc.lookupFaults.push_back(
                sim::LookupFault{code, code == ERROR_INSUFFICIENT_BUFFER ? 0x10000000u : 0u});
            allocs += code == ERROR_INSUFFICIENT_BUFFER ? 2 : 1;
        } else {
            pc.failAllocs.insert(allocs + 1);
            allocs += 1;
            if (code != ERROR_INSUFFICIENT_BUFFER)
                Problem("the repair pass's class lookup failed with " + Hex8(code) +
                        "; the simulated PC fails it with 122 (its list cannot be allocated)");
        }
        why.push_back("the repair pass logged no class: its class lookup failed (" +
                      std::string(r_.exitLogged ? "the exit code" : "chosen: 122") + ")");
    } else if (repairRan_) {
        allocs += allocsPerLookup;
    }
    for (unsigned failed : failedSwitchAllocs_)
        pc.failAllocs.insert(allocs + failed + 1);
    if (!failedSwitchAllocs_.empty())
        why.push_back("an ADB switch logged less than its disks imply: memory ran out there");
    for (const std::string& w : why)
        r_.notes.lookup += (r_.notes.lookup.empty() ? "" : "; ") + w;
}

// ---- Writing the scenario -----------------------------------------------------------------------

// A TOML string for text: literal ('...') where it can be, else basic with escapes. Bytes that
// are not UTF-8 (the log's Windows-1252 letters) are written as the characters they stand for.
std::string Quote(const std::string& text, std::vector<std::string>* problems) {
    std::string t = text;
    if (!sim::IsScenarioText(t)) {
        std::string utf8;
        for (unsigned char c : t) {
            uint32_t cp = c;
            if (c >= 0x80 && c <= 0x9F) {
                static const uint16_t high[32] = {
                    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                    0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
                cp = high[c - 0x80];
            }
            if (cp < 0x80) {
                utf8 += (char)cp;
            } else if (cp < 0x800) {
                utf8 += (char)(0xC0 | (cp >> 6));
                utf8 += (char)(0x80 | (cp & 0x3F));
            } else {
                utf8 += (char)(0xE0 | (cp >> 12));
                utf8 += (char)(0x80 | ((cp >> 6) & 0x3F));
                utf8 += (char)(0x80 | (cp & 0x3F));
            }
        }
        t = utf8;
        if (problems)
            problems->push_back("text with Windows-1252 letters is written as UTF-8, which the "
                                "simulated PC keeps as bytes: those lines differ in the replay");
    }
    bool literal = t.find('\'') == std::string::npos;
    for (unsigned char c : t)
        literal = literal && c >= 0x20 && c != 0x7F;
    return literal ? "'" + t + "'" : sim::QuoteBasic(t);
}

std::string Code(DWORD code) {
    char text[16];
    snprintf(text, sizeof(text), code > 0xFFFF ? "0x%08X" : "%u", (unsigned)code);
    return text;
}

// Comments hold log text: printable ASCII only, every other byte as \xNN.
std::string CommentText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += (char)c;
        } else {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\x%02X", c);
            out += escape;
        }
    }
    return out;
}

std::string Comment(const std::string& note) {
    return note.empty() ? "" : "  # " + CommentText(note);
}

std::string OutcomeText(const sim::Outcome& o, bool reply) {
    std::string word = reply ? "\"accept\"" : o.reboot ? "\"reboot\"" : "\"ok\"";
    if (!o.ms)
        return o.error ? Code(o.error) : word;
    return "{ error = " + Code(o.error) + ", ms = " + std::to_string(o.ms) +
           (o.reboot ? ", reboot = true" : "") + " }";
}

} // namespace

Replay BuildReplay(const LogFile& log, const LogRun& run) {
    return Builder(log, run).Build();
}

std::string WriteScenario(const Replay& replay, const std::string& source) {
    const sim::Pc& pc = replay.pc;
    const Notes& notes = replay.notes;
    std::vector<std::string> problems = replay.problems;
    std::string s;
    std::string body;
    auto q = [&](const std::string& text) { return Quote(text, &problems); };

    body += "name = " + q("replay of " + source) + "\n";
    body += "clock = \"" + sim::ClockText(pc.clockStartMs) + "\"" + Comment(notes.clock) + "\n";
    if (!pc.windowsDir.empty() || pc.windowsDirError == 0)
        body += "windows_dir = " + q(pc.windowsDir) + Comment(notes.windowsDir) + "\n";
    if (pc.windowsDirError)
        body += "windows_dir_error = " + Code(pc.windowsDirError) + "\n";
    if (pc.ansiCodePage != 1252)
        body +=
            "ansi_code_page = " + std::to_string(pc.ansiCodePage) + Comment(notes.codePage) + "\n";

    body += "\n[env]\n";
    for (const auto& [name, value] : pc.env)
        body += name + " = " + q(value) + Comment(name == "TEMP" ? notes.temp : "") + "\n";

    if (!notes.system.empty())
        body += "\n[system]" + Comment(notes.system) + "\nwindows_version = \"" +
                std::to_string(pc.windowsMajor) + "." + std::to_string(pc.windowsMinor) +
                "\"\nwindows_build = " + std::to_string(pc.windowsBuild) +
                "\nelevated = " + (pc.elevated ? "true" : "false") +
                "\narchitecture = " + q(pc.architecture) + "\n";

    if (!pc.stdinAtEnd) {
        body += "\n[stdin]" + Comment(notes.stdinNote) + "\nline = " + q(pc.stdinLine) + "\n";
        if (pc.stdinAfterMs)
            body += "after_ms = " + std::to_string(pc.stdinAfterMs) + "\n";
    }

    if (!pc.lookupFaults.empty()) {
        body += "\n[class_lookup]" + Comment(notes.lookup) + "\nfaults = [";
        for (size_t i = 0; i < pc.lookupFaults.size(); ++i)
            body += std::string(i ? ", " : " ") + "{ error = " + Code(pc.lookupFaults[i].error) +
                    ", count = " + Code(pc.lookupFaults[i].count) + " }";
        body += " ]\n";
    }
    if (!pc.failAllocs.empty()) {
        body += "\n[memory]" + Comment(pc.lookupFaults.empty() ? notes.lookup : std::string()) +
                "\nfail_allocs = [";
        for (unsigned call : pc.failAllocs)
            body += " " + std::to_string(call) + ",";
        body += " ]\n";
    }

    const sim::Installer& in = pc.installer;
    if (in.loadError || in.exportError || !in.outcomes.empty()) {
        body += "\n[installer]" + Comment(notes.installer) + "\n";
        if (in.loadError)
            body += "load_error = " + Code(in.loadError) + "\n";
        if (in.exportError)
            body += "export_error = " + Code(in.exportError) + "\n";
        if (!in.outcomes.empty()) {
            body += "# One outcome per install call, in order; later calls succeed at once.\n"
                    "outcomes = [\n";
            for (size_t i = 0; i < in.outcomes.size(); ++i) {
                auto note = notes.outcomes.find(i);
                body += "  " + OutcomeText(in.outcomes[i], false) + "," +
                        Comment(note == notes.outcomes.end() ? "" : note->second) + "\n";
            }
            body += "]\n";
        }
    }

    if (!pc.diskSetErrors.empty()) {
        body += "\n[disks]  # one entry per disk listing, in order; 0: the listing works\n"
                "set_errors = [";
        for (DWORD e : pc.diskSetErrors)
            body += " " + Code(e) + ",";
        body += " ]\n";
    }

    for (size_t c = 0; c < pc.classes.size(); ++c) {
        const sim::SetupClass& cls = pc.classes[c];
        auto note = notes.classes.find(c);
        body += "\n[[class]]" + Comment(note == notes.classes.end() ? "" : note->second) +
                "\nguid = \"" + sim::GuidText(cls.guid) + "\"\n";
        if (cls.enumFailsAt >= 0)
            body += "enum_fails_at = " + std::to_string(cls.enumFailsAt) +
                    "  # the first detection, before Enter, saw a device the later walks did "
                    "not reach\n";
        for (size_t d = 0; d < cls.devices.size(); ++d) {
            const sim::Device& dev = cls.devices[d];
            auto dnote = notes.devices.find({c, d});
            body += "\n  [[class.device]]" +
                    Comment(dnote == notes.devices.end() ? "" : dnote->second) +
                    "\n  id = " + q(dev.instanceId) + "\n";
            auto key = pc.registry.find(sim::Lower(sim::EnumKeyPath(dev.instanceId)));
            if (key != pc.registry.end()) {
                if (key->second.openError)
                    body += "  key_open_error = " + Code((DWORD)key->second.openError) + "\n";
                auto value = key->second.values.find("service");
                if (value != key->second.values.end()) {
                    const std::vector<uint8_t>& data = value->second.data;
                    std::string text(data.begin(), data.end());
                    if (!text.empty() && text.back() == '\0' &&
                        text.find('\0') == text.size() - 1 && sim::IsScenarioText(text)) {
                        body += "  service = " + q(text.substr(0, text.size() - 1)) + "\n";
                    } else {
                        std::string hex;
                        char byte[4];
                        for (uint8_t b : data) {
                            snprintf(byte, sizeof(byte), "%02X", b);
                            hex += (hex.empty() ? "" : " ") + std::string(byte);
                        }
                        body += "  service_value = { type = \"REG_SZ\", hex = \"" + hex + "\" }\n";
                    }
                }
            }
            if (dev.afterEnter)
                body += "  after_enter = true\n";
            if (dev.idResult)
                body += "  id_result = " + Code(dev.idResult) + "\n";
        }
    }

    for (size_t i = 0; i < pc.disks.size(); ++i) {
        const sim::Disk& d = pc.disks[i];
        auto note = notes.disks.find(i);
        body += "\n[[disk]]" + Comment(note == notes.disks.end() ? "" : note->second) +
                "\npath = " + q(d.path) + "\n";
        if (!d.phoneSerial.empty())
            body += "phone = " + q(d.phoneSerial) + "\n";
        if (d.presentFromMs)
            body += "present_from_ms = " + std::to_string(d.presentFromMs) + "\n";
        if (d.presentUntilMs != UINT64_MAX)
            body += "present_until_ms = " + std::to_string(d.presentUntilMs) + "\n";
        if (d.openError)
            body += "open_error = " + Code(d.openError) + "\n";
        if (!d.replies.empty()) {
            body += "replies = [";
            for (const sim::Outcome& o : d.replies)
                body += " " + OutcomeText(o, true) + ",";
            body += " ]\n";
        }
    }

    s += "# Replays " + CommentText(source) + ", written by qel-driver-fix-sim --from-log.\n";
    s += "# Run it with: qel-driver-fix-sim --exit-code --log THIS-FILE";
    for (const std::string& arg : replay.args)
        s += " " + arg;
    s += "\n";
    for (const std::string& line : notes.top)
        s += "# " + CommentText(line) + "\n";
    s += "# Exit code: " + Hex8(replay.exitCode) +
         (replay.exitLogged ? " (logged)\n" : " (what the replay gives; the run logged none)\n");
    std::sort(problems.begin(), problems.end());
    problems.erase(std::unique(problems.begin(), problems.end()), problems.end());
    if (problems.empty())
        s += "# The replay writes the same log lines at the same times.\n";
    else
        s += "# Where the replay cannot be exact:\n";
    for (const std::string& p : problems)
        s += "#   - " + CommentText(p) + "\n";
    s += "\n" + body;
    return s;
}

} // namespace logreplay
