// The run is walked line by line; each device the repair worked on gets one paragraph.
#include "logreplay/explain.h"

#include <cstdio>
#include <vector>

namespace logreplay {
namespace {

struct CodeMeaning {
    DWORD code;
    const char* meaning;
};

const CodeMeaning kCodes[] = {
    {0, "success"},
    {1, "no phone was found"},
    {2, "a file was not found (ERROR_FILE_NOT_FOUND)"},
    {3, "a folder was not found (ERROR_PATH_NOT_FOUND)"},
    {5, "access denied (ERROR_ACCESS_DENIED): the tool did not run as administrator"},
    {8, "not enough memory (ERROR_NOT_ENOUGH_MEMORY)"},
    {13, "the data is invalid (ERROR_INVALID_DATA)"},
    {21, "the device is not ready (ERROR_NOT_READY)"},
    {31, "a device attached to the system is not functioning (ERROR_GEN_FAILURE)"},
    {32, "the file is in use by another process (ERROR_SHARING_VIOLATION)"},
    {55, "the device is no longer available (ERROR_DEV_NOT_EXIST)"},
    {87, "a parameter is incorrect (ERROR_INVALID_PARAMETER)"},
    {121, "the device did not answer in time (ERROR_SEM_TIMEOUT)"},
    {122, "a list did not fit or memory ran out (ERROR_INSUFFICIENT_BUFFER)"},
    {126, "newdev.dll, the Windows driver installer, cannot be loaded (ERROR_MOD_NOT_FOUND)"},
    {127, "newdev.dll lacks the installer function (ERROR_PROC_NOT_FOUND)"},
    {193, "newdev.dll is not a valid program for this Windows (ERROR_BAD_EXE_FORMAT)"},
    {206, "the driver package path is too long (ERROR_FILENAME_EXCED_RANGE)"},
    {259, "no more data (ERROR_NO_MORE_ITEMS)"},
    {1117, "an I/O device error (ERROR_IO_DEVICE)"},
    {1167, "the device is not connected (ERROR_DEVICE_NOT_CONNECTED)"},
    {1168, "an element was not found (ERROR_NOT_FOUND)"},
    {1460, "the operation timed out (ERROR_TIMEOUT)"},
    {1784, "the supplied buffer is not valid (ERROR_INVALID_USER_BUFFER)"},
    {0xE0000203, "no driver was selected for the device (ERROR_NO_DRIVER_SELECTED)"},
    {0xE000020B, "no such device instance (ERROR_NO_SUCH_DEVINST): the phone went away"},
    {0xE000022B, "the installation was vetoed (ERROR_DI_DONT_INSTALL)"},
    {0xE0000235, "a 32-bit installer cannot install drivers on 64-bit Windows (ERROR_IN_WOW64)"},
    {0xE0000247, "the driver could not be added to the driver store "
                 "(ERROR_DRIVER_STORE_ADD_FAILED)"},
    {0x800F0203, "no driver was selected for the device (SPAPI_E_NO_DRIVER_SELECTED)"},
};

std::string Hex8(DWORD code) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", (unsigned)code);
    return text;
}

std::string Meaning(DWORD code) {
    for (const CodeMeaning& c : kCodes)
        if (c.code == code)
            return c.meaning;
    return "a Windows error code";
}

std::string CodeText(DWORD code) {
    return Hex8(code) + " (" + Meaning(code) + ")";
}

std::string Advice(DWORD code) {
    switch (code) {
    case 0:
        return "Nothing to do: the phone is served by the Windows composite driver.";
    case 1:
        return "Connect the phone with its USB cable, unlock it, and run the tool again.";
    case 5:
        return "Run the tool as administrator (right-click, \"Run as administrator\").";
    case 0xE0000235:
        return "On 64-bit Windows the 64-bit exe (qel-driver-fix64.exe) must sit beside "
               "qel-driver-fix.exe; extract the whole zip and run it again.";
    case 126:
    case 127:
    case 193:
        return "The Windows driver installer (newdev.dll) is missing or damaged; run Windows "
               "Update or \"sfc /scannow\" as administrator, then run the tool again.";
    default:
        return "Reconnect the phone, run the tool again with -l, and send the new log to "
               "support.";
    }
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        c = (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

std::string Seconds(int64_t ms) {
    char text[32];
    snprintf(text, sizeof(text), "%.1f s", (double)ms / 1000.0);
    return text;
}

struct Walk {
    std::vector<std::string> out;
    void Say(const std::string& text) { out.push_back(text); }
};

} // namespace

std::string Explain(const LogFile& log, const LogRun& run, const Replay& replay,
                    const std::string& source) {
    Walk w;
    const LogEntry& first = log.entries[run.first];
    const LogEntry& last = log.entries[run.first + run.count - 1];
    w.Say("Run: " + source + " (lines " + std::to_string(first.line) + " to " +
          std::to_string(last.line) + ")");
    w.Say("When: " + UtcText(first.utcMs) + " to " + UtcText(last.utcMs) + " UTC (" +
          Seconds((int64_t)(last.utcMs - first.utcMs)) + ")");
    if (log.encoding != "ANSI")
        w.Say("The file was saved as " + log.encoding +
              "; it was read back as the Windows-1252 text the tool writes.");

    std::vector<Message> lines;
    bool anyKnown = false;
    for (size_t i = run.first; i < run.first + run.count; ++i) {
        lines.push_back(ParseMessage(log.entries[i].text));
        anyKnown = anyKnown || lines.back().kind != Kind::Unknown;
    }
    if (!anyKnown) {
        w.Say("These lines are not the tool's: no run to explain here.");
        std::string text;
        for (const std::string& line : w.out)
            text += line + "\n";
        return text;
    }
    if (lines[0].kind == Kind::Header)
        w.Say("Build: qel-driver-fix " + lines[0].a + " (" + lines[0].arch + ") on Windows " +
              std::to_string(lines[0].winMajor) + "." + std::to_string(lines[0].winMinor) +
              " build " + std::to_string(lines[0].number) + ", " +
              (lines[0].elevated ? "run as administrator" : "NOT run as administrator") + ".");
    else
        w.Say("Build: not logged (a build older than 1.1 wrote this run).");

    // Detection.
    std::string found;
    int detections = 0;
    bool repair = false;
    for (const Message& m : lines) {
        if (m.kind == Kind::RemoveDevices && detections == 0)
            detections = 1;
        if (m.kind == Kind::CheckDevice && found.empty() &&
            LowerAscii(m.a.substr(0, 18)) == "usb\\vid_1e3f&pid_0")
            found = m.a;
        if (m.kind == Kind::UpdateAdb)
            repair = true;
    }
    bool prompted = replay.prompted;
    std::string phone;
    if (prompted) {
        phone = "The phone was not found at first: the tool asked for it to be connected";
        if (repair)
            phone += ", and about " + Seconds((int64_t)replay.pc.stdinAfterMs) +
                     " later Enter was pressed and the phone was found";
        else if (replay.cutShort)
            phone += "; the run ends there: the window was closed at the prompt";
        else
            phone += ", and it was not found then either: \"Device not found. Now exiting...\"";
        phone += ".";
    } else if (repair) {
        phone = "The phone was found at once.";
    }
    if (!found.empty())
        phone += " Detected as " + found + ".";
    if (!phone.empty())
        w.Say("Phone: " + phone);

    // The repair pass, device by device.
    bool restart = false;
    std::string device, hwid, serial;
    int attempts = 0;
    bool target = false, installed = false, switching = false;
    // One ADB switch: its disks, how each answered.
    struct Switch {
        bool on = false;
        std::vector<std::string> disks;
        int refusals = 0;
        bool accepted = false;
        std::string openError;
    } sw;
    auto endSwitch = [&]() {
        if (!switching)
            return;
        switching = false;
        std::string what = sw.on ? "switch ADB on" : "switch ADB off";
        if (sw.disks.empty()) {
            w.Say("    The tool tried to " + what + ": no disk of the phone (path holding \"" +
                  serial + "\") was present.");
        } else if (sw.accepted) {
            w.Say("    The tool tried to " + what + " through " + sw.disks.back() +
                  ": the phone accepted it" +
                  (sw.refusals ? " after " + std::to_string(sw.refusals) + " refusals" : "") + ".");
        } else {
            w.Say("    The tool tried to " + what + " through " + sw.disks.back() + ": " +
                  (sw.openError.empty()
                       ? "the phone refused all " + std::to_string(sw.refusals) + " commands"
                       : "the disk could not be opened (" + sw.openError + ")") +
                  ".");
        }
        sw = Switch{};
    };
    auto endDevice = [&]() {
        endSwitch();
        if (target && !installed && attempts == 0 && !device.empty())
            w.Say("    No install attempt followed: the driver installer could not be used "
                  "(see the exit code).");
        target = false;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const Message& m = lines[i];
        if (m.kind != Kind::DeviceFilter && m.kind != Kind::DiskSetError &&
            m.kind != Kind::InterfaceDevice && m.kind != Kind::AttemptTurn &&
            m.kind != Kind::OpenFailed && m.kind != Kind::CommandFailed)
            endSwitch();
        switch (m.kind) {
        case Kind::AttemptUpdate: {
            endDevice();
            device = m.a;
            bool composite = m.a.size() > 22 && m.a[21] != '&' &&
                             LowerAscii(m.a.substr(0, 18)) == "usb\\vid_1e3f&pid_0";
            target = composite;
            attempts = 0;
            installed = false;
            if (composite) {
                hwid = m.a.substr(0, 21);
                serial = m.a.substr(22);
                w.Say("Device " + m.a + " (the phone's composite device):");
                bool hasValue = i + 2 < lines.size() && lines[i + 2].kind == Kind::Service;
                if (!hasValue && i + 1 < lines.size() && lines[i + 1].kind == Kind::CheckComposite)
                    w.Say("    Its driver (\"Service\") could not be read: it counts as not on "
                          "usbccgp.");
            }
            break;
        }
        case Kind::Service:
            if (target && m.a == device) {
                if (LowerAscii(m.b) == "usbccgp") {
                    w.Say("    It is already on usbccgp, the Windows composite driver: nothing "
                          "to repair.");
                    target = false;
                } else {
                    w.Say("    It was on \"" + m.b +
                          "\", not on usbccgp: the tool forces "
                          "usbccgp from the Windows usb.inf.");
                }
            }
            break;
        case Kind::WindowsDirError:
            w.Say("    The Windows directory could not be read (" + CodeText(m.code) +
                  "): no install was tried.");
            target = false;
            break;
        case Kind::PathTooLong:
            w.Say("    The driver package path is too long (Windows directory " + m.b +
                  "): no install was tried.");
            target = false;
            break;
        case Kind::OpenAdb:
            ++attempts;
            w.Say("    Attempt " + std::to_string(attempts) +
                  " failed (its code is not logged while ADB is off).");
            break;
        case Kind::FailRetry: {
            ++attempts;
            int first = attempts;
            while (i + 1 < lines.size() && lines[i + 1].kind == Kind::FailRetry &&
                   lines[i + 1].code == m.code) {
                ++i;
                ++attempts;
            }
            w.Say(
                first == attempts
                    ? "    Attempt " + std::to_string(first) + " failed: " + CodeText(m.code) + "."
                    : "    Attempts " + std::to_string(first) + " to " + std::to_string(attempts) +
                          " failed, each with " + CodeText(m.code) + ".");
            break;
        }
        case Kind::FailFinal:
            w.Say("    All ten attempts failed; the last error, " + CodeText(m.code) +
                  ", is the device's result.");
            break;
        case Kind::Success:
            ++attempts;
            installed = true;
            w.Say("    Attempt " + std::to_string(attempts) +
                  " succeeded: usbccgp installed from " + m.b + ".");
            break;
        case Kind::RestartRequired:
            w.Say("    Windows needs a restart to finish the update.");
            restart = true;
            break;
        case Kind::CloseAdb:
            w.Say("    ADB had been switched on, so the tool switches it off again.");
            break;
        case Kind::DeviceFilter:
            endSwitch();
            switching = true;
            sw.on = !(i > 0 && lines[i - 1].kind != Kind::OpenAdb);
            for (size_t k = i + 1; k < lines.size(); ++k)
                if (lines[k].kind == Kind::AttemptTurn) {
                    sw.on = lines[k].on;
                    break;
                } else if (lines[k].kind != Kind::InterfaceDevice &&
                           lines[k].kind != Kind::DiskSetError) {
                    break;
                }
            break;
        case Kind::AttemptTurn:
            sw.disks.push_back(m.a);
            sw.on = m.on;
            break;
        case Kind::OpenFailed:
            sw.openError = CodeText(m.code);
            break;
        case Kind::CommandFailed:
            if (m.code == 55)
                sw.accepted = true;
            else
                ++sw.refusals;
            if (i + 1 >= lines.size() || lines[i + 1].kind != Kind::CommandFailed)
                sw.accepted = sw.accepted || (sw.refusals % 20) != 0;
            break;
        default:
            break;
        }
        if (m.kind == Kind::AttemptTurn &&
            (i + 1 >= lines.size() ||
             (lines[i + 1].kind != Kind::CommandFailed && lines[i + 1].kind != Kind::OpenFailed)))
            sw.accepted = true;
    }
    endDevice();

    // How it ended.
    if (replay.cutShort)
        w.Say("End: the run stops here, before the tool's last step: the window was closed or "
              "the PC stopped. " +
              std::string(replay.exitLogged ? "" : "No exit code was logged."));
    DWORD code = replay.exitCode;
    if (!replay.cutShort || replay.exitLogged) {
        w.Say("Exit code: " + CodeText(code) +
              (replay.exitLogged ? "" : " (not logged by this build; what the lines imply)") + ".");
        bool newBuild = lines[0].kind == Kind::Header;
        if (code == 0 || (code != 1 && !newBuild))
            w.Say("The tool ended with \"Driver updated.\"" +
                  std::string(code != 0 ? " (builds before 1.1 say so whatever the result)."
                              : restart ? " and \"Restart your PC to finish the update.\""
                                        : ""));
        else if (code != 1)
            w.Say("The tool ended with \"Driver update failed, error " + Hex8(code) + ".\"");
        if (code == 0 && restart) {
            w.Say("Advice: Restart the PC to finish the update.");
            code = 0xFFFFFFFF; // the advice is given
        }
        if (code != 0xFFFFFFFF)
            w.Say("Advice: " + Advice(code));
    }
    std::string text;
    for (const std::string& line : w.out)
        text += line + "\n";
    return text;
}

} // namespace logreplay
