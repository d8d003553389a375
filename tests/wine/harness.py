#!/usr/bin/env python3
"""The real Windows exes under Wine.

Two Wine prefixes (win32, win64) are cached under build/wine/. In each, one persistent
wineserver runs for the whole suite; a kernel driver (tests/wine/scsidisk) stands in for the
phone's USB disk and a scripted newdev.dll (tests/wine/newdev) for the driver installer. Every
case imports one .reg file that first deletes every key the suite ever adds and then builds its
simulated PC: USB setup classes, Enum device keys, disk interfaces, TEMP and the DLL override.

A case checks the console bytes (dots only where the run allows them), the full 32-bit exit code
(through tests/wine/runner), the log file bytes (UTC time stamps, run with TZ set to a zone far
from UTC), the installer calls and the pass-through requests that reached the disk. Interactive
cases send Enter only once the prompt can be read from the output; one case holds the log open
from a second process (tests/wine/holder); the hand-over's seam runs as tests/wine/handover.

On a machine that cannot start i386 code (some virtual machines give processes no 32-bit mode)
the win32 prefix and the 64-bit prefix's cases that run the 32-bit exe are skipped, and say so.

The log of every repair case is kept in build/wine/logs/ (with its exit code) and, after the
cases, replayed on the simulated PC by tests/wine/replay_logs.py: the same messages in the same
order and the same exit code. --keep-logs DIR also copies them there (tests/wine/logs/ holds the
fixtures that ctest replays without Wine).

Usage: harness.py [-k SUBSTRING] [--keep-logs DIR]. Prints one line per case and
"N passed, M failed, K skipped".
"""

import argparse
import datetime
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE_DIR = ROOT / "build" / "wine"
BIN = WINE_DIR / "bin"
PREFIX_VERSION = "qel-prefix 1"  # bump to force fresh prefixes
KEPT_LOGS = WINE_DIR / "logs"  # the repair cases' logs, replayed on the simulated PC
SIM = Path(os.environ.get("QEL_SIM_RUNNER", ROOT / "build/native/qel-driver-fix-sim"))

EXE = {
    "win32": Path(os.environ.get("QEL_WIN32_EXE", ROOT / "build/win32/qel-driver-fix.exe")),
    "win64": Path(os.environ.get("QEL_WIN64_EXE", ROOT / "build/win64/qel-driver-fix.exe")),
}
CONFORMANCE = {"win32": BIN / "conformance-i686.exe", "win64": BIN / "conformance-x86_64.exe"}
ARCH = {"win32": "i686", "win64": "x86_64"}
# The version the exes report: the CMake project's.
VERSION = re.search(r"project\(\S+ VERSION (\S+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
TZ = "XST-5:30"  # local time 5.5 h ahead of UTC: a local time stamp cannot pass as UTC

# ---- The simulated PC ----------------------------------------------------------------------------

USB_CLASS = "{36FC9E60-C465-11CF-8056-444553540000}"
SECOND_USB_CLASS = "{88BAE032-5A81-49F0-BC3D-A4FF138216D6}"
DISK_CLASS = "{4D36E967-E325-11CE-BFC1-08002BE10318}"
DISK_IFACE = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"
HKLM_CCS = r"HKEY_LOCAL_MACHINE\System\CurrentControlSet"

HUB = r"USB\ROOT_HUB20\4&1234&0"
PHONE = r"USB\VID_1E3F&PID_0C02\QEL0123456789AB"
PHONE_IFACE = r"USB\VID_1E3F&PID_0C02&MI_00\7&ABC&0&0000"
HWID = r"USB\VID_1E3F&PID_0C02"
SERIAL = "qel0123456789ab"
INF = r"C:\windows\inf\usb.inf"
# The disk the driver serves, and one with the phone's serial but nothing behind it.
DISK_ID = r"USBSTOR\Disk&Ven_QEL&Prod_Tarrow&Rev_0001\QEL0123456789AB&0"
DEAD_DISK_ID = r"USBSTOR\Disk&Ven_QEL&Prod_Tarrow&Rev_0002\QEL0123456789AB&0"


def disk_path(instance_id):
    return "\\\\?\\" + instance_id.replace("\\", "#").lower() + "#" + DISK_IFACE


DISK = disk_path(DISK_ID)
DEAD_DISK = disk_path(DEAD_DISK_ID)
TEMP = r"C:\qel\temp"


@dataclass
class Pc:
    classes: list = field(default_factory=lambda: [(USB_CLASS, [(HUB, "usbhub")])])
    disks: list = field(default_factory=list)  # disk instance IDs with a disk interface
    temp: object = TEMP  # None: no TEMP at all


def phone_pc(service="WinUSB", disks=(), second_class=False):
    phone = [(PHONE, service), (PHONE_IFACE, "WinUSB")]
    if second_class:
        classes = [(USB_CLASS, [(HUB, "usbhub")]), (SECOND_USB_CLASS, phone)]
    else:
        classes = [(USB_CLASS, [(HUB, "usbhub")] + phone)]
    return Pc(classes=classes, disks=list(disks))


def reg_text(pc, extra=""):
    """The .reg file of one case: delete whatever any case adds, then build this PC."""
    sz = lambda s: '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'
    default_temp = "hex(2):" + ",".join(f"{b:02x}" for b in b"%SystemRoot%\\temp\0")
    lines = ["REGEDIT4", ""]
    for key in (r"Enum\USB", r"Enum\USBSTOR", rf"Control\Class\{USB_CLASS}",
                rf"Control\Class\{SECOND_USB_CLASS}", rf"Control\DeviceClasses\{DISK_IFACE}"):
        lines.append(f"[-{HKLM_CCS}\\{key}]")
    lines.append("")
    for guid, devices in pc.classes:
        lines += [f"[{HKLM_CCS}\\Control\\Class\\{guid}]", '"Class"="USB"', ""]
        for instance_id, service in devices:
            lines += [f"[{HKLM_CCS}\\Enum\\{instance_id}]", f'"ClassGUID"="{guid}"']
            if service is not None:
                lines.append(f'"Service"={sz(service)}')
            lines.append("")
    for instance_id in pc.disks:
        link = instance_id.replace("\\", "#")
        key = f"{HKLM_CCS}\\Control\\DeviceClasses\\{DISK_IFACE}\\##?#{link}#{DISK_IFACE}"
        lines += [f"[{HKLM_CCS}\\Enum\\{instance_id}]", f'"ClassGUID"="{DISK_CLASS}"', "",
                  f"[{key}]", f'"DeviceInstance"={sz(instance_id)}', "",
                  f"[{key}\\#]", f'"SymbolicLink"={sz(disk_path(instance_id))}', "",
                  f"[{key}\\#\\Control]", '"Linked"=dword:00000001', ""]
    lines += [r"[HKEY_CURRENT_USER\Software\Wine\DllOverrides]", '"newdev"="native"', ""]
    env = r"[HKEY_CURRENT_USER\Environment]"
    machine_env = rf"[{HKLM_CCS}\Control\Session Manager\Environment]"
    if pc.temp is None:
        lines += [env, '"TEMP"=-', '"TMP"=-', "", machine_env, '"TEMP"=-', '"TMP"=-', ""]
    else:
        lines += [env, f'"TEMP"={sz(pc.temp)}', f'"TMP"={sz(pc.temp)}', "",
                  machine_env, f'"TEMP"={default_temp}', f'"TMP"={default_temp}', ""]
    return "\r\n".join(lines) + "\r\n" + extra


# ---- Expected texts --------------------------------------------------------------------------------

RULE = "=" * 31 + "\n"
BANNER = RULE + "QEL Android driver update tool\n" + RULE + '\nDetecting "QEL Tarrow" on your PC...'
PROMPT = '\nDevice not found.\nPlease be sure "QEL Tarrow" already connect to your PC and try again.'
GIVE_UP = "\nDevice not found.\nNow exiting..."
UPDATING = "\nUpdating driver..."
UPDATED = "\nDriver updated.\n"
RESTART = "Restart your PC to finish the update.\n"
LOG_FILE = TEMP + "\\_QEL_InstallerUpdata.log"
SFC = ("Windows' driver installer newdev.dll is missing or damaged: run \"sfc /scannow\" as "
       "administrator.\n")
ADVICE = {5: "Run the tool as administrator: right-click it, \"Run as administrator\".\n",
          0xE0000235: "On 64-bit Windows, keep qel-driver-fix64.exe in the same folder as this "
                      "tool.\n",
          126: SFC, 127: SFC}


def closing(code, log_path=None):
    """The closing text for the repair's result; log_path: where the run's log went."""
    if code == 0:
        return UPDATED
    advice = ADVICE.get(code)
    if advice is None:
        advice = (f"Please send the log {log_path} to support.\n" if log_path else
                  "Run the tool again with -l and send %TEMP%\\_QEL_InstallerUpdata.log to "
                  "support.\n")
    return f"\nDriver update failed, error 0x{code:08X}.\n" + advice


USAGE = (f"qel-driver-fix {VERSION} - QEL Android driver update tool\n\n"
         "Makes Windows serve a connected QEL Tarrow phone with its own USB composite\n"
         "driver. Run it as administrator, from its own folder.\n\n"
         "Usage: qel-driver-fix.exe [-l]\n"
         "  -l, --log  also write a diagnostic log for support, added to the file\n"
         "             %TEMP%\\_QEL_InstallerUpdata.log (times in UTC)\n"
         "  /?         show this text\n\n"
         "Exit codes:\n"
         "  0          the phone's driver is installed, or already was\n"
         "  1          no phone was found\n"
         "  other      the Windows error code of the repair step that failed,\n"
         "             for example 0xE0000203\n")


def header(arch):
    """The log's first entry of a run: this build, then the Windows version and elevation as
    the prefix reports them."""
    return re.compile(rf"qel-driver-fix {re.escape(VERSION)} {arch}, Windows \d+\.\d+ build \d+, "
                      r"(elevated|not elevated)\n")


def guid_text(guid):
    return guid.lower()


def detect(*classes):
    """Detection's log messages: classes as (guid, [instance IDs checked])."""
    out = []
    for guid, ids in classes:
        out.append(f"remove devices: {guid_text(guid)} ...\n")
        out += [f"Check Device : {i}\n" for i in ids]
    return out


def update_class(guid):
    return [f"update devices: {guid_text(guid)} ...\n"]


def attempt(instance_id):
    return [f"Attempt update Device : {instance_id}\n"]


def composite(instance_id, service=None):
    out = attempt(instance_id)
    out.append(f"check usb composite: SYSTEM\\CurrentControlSet\\Enum\\{instance_id}\n")
    if service is not None:
        out.append(f"{instance_id}: Service = {service}\n")
    return out


def turn(on, path=DISK, errors=(), opened=True):
    out = [f"DeviceFilter: {SERIAL}\n", f"InterfaceDevice : {path}\n",
           f"Attempt to turn {'on' if on else 'off'} ADB for {path}\n"]
    if not opened:
        return out + [f"Failed to open ADB device {path}: 2\n"]
    return out + [f"turn on/off ADB fail: {e:x}\n" for e in errors]


UPDATE_START = ["Update ADB Device Driver ...\n"]
UPDATING_FOR = [f"Updating driver for Device : {HWID}\n"]
SUCCESS = [f"Success to Update driver for {HWID} from {INF}\n"]
OPEN_ADB = [f"Open ADB Device for {HWID}...\n"]
CLOSE_ADB = [f"Close ADB Device for {HWID}...\n"]
DETECT_PHONE = detect((USB_CLASS, [HUB, PHONE]))


def console_tokens(detection, repair=None, prompt_detection=None, log=True, ending=UPDATED):
    """The console as tokens: texts and dot allowances ('dots', None) unlimited or
    ('dots', 'pause') sharing one dot over the paused stretch. detection and repair are the texts
    of the two running stretches (log echoes and console lines); repair None: no phone."""
    keep = lambda texts: [t for t in texts if log or not t.startswith("#")]
    strip = lambda texts: [t.lstrip("#") for t in keep(texts)]
    tokens = [BANNER, ("dots", None)]
    for text in strip(detection):
        tokens += [text, ("dots", None)]
    if repair is None:
        tokens += [PROMPT, ("dots", "pause")]
        for text in strip(prompt_detection or []):
            tokens += [text, ("dots", "pause")]
        return tokens + [GIVE_UP]
    tokens += [UPDATING, ("dots", None)]
    for text in strip(repair):
        tokens += [text, ("dots", None)]
    return tokens + [ending, ("dots", "end")]


def logged(messages):
    """Marks log messages (echoed only with the log on)."""
    return ["#" + m for m in messages]


def match_console(tokens, data):
    """None when data matches the tokens, else a description of the first difference."""
    text = data.decode("latin-1")
    pos = 0
    budget = {"pause": 1, "end": 1}
    for token in tokens:
        if isinstance(token, tuple):
            limit = budget.get(token[1])
            while pos < len(text) and text[pos] == "." and (limit is None or limit > 0):
                pos += 1
                if limit is not None:
                    limit -= 1
            if token[1] in budget:
                budget[token[1]] = limit
            continue
        want = token.replace("\n", "\r\n")
        if not text.startswith(want, pos):
            return f"at byte {pos}: expected {want!r}, got {text[pos:pos + len(want) + 20]!r}"
        pos += len(want)
    if pos != len(text):
        return f"unexpected bytes at {pos}: {text[pos:pos + 60]!r}"
    return None


STAMP = re.compile(rb"QELDriverFixed\t\[(\d{4})-( \d|\d\d)-( \d|\d\d)  ( \d|\d\d):( \d|\d\d):"
                   rb"( \d|\d\d):(  \d| \d\d|\d\d\d)\]\t")


def match_log(messages, data, start, end):
    """None when the log holds exactly these entries with UTC stamps within [start, end]."""
    pos = 0
    last = None
    for message in messages:
        m = STAMP.match(data, pos)
        if not m:
            return f"entry {message!r}: no time stamp at byte {pos}: {data[pos:pos + 60]!r}"
        fields = [int(g) for g in m.groups()]
        stamp = datetime.datetime(*fields[:6], fields[6] * 1000, tzinfo=datetime.timezone.utc)
        if not (start - 2 <= stamp.timestamp() <= end + 2):
            return f"time stamp {m.group(0)!r} is not UTC now ({start:.0f}..{end:.0f})"
        if last is not None and stamp < last:
            return f"time stamp {m.group(0)!r} goes back"
        last = stamp
        pos = m.end()
        if isinstance(message, re.Pattern):  # matched on the entry's text, CR LF read as LF
            end_of_entry = data.find(b"\r\n", pos)
            text = data[pos:end_of_entry + 2].replace(b"\r\n", b"\n").decode("latin-1")
            if end_of_entry < 0 or not message.fullmatch(text):
                return f"entry {message.pattern!r}: got {data[pos:pos + 100]!r}"
            pos = end_of_entry + 2
            continue
        want = message.encode("latin-1").replace(b"\n", b"\r\n")
        if not data.startswith(want, pos):
            return f"entry {message!r}: got {data[pos:pos + len(want) + 20]!r}"
        pos += len(want)
    if pos != len(data):
        return f"unexpected log bytes at {pos}: {data[pos:pos + 80]!r}"
    return None


def adb_request(arch, on):
    """The pass-through header the tool sends: 44 bytes from 32-bit code, 56 from 64-bit."""
    cdb = bytes([0x16, 0x71, 0x65, 0x6C, 0x80, 1 if on else 2]) + bytes(10)
    if arch == "win32":
        return struct.pack("<HBBBBBBB3xIIII16s", 44, 0, 0, 1, 0, 6, 32, 1, 512, 5000, 80, 48, cdb)
    # DataBufferOffset is pointer-sized: the header grows to 56, the areas move behind it.
    return struct.pack("<HBBBBBBB3xII4xQI16s4x", 56, 0, 0, 1, 0, 6, 32, 1, 512, 5000, 92, 60, cdb)


# ---- Cases -----------------------------------------------------------------------------------------

@dataclass
class Case:
    name: str
    pc: Pc
    console: list  # tokens, see console_tokens
    code: int
    log: object = None  # the log's messages, None: no log file
    args: tuple = ("-l",)
    newdev: str = "ok"  # ok, missing, noexport, failload
    installs: tuple = ()  # the installer's scripted answers (after them: success)
    install_calls: int = 0
    scsi: tuple = ()  # the disk's scripted NTSTATUS answers (after them: success)
    requests: tuple = ()  # (mode on?, NTSTATUS) of each request that reached the disk
    folder: str = "main"  # where the exe runs: main, wow (with the 64-bit exe beside), wow32
    # (alone), wowloop (beside a 32-bit copy under the 64-bit exe's name)
    request_arch: str = None  # the layout of the requests, when not the prefix's own
    log_dir: str = "temp"  # where under C:\qel the log file appears
    env: dict = field(default_factory=dict)  # extra environment of the tool's process
    prefixes: tuple = ("win32", "win64")
    interactive: bool = False  # stdin a pipe that gets Enter only once the prompt has shown
    stdout_file: bool = False  # standard output redirected to a file, not a pipe
    hold_log: bool = False  # another process holds the log open, sharing reading and writing


def tool_cases():
    cases = []
    # No phone: the prompt finds stdin at its end, 2 s pass, a second miss, exit 1.
    cases.append(Case("no phone", Pc(), console_tokens(
        logged(detect((USB_CLASS, [HUB]))), None, logged(detect((USB_CLASS, [HUB]))), log=False),
        1, args=()))
    no_phone_log = detect((USB_CLASS, [HUB])) * 2
    cases.append(Case("no phone, log", Pc(), console_tokens(
        logged(detect((USB_CLASS, [HUB]))), None, logged(detect((USB_CLASS, [HUB])))),
        1, log=no_phone_log))

    usbccgp_repair = UPDATE_START + update_class(USB_CLASS) + attempt(HUB) + \
        composite(PHONE, "usbccgp") + attempt(PHONE_IFACE)
    cases.append(Case("phone already on usbccgp", phone_pc("usbccgp"),
                      console_tokens(logged(DETECT_PHONE), logged(usbccgp_repair)), 0,
                      log=DETECT_PHONE + usbccgp_repair))

    first = UPDATE_START + update_class(USB_CLASS) + attempt(HUB) + composite(PHONE, "WinUSB") + \
        UPDATING_FOR + SUCCESS + attempt(PHONE_IFACE)
    cases.append(Case("repaired at the first attempt", phone_pc(),
                      console_tokens(logged(DETECT_PHONE), logged(first)), 0,
                      log=DETECT_PHONE + first, install_calls=1))

    typical = UPDATE_START + update_class(USB_CLASS) + attempt(HUB) + \
        composite(PHONE, "WinUSB") + UPDATING_FOR + OPEN_ADB + turn(True) + SUCCESS + CLOSE_ADB + \
        turn(False) + attempt(PHONE_IFACE)
    cases.append(Case("typical run: ADB on and off through the disk", phone_pc(disks=[DISK_ID]),
                      console_tokens(logged(DETECT_PHONE), logged(typical)), 0,
                      log=DETECT_PHONE + typical, installs=(0xE0000203,), install_calls=2,
                      requests=((True, 0), (False, 0))))

    # Ten failures: ADB goes on at the second request (the first fails with 31), every retry
    # fails, and the switch-off meets a disk that is gone (55), which counts as done.
    ten = UPDATE_START + update_class(USB_CLASS) + attempt(HUB) + composite(PHONE, "WinUSB") + \
        UPDATING_FOR + OPEN_ADB + turn(True, errors=[0x1F])
    ten += [f"Fail to Update driver for {HWID} from {INF}, error: E0000203 retry={i}\n"
            for i in range(1, 10)]
    ten += [f"Fail to Update driver for {HWID} from {INF}, error: E0000203\n"] + CLOSE_ADB + \
        turn(False, errors=[0x37]) + attempt(PHONE_IFACE)
    cases.append(Case("ten failed attempts", phone_pc(disks=[DISK_ID]),
                      console_tokens(logged(DETECT_PHONE), logged(ten),
                                     ending=closing(0xE0000203, LOG_FILE)), 0xE0000203,
                      log=DETECT_PHONE + ten, installs=(0xE0000203,) * 10, install_calls=10,
                      scsi=(0xC0000001, 0, 0xC00000C0),
                      requests=((True, 0xC0000001), (True, 0), (False, 0xC00000C0))))

    # A disk with the phone's serial but nothing behind its path: the open fails with 2 and no
    # second pass follows; the next attempt succeeds, so ADB is never switched off.
    dead = UPDATE_START + update_class(USB_CLASS) + attempt(HUB) + composite(PHONE, "WinUSB") + \
        UPDATING_FOR + OPEN_ADB + turn(True, DEAD_DISK, opened=False) + SUCCESS + \
        attempt(PHONE_IFACE)
    cases.append(Case("nothing behind the disk path", phone_pc(disks=[DEAD_DISK_ID]),
                      console_tokens(logged(DETECT_PHONE), logged(dead)), 0,
                      log=DETECT_PHONE + dead, installs=(0xE0000203,), install_calls=2))

    for variant, line, code in (("missing", "Update LoadLibrary error: 126\n", 126),
                                ("noexport", "Update GetProcAddress error: 127\n", 127),
                                ("failload", "Update LoadLibrary error: 1114\n", 1114)):
        cases.append(Case(f"newdev {variant}, log off", phone_pc(),
                          console_tokens([], [line], ending=closing(code)), code, args=(),
                          newdev=variant))

    on = DETECT_PHONE + usbccgp_repair
    for args, enabled in (
            (("-l",), True), (("/L",), True), (("xl",), True), (("-log",), True),
            (("--log",), True), (("--LOG",), True),
            (("l",), False), (("L",), False), (("log",), False), (("",), False), ((), False),
            (("a", "-l"), False), (("--logs",), False)):
        cases.append(Case(f"log switch {' '.join(repr(a) for a in args) or 'none'}",
                          phone_pc("usbccgp"),
                          console_tokens(logged(DETECT_PHONE), logged(usbccgp_repair), log=enabled),
                          0, log=on if enabled else None, args=args))

    for name, temp in (("TEMP missing", None), ("TEMP a folder that does not exist",
                                                  r"C:\qel\no-such-folder")):
        pc = phone_pc("usbccgp")
        pc.temp = temp
        cases.append(Case(name, pc, console_tokens([], []), 0))

    second = detect((USB_CLASS, [HUB]), (SECOND_USB_CLASS, [PHONE]))
    second_repair = UPDATE_START + update_class(USB_CLASS) + attempt(HUB) + \
        update_class(SECOND_USB_CLASS) + composite(PHONE, "WinUSB") + UPDATING_FOR + SUCCESS + \
        attempt(PHONE_IFACE)
    cases.append(Case("phone in a second USB class", phone_pc(second_class=True),
                      console_tokens(logged(second), logged(second_repair)), 0,
                      log=second + second_repair, install_calls=1))

    # Each text shows at once, although most end without a line feed: the prompt can be read
    # from the pipe (or the file) while the tool still waits for Enter, before any input is sent.
    for where, to_file in (("a pipe", False), ("a file", True)):
        cases.append(Case(f"prompt readable from {where} before Enter", Pc(), console_tokens(
            logged(detect((USB_CLASS, [HUB]))), None, logged(detect((USB_CLASS, [HUB]))),
            log=False), 1, args=(), interactive=True, stdout_file=to_file))

    # A log viewer (or a second run) holds the log open for reading and writing: the tool still
    # appends and echoes every entry.
    cases.append(Case("log held open by another process", phone_pc(),
                      console_tokens(logged(DETECT_PHONE), logged(first)), 0,
                      log=DETECT_PHONE + first, install_calls=1, hold_log=True))

    # The 32-bit exe on 64-bit Windows: with qel-driver-fix64.exe beside it, that one does the
    # work (its requests carry the 56-byte header); alone, it runs as it is (44 bytes).
    wow = dict(prefixes=("win64",), installs=(0xE0000203,), install_calls=2,
               requests=((True, 0), (False, 0)))
    cases.append(Case("WOW64: runs qel-driver-fix64.exe beside it", phone_pc(disks=[DISK_ID]),
                      console_tokens(logged(DETECT_PHONE), logged(typical)), 0,
                      log=DETECT_PHONE + typical, folder="wow", **wow))
    cases.append(Case("WOW64: qel-driver-fix64.exe's full exit code", phone_pc(),
                      console_tokens([], ["Update LoadLibrary error: 1114\n"],
                                     ending=closing(1114)), 1114, args=(),
                      newdev="failload", folder="wow", prefixes=("win64",)))
    # The 64-bit child writes to the parent's redirected output and reads the parent's input: the
    # prompt reaches the file, and the run waits for the Enter sent to the parent's stdin.
    cases.append(Case("WOW64: qel-driver-fix64.exe writes to the parent's output file and reads "
                      "its input", Pc(), console_tokens(
                          logged(detect((USB_CLASS, [HUB]))), None,
                          logged(detect((USB_CLASS, [HUB]))), log=False), 1, args=(),
                      folder="wow", prefixes=("win64",), interactive=True, stdout_file=True))
    cases.append(Case("WOW64: alone, runs itself", phone_pc(disks=[DISK_ID]),
                      console_tokens(logged(DETECT_PHONE), logged(typical)), 0,
                      log=DETECT_PHONE + typical, folder="wow32", request_arch="win32", **wow))
    # A 32-bit copy under the 64-bit exe's name is no x86-64 image: the 32-bit exe runs itself
    # once (one banner), as it does when a process handed over to it.
    cases.append(Case("WOW64: a 32-bit file under the 64-bit name, runs itself once",
                      phone_pc(disks=[DISK_ID]),
                      console_tokens(logged(DETECT_PHONE), logged(typical)), 0,
                      log=DETECT_PHONE + typical, folder="wowloop", request_arch="win32", **wow))
    cases.append(Case("WOW64: a process started by the hand-over never hands over",
                      phone_pc(disks=[DISK_ID]),
                      console_tokens(logged(DETECT_PHONE), logged(typical)), 0,
                      log=DETECT_PHONE + typical, folder="wow", request_arch="win32",
                      env={"QEL_DRIVER_FIX_HANDED_OVER": "1"}, **wow))

    # Help with the phone attached: the usage and exit 0, no installer call and no log.
    for form in ("/?", "--help", "-H"):
        cases.append(Case(f"help {form}", phone_pc(), [USAGE], 0, args=(form, "-l")))

    # The installer asks for a restart: logged after the success, noticed after the closing text.
    restart = UPDATE_START + update_class(USB_CLASS) + attempt(HUB) + \
        composite(PHONE, "WinUSB") + UPDATING_FOR + SUCCESS + \
        [f"Restart required to finish the update for {HWID}\n"] + attempt(PHONE_IFACE)
    cases.append(Case("restart required", phone_pc(),
                      console_tokens(logged(DETECT_PHONE), logged(restart),
                                     ending=UPDATED + RESTART), 0,
                      log=DETECT_PHONE + restart, installs=("R",), install_calls=1))

    # A TEMP folder named in Cyrillic, outside the ANSI code page: the log goes there through
    # the folder's short name.
    cyrillic = phone_pc("usbccgp")
    cyrillic.temp = TEMP + "\\\u0418\u0432\u0430\u043d"
    cases.append(Case("TEMP in Cyrillic letters", cyrillic,
                      console_tokens(logged(DETECT_PHONE), logged(usbccgp_repair)), 0,
                      log=DETECT_PHONE + usbccgp_repair, log_dir="temp/\u0418\u0432\u0430\u043d"))
    return cases


# ---- Wine --------------------------------------------------------------------------------------------

def keep_log(name, data, code):
    """Keeps a repair case's log and exit code for the replay on the simulated PC."""
    slug = re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-")
    KEPT_LOGS.mkdir(parents=True, exist_ok=True)
    (KEPT_LOGS / f"{slug}.log").write_bytes(data)
    (KEPT_LOGS / f"{slug}.exit").write_text(f"{code:08X}\n")


def replay_kept_logs(keep_dir):
    """The kept logs replayed on the simulated PC; problems, one per log that differs."""
    if keep_dir:
        keep_dir.mkdir(parents=True, exist_ok=True)
        for f in KEPT_LOGS.glob("*"):
            shutil.copy(f, keep_dir / f.name)
    if not SIM.exists():
        return [f"{SIM} is missing; build the native preset first"]
    out = subprocess.run([sys.executable, str(Path(__file__).with_name("replay_logs.py")),
                          str(SIM), str(KEPT_LOGS)], capture_output=True, text=True)
    return [line for line in out.stdout.splitlines() if "FAILED" in line or "no logs" in line]


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def newer(target, *sources):
    return target.exists() and all(target.stat().st_mtime >= s.stat().st_mtime for s in sources)


def build_helpers():
    """The stand-ins and the runner, with mingw-w64, when their sources changed."""
    BIN.mkdir(parents=True, exist_ok=True)
    here = Path(__file__).resolve().parent
    flags = ["-O2", "-Wall", "-Wextra", "-Werror"]
    for arch in ("i686", "x86_64"):
        cc = f"{arch}-w64-mingw32-gcc"
        jobs = [
            (BIN / f"runner-{arch}.exe", [here / "runner/runner.c"], flags),
            (BIN / f"holder-{arch}.exe", [here / "holder/holder.c"], flags),
            (BIN / f"newdev-{arch}.dll", [here / "newdev/newdev.c"],
             flags + ["-shared", "-Wl,--kill-at"]),
            (BIN / f"newdev-noexport-{arch}.dll", [here / "newdev/newdev.c"],
             flags + ["-shared", "-DNEWDEV_NO_EXPORT"]),
            (BIN / f"newdev-failload-{arch}.dll", [here / "newdev/newdev.c"],
             flags + ["-shared", "-DNEWDEV_FAIL_LOAD"]),
            # A driver image: native subsystem, no DLL flag, relocatable (winedevice loads many).
            (BIN / f"scsidisk-{arch}.sys", [here / "scsidisk/scsidisk.c"],
             flags + [f"-I/usr/{arch}-w64-mingw32/include/ddk", "-nostdlib",
                      "-Wl,--subsystem,native", "-Wl,--dynamicbase",
                      "-Wl,--image-base,0x10000000",
                      "-Wl,--entry," + ("_DriverEntry@8" if arch == "i686" else "DriverEntry")]),
        ]
        cxx = f"{arch}-w64-mingw32-g++-win32"
        conformance = [ROOT / "tests/conformance/conformance.cpp",
                       ROOT / "tests/conformance/win_site.cpp", ROOT / "platform/win/seam.cpp"]
        target = BIN / f"conformance-{arch}.exe"
        headers = [ROOT / "tests/conformance/conformance.h", ROOT / "platform/win/windows_api.h"]
        if not newer(target, *conformance, *headers):
            run([cxx, "-std=c++20", *flags, f"-I{ROOT}", "-DWIN32_LEAN_AND_MEAN",
                 "-D_WIN32_WINNT=0x0601", "-o", str(target), *map(str, conformance), "-static",
                 "-lsetupapi", "-lcfgmgr32"])
        # The hand-over tells the sibling's processor by its headers (app/pe_image.cpp).
        handover = [here / "handover/handover_test.cpp", ROOT / "entry/hand_over.cpp",
                    ROOT / "app/pe_image.cpp"]
        target = BIN / f"handover-{arch}.exe"
        if not newer(target, *handover, ROOT / "entry/hand_over.h", ROOT / "app/pe_image.h"):
            run([cxx, "-std=c++20", *flags, f"-I{ROOT}", "-DWIN32_LEAN_AND_MEAN",
                 "-D_WIN32_WINNT=0x0601", "-o", str(target), *map(str, handover), "-static",
                 "-lsetupapi", "-lcfgmgr32"])
        for target, sources, extra in jobs:
            if newer(target, *sources):
                continue
            libs = ["-lntoskrnl", "-lgcc"] if target.suffix == ".sys" else []
            run([cc, *extra, "-o", str(target), *map(str, sources), *libs])


def machine_runs_i386():
    """Some virtual machines give processes no 32-bit mode: i386 code fails to start there
    (ENOEXEC), Wine's 32-bit loader included. The 64-bit loader still runs 64-bit exes."""
    try:
        subprocess.run([WINE32_LOADER, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return True
    except OSError:
        return False


WINE32_LOADER = "/usr/lib/wine/wine"  # Debian's loaders, as /usr/bin/wine picks them
WINE64_LOADER = "/usr/lib/wine/wine64"


def needs_i386(prefix_name, case):
    """Whether the case runs 32-bit code: the win32 prefix, or the 32-bit exe in the 64-bit one."""
    return prefix_name == "win32" or case.folder != "main"


class Prefix:
    def __init__(self, name, runs_i386=True):
        self.name = name
        self.arch = ARCH[name]
        self.path = WINE_DIR / name
        self.qel = self.path / "drive_c" / "qel"
        self.env = dict(os.environ, WINEPREFIX=str(self.path), WINEDEBUG="-all",
                        WINEARCH=name)
        self.env.pop("WINEDLLOVERRIDES", None)
        # Without a 32-bit mode only the 64-bit loader can start; /usr/bin/wine would pick the
        # 32-bit one.
        self.loader = "wine" if runs_i386 else WINE64_LOADER
        if not runs_i386:
            self.env["WINELOADER"] = WINE64_LOADER

    def wine(self, *args, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        return subprocess.run([self.loader, *args], env=kw.pop("env", self.env), **kw)

    def popen(self, *args, **kw):
        kw.setdefault("stderr", subprocess.DEVNULL)
        return subprocess.Popen([self.loader, *args], env=kw.pop("env", self.env), **kw)

    def server(self, *args):
        subprocess.run(["wineserver", *args], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def create(self):
        """A fresh prefix with the disk driver registered as an auto-start service."""
        stamp = self.path / ".qel-prefix"
        if stamp.exists() and stamp.read_text() == PREFIX_VERSION:
            return False
        self.server("-k")
        shutil.rmtree(self.path, ignore_errors=True)
        env = dict(self.env, WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run([self.loader, "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        self.qel.mkdir(parents=True, exist_ok=True)
        (self.qel / "service.reg").write_bytes((
            "REGEDIT4\r\n\r\n"
            f"[{HKLM_CCS}\\Services\\qelscsi]\r\n"
            '"Type"=dword:00000001\r\n"Start"=dword:00000002\r\n"ErrorControl"=dword:00000001\r\n'
            '"ImagePath"="\\\\SystemRoot\\\\system32\\\\drivers\\\\qelscsi.sys"\r\n').encode())
        self.wine("reg", "import", r"C:\qel\service.reg", check=True)
        self.server("-w")
        stamp.write_text(PREFIX_VERSION)
        return True

    def install(self):
        """The driver, the helpers and the exes; the server must be stopped."""
        a = self.arch
        shutil.copy(BIN / f"scsidisk-{a}.sys",
                    self.path / "drive_c/windows/system32/drivers/qelscsi.sys")
        shutil.rmtree(self.qel, ignore_errors=True)
        for folder in ("main", "wow", "wow32", "wowloop", "temp", "conformance"):
            (self.qel / folder).mkdir(parents=True)
        shutil.copy(BIN / f"runner-{a}.exe", self.qel / "runner.exe")
        shutil.copy(BIN / f"holder-{a}.exe", self.qel / "holder.exe")
        shutil.copy(BIN / f"handover-{a}.exe", self.qel / "handover.exe")
        shutil.copy(EXE["win32"], self.qel / "sibling32.exe")  # copied, never run
        shutil.copy(EXE["win64"], self.qel / "sibling64.exe")
        shutil.copy(EXE[self.name], self.qel / "main/qel-driver-fix.exe")
        if CONFORMANCE[self.name].exists():
            shutil.copy(CONFORMANCE[self.name], self.qel / "conformance/conformance.exe")
        if self.name == "win64":
            shutil.copy(EXE["win32"], self.qel / "wow/qel-driver-fix.exe")
            shutil.copy(EXE["win64"], self.qel / "wow/qel-driver-fix64.exe")
            shutil.copy(EXE["win32"], self.qel / "wow32/qel-driver-fix.exe")
            shutil.copy(EXE["win32"], self.qel / "wowloop/qel-driver-fix.exe")
            shutil.copy(EXE["win32"], self.qel / "wowloop/qel-driver-fix64.exe")

    def start(self):
        """One persistent server for the suite; waits until the disk driver serves its path."""
        self.server("-k")
        self.server("-w")
        self.install()
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        # The first process boots the services (and the driver); its output goes nowhere, since
        # the services keep it open.
        done = self.wine(r"C:\qel\runner.exe", "--wait", DISK, cwd=self.qel)
        if done.returncode != 0:
            raise RuntimeError(f"{self.name}: the disk driver did not come up")

    def stop(self):
        self.server("-k")
        self.server("-w")

    def newdev_for(self, folder):
        """The architecture of the newdev.dll that the exe in this folder loads."""
        if self.name == "win32" or folder in ("wow32", "wowloop"):
            return "i686"
        return "x86_64"

    def import_reg(self, pc):
        """The case's PC. A TEMP beyond Latin-1 goes in a Unicode .reg file of its own: the
        REGEDIT4 file is read in the ANSI code page."""
        q = self.qel
        files = []
        if pc.temp is not None and not all(ord(c) < 256 for c in pc.temp):
            sz = '"' + pc.temp.replace("\\", "\\\\") + '"'
            (q / "temp.reg").write_bytes(
                ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Environment]\r\n"
                 f'"TEMP"={sz}\r\n"TMP"={sz}\r\n').encode("utf-16"))
            (q / "temp" / pc.temp.rsplit("\\", 1)[1]).mkdir(exist_ok=True)
            pc = Pc(classes=pc.classes, disks=pc.disks, temp=TEMP)
            files.append(r"C:\qel\temp.reg")
        (q / "case.reg").write_bytes(reg_text(pc).encode("latin-1"))
        return all(self.reg_import(name) for name in [r"C:\qel\case.reg"] + files)

    def reg_import(self, name):
        """Imports a .reg file; once more after a failure, which a loaded machine has shown
        (rarely) on a fresh prefix. The first failure's output is shown."""
        for attempt in (1, 2):
            done = self.wine("reg", "import", name, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, env=dict(self.env, WINEDEBUG="err+all"))
            if done.returncode == 0:
                return True
            print(f"wine: {self.name} reg import {name} failed ({done.returncode}), attempt "
                  f"{attempt}: {done.stdout.decode('latin-1')[-300:]!r}", flush=True)
        return False

    def run_case(self, case):
        q = self.qel
        if not self.import_reg(case.pc):
            return ["registry import failed"]
        for name in ("newdev-calls.txt", "scsi-requests.bin", "code.txt"):
            (q / name).unlink(missing_ok=True)
        for log in q.rglob("_QEL_InstallerUpdata.log"):
            log.unlink()
        (q / "newdev-script.txt").write_text(
            " ".join(c if isinstance(c, str) else f"{c:X}" for c in case.installs))
        (q / "scsi-script.txt").write_text(" ".join(f"{c:X}" for c in case.scsi))
        folder = q / case.folder
        (folder / "newdev.dll").unlink(missing_ok=True)
        if case.newdev != "missing":
            variant = "" if case.newdev == "ok" else f"-{case.newdev}"
            shutil.copy(BIN / f"newdev{variant}-{self.newdev_for(case.folder)}.dll",
                        folder / "newdev.dll")

        holder = self.hold_log() if case.hold_log else None
        if case.hold_log and holder is None:
            return ["the log could not be held open by a second process"]
        start = time.time()
        command = [r"C:\qel\runner.exe", r"C:\qel\code.txt",
                   f"C:\\qel\\{case.folder}\\qel-driver-fix.exe", *case.args]
        problems = []
        if case.interactive:
            stdout = self.run_interactive(command, case.stdout_file, problems)
        else:
            stdout = self.wine(*command, env=dict(self.env, TZ=TZ, **case.env),
                               stdout=subprocess.PIPE, cwd=q).stdout
        end = time.time()
        if holder is not None:
            holder.communicate(timeout=60)

        diff = match_console(case.console, stdout)
        if diff:
            problems.append("console " + diff)
        code_file = q / "code.txt"
        code = int(code_file.read_text(), 16) if code_file.exists() else None
        if code != case.code:
            problems.append(f"exit code {code if code is None else hex(code)}, "
                            f"wanted {case.code:#x}")
        logs = list(q.rglob("_QEL_InstallerUpdata.log"))
        if case.log is None:
            if logs:
                problems.append(f"unexpected log file {logs[0]}")
        elif logs != [q / case.log_dir / "_QEL_InstallerUpdata.log"]:
            problems.append(f"log files {logs}, wanted one in C:\\qel\\{case.log_dir}")
        else:
            # Each run's entries: its header first, its exit code last.
            arch = ARCH["win32" if case.request_arch == "win32" else self.name]
            framed = [header(arch)] + case.log + [f"Exit code: 0x{case.code:08X}\n"]
            diff = match_log(framed, logs[0].read_bytes(), start, end)
            if diff:
                problems.append("log " + diff)
            elif b"Update ADB Device Driver" in logs[0].read_bytes() and code is not None:
                keep_log(f"{self.name}-{case.name}", logs[0].read_bytes(), code)
        problems += self.check_installs(case)
        problems += self.check_requests(case)
        return problems

    def hold_log(self):
        """A second process that holds the log open for reading and writing, sharing both, until
        its stdin closes; None when it could not open it."""
        holder = self.popen(r"C:\qel\holder.exe", TEMP + r"\_QEL_InstallerUpdata.log",
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=self.qel)
        if holder.stdout.readline() != b"held\n":
            holder.communicate(timeout=60)
            return None
        return holder

    def run_interactive(self, command, to_file, problems):
        """Runs the tool with stdin on a pipe and sends Enter only once the prompt can be read
        from its output (a pipe, or a file), while the tool still waits for it. Returns the
        output."""
        out_path = self.qel / "stdout.txt"
        out_file = open(out_path, "wb") if to_file else None
        proc = self.popen(*command, env=dict(self.env, TZ=TZ), stdin=subprocess.PIPE,
                          stdout=out_file or subprocess.PIPE, cwd=self.qel)
        got = bytearray()
        reader = None
        if not to_file:
            def read():
                while chunk := proc.stdout.read1(4096):
                    got.extend(chunk)
            reader = threading.Thread(target=read)
            reader.start()
        prompt = PROMPT.replace("\n", "\r\n").encode("latin-1")
        output = lambda: out_path.read_bytes() if to_file else bytes(got)
        deadline = time.time() + 30
        while prompt not in output() and proc.poll() is None and time.time() < deadline:
            time.sleep(0.05)
        time.sleep(0.5)  # the tool must still be waiting for Enter
        if prompt not in output():
            problems.append("the prompt could not be read before Enter was sent")
        elif proc.poll() is not None:
            problems.append("the run ended before Enter was sent")
        try:
            proc.stdin.write(b"\n")
            proc.stdin.close()
        except OSError:
            pass
        proc.wait(timeout=60)
        if reader:
            reader.join()
        if out_file:
            out_file.close()
        return output()

    def run_handover(self):
        """The hand-over's seam (tests/wine/handover): its CreateProcessA arguments, and a real
        child that writes to this process's output file and reads its input file."""
        q = self.qel
        (q / "handover-in.txt").write_bytes(b"input from a file\r\n")
        with open(q / "handover-in.txt", "rb") as stdin, open(q / "handover-out.txt", "wb") as out:
            result = self.wine(r"C:\qel\handover.exe", stdin=stdin, stdout=out, cwd=q)
        output = (q / "handover-out.txt").read_bytes().decode("latin-1")
        problems = [] if result.returncode == 0 else ["hand-over checks failed:\n" + output]
        if "child read: input from a file\r\n (handed over)" not in output:
            problems.append("the child's output with the parent's input and the hand-over's mark "
                            "is not in the parent's output file:\n" + output)
        return problems

    def check_installs(self, case):
        path = self.qel / "newdev-calls.txt"
        calls = path.read_text().splitlines() if path.exists() else []
        answers = [c.lower() if isinstance(c, str) else f"{c:x}" for c in case.installs]
        answers += ["0"] * case.install_calls
        want = [f"{HWID}|{INF}|1|{answers[i]}" for i in range(case.install_calls)]
        return [] if calls == want else [f"installer calls {calls}, wanted {want}"]

    def check_requests(self, case):
        path = self.qel / "scsi-requests.bin"
        data = path.read_bytes() if path.exists() else b""
        got = [data[i:i + 80] for i in range(0, len(data), 80)]
        arch = case.request_arch or self.name
        problems = []
        if len(got) != len(case.requests):
            return [f"{len(got)} pass-through requests, wanted {len(case.requests)}"]
        header = adb_request(arch, True)
        out_length = 592 if arch == "win32" else 608
        for i, (record, (on, status)) in enumerate(zip(got, case.requests)):
            ioctl, in_length, out_len, answered = struct.unpack_from("<IIII", record)
            want = adb_request(arch, on)
            sent = record[16:16 + len(header)]
            if (ioctl, in_length, out_len, answered) != (0x4D004, len(want), out_length, status):
                problems.append(f"request {i}: ioctl {ioctl:#x}, lengths {in_length}/{out_len}, "
                                f"answered {answered:#x}")
            if sent != want or any(record[16 + len(want):]):
                problems.append(f"request {i}: bytes {sent.hex()}, wanted {want.hex()}")
        return problems

    def run_console_hold(self):
        """The wait for Enter where Wine can show it: from a terminal (a pty made by script(1)),
        Wine gives the exe a console of its own (GetConsoleProcessList counts 1), so the tool
        asks for Enter and ends when one comes; under cmd /c the console is shared (cmd counts
        too) and it ends without asking. The harness's own runs have no console at all."""
        self.import_reg(phone_pc("usbccgp"))
        (self.qel / "main" / "newdev.dll").unlink(missing_ok=True)
        problems = []
        hold = "PressEntertoclosethiswindow."  # as the screen shows it, blanks and escapes gone
        for name, command, holds in (
                ("alone on its console", [r"C:\qel\main\qel-driver-fix.exe"], True),
                ("under cmd /c", ["cmd", "/c", r"C:\qel\main\qel-driver-fix.exe"], False)):
            screen, status = self.run_in_terminal(command, hold if holds else None)
            if "Driverupdated." not in screen:
                problems.append(f"{name}: no closing text in {screen[-200:]!r}")
            if (hold in screen) != holds:
                problems.append(f"{name}: the wait for Enter {'missing' if holds else 'shown'}")
            if status != 0:
                problems.append(f"{name}: exit status {status}")
        return problems

    def run_in_terminal(self, command, answer_after=None):
        """Runs a command on a pty made by script(1); presses Enter (CR, as a terminal sends it)
        once the screen shows answer_after. Returns the screen's text without escape sequences
        and blanks, and the exit status (None when it did not end within a minute)."""
        process = subprocess.Popen(["script", "-qec", shlex.join([self.loader, *command]),
                                    "/dev/null"], env=self.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        chunks = []
        reader = threading.Thread(target=lambda: chunks.extend(iter(
            lambda: process.stdout.read1(4096), b"")))
        reader.start()
        screen = lambda: re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\s", "",
                                b"".join(chunks).decode("latin-1"))
        deadline = time.time() + 60
        while answer_after and answer_after not in screen() and time.time() < deadline:
            time.sleep(0.1)
        status = None
        while status is None and time.time() < deadline:
            if answer_after:
                # Again each second: a key pressed before the tool starts to read can be lost
                # when Wine's console sets up the terminal on a loaded machine.
                try:
                    process.stdin.write(b"\r")
                    process.stdin.flush()
                except BrokenPipeError:
                    pass
            try:
                status = process.wait(timeout=1 if answer_after else max(1, deadline - time.time()))
            except subprocess.TimeoutExpired:
                pass
        if status is None:
            process.kill()
            process.wait()
        reader.join()
        return screen(), status

    def run_conformance(self):
        exe = self.qel / "conformance" / "conformance.exe"
        if not exe.exists():
            return ["conformance exe not built"]
        (self.qel / "case.reg").write_bytes(conformance_reg().encode("latin-1"))
        self.wine("reg", "import", r"C:\qel\case.reg")
        result = self.wine(r"C:\qel\conformance\conformance.exe", stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, cwd=self.qel / "conformance")
        output = result.stdout.decode("latin-1")
        if result.returncode != 0:
            return ["conformance failed:\n" + output]
        for line in output.splitlines():
            if line.startswith("gap") or "known gaps" in line:
                print(f"wine: {self.name} conformance: {line}", flush=True)
        return []


# The machine of the conformance checks (tests/conformance/conformance.h) under Wine. The long
# interfaces get short key names and long SymbolicLink values: key names stop at 255 characters.
CONFORMANCE_ID = r"USB\VID_1E3F&PID_0C02\CONFORMANCE"


def conformance_reg():
    pc = Pc(classes=[(USB_CLASS, [(HUB, "usbhub"), (CONFORMANCE_ID, "usbccgp")]),
                     (SECOND_USB_CLASS, [])], disks=[DISK_ID])
    extra = [f"[{HKLM_CCS}\\Enum\\{CONFORMANCE_ID}]", '"Number"=dword:00000007',
             '"Long"="' + "x" * 300 + '"', ""]
    for length in (1019, 1020):
        head, tail = "\\\\?\\usbstor#disk&ven_c&prod_", "#1&0#" + DISK_IFACE
        path = head + "p" * (length - len(head) - len(tail)) + tail
        key = f"{HKLM_CCS}\\Control\\DeviceClasses\\{DISK_IFACE}\\##?#USBSTOR#LONG{length}#{DISK_IFACE}"
        extra += [f"[{key}]", f'"DeviceInstance"="USBSTOR\\\\LONG\\\\{length}"', "",
                  f"[{key}\\#]", '"SymbolicLink"="' + path.replace("\\", "\\\\") + '"', "",
                  f"[{key}\\#\\Control]", '"Linked"=dword:00000001', "",
                  f"[{HKLM_CCS}\\Enum\\USBSTOR\\LONG\\{length}]", f'"ClassGUID"="{DISK_CLASS}"', ""]
    return reg_text(pc, "\r\n".join(extra) + "\r\n")


# ---- Main ------------------------------------------------------------------------------------------

def import_check():
    """Each exe imports only DLLs that every Windows ships, and carries its manifest and version."""
    allowed = {"kernel32.dll", "advapi32.dll", "setupapi.dll", "cfgmgr32.dll", "msvcrt.dll"}
    problems = []
    for name, exe in EXE.items():
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)],
                              stdout=subprocess.PIPE, text=True, check=True).stdout
        dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
        extra = sorted(dlls - allowed)
        if extra:
            problems.append(f"{name}: imports {', '.join(extra)}")
        data = exe.read_bytes()
        if b'level="requireAdministrator"' not in data or b"supportedOS" not in data:
            problems.append(f"{name}: no manifest asking for an administrator")
        if "qel-driver-fix".encode("utf-16-le") not in data:
            problems.append(f"{name}: no version resource")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-k", default="", help="run only cases whose name contains this")
    parser.add_argument("--keep-logs", type=Path, default=None,
                        help="also copy the repair cases' logs to this folder")
    args = parser.parse_args()
    shutil.rmtree(KEPT_LOGS, ignore_errors=True)

    for exe in EXE.values():
        if not exe.exists():
            sys.exit(f"wine: {exe} is missing; build the win32 and win64 presets first")
    started = time.time()
    build_helpers()
    cases = [c for c in tool_cases() if args.k.lower() in c.name.lower()]

    lock = threading.Lock()
    results = []
    skipped = []
    runs_i386 = machine_runs_i386()
    if not runs_i386:
        print("wine: this machine cannot start i386 code; the cases that run the 32-bit exe are "
              "skipped, the 64-bit exe's run", flush=True)

    def skip(name):
        with lock:
            skipped.append(name)
            print(f"wine: {name} skipped (no i386 on this machine)", flush=True)

    def report(name, problems):
        with lock:
            results.append(not problems)
            print(f"wine: {name} {'ok' if not problems else 'FAILED'}", flush=True)
            for p in problems:
                print("    " + p, flush=True)

    report("imports, manifest and version", import_check())

    def suite(prefix):
        try:
            t0 = time.time()
            created = prefix.create()
            t1 = time.time()
            prefix.start()
            print(f"wine: {prefix.name} prefix {'created' if created else 'reused'} in "
                  f"{t1 - t0:.1f} s, server and driver up in {time.time() - t1:.1f} s", flush=True)
            if "conformance" in args.k or not args.k:
                report(f"{prefix.name} conformance", prefix.run_conformance())
            if "hand-over" in args.k or not args.k:
                report(f"{prefix.name} hand-over seam", prefix.run_handover())
            if "console" in args.k or not args.k:
                report(f"{prefix.name} console window of its own", prefix.run_console_hold())
            for case in cases:
                if prefix.name not in case.prefixes:
                    continue
                if not runs_i386 and needs_i386(prefix.name, case):
                    skip(f"{prefix.name} {case.name}")
                else:
                    report(f"{prefix.name} {case.name}", prefix.run_case(case))
        except Exception as error:  # a broken prefix fails the suite, it does not hang it
            report(f"{prefix.name} suite", [repr(error)])
        finally:
            prefix.stop()

    names = ("win32", "win64") if runs_i386 else ("win64",)
    if not runs_i386:
        skip("win32 suite")
    threads = [threading.Thread(target=suite, args=(Prefix(n, runs_i386),)) for n in names]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if KEPT_LOGS.exists():
        report("logs replayed on the simulated PC", replay_kept_logs(args.keep_logs))
    failed = results.count(False)
    print(f"wine: suite took {time.time() - started:.1f} s")
    print(f"{len(results) - failed} passed, {failed} failed, {len(skipped)} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
