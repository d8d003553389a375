#!/usr/bin/env python3
"""Logs of the real exes replayed on the simulated PC.

Each NAME.log in DIR (written under Wine by a repair case, kept with NAME.exit, the exit code in
hexadecimal) is turned into a scenario by `qel-driver-fix-sim --from-log` and run with -l: the
replay must log the same messages in the same order and exit with the same code. The time
stamps of a real run are not expected to match to the millisecond.

Usage: replay_logs.py SIM_RUNNER DIR. Prints one line per log; exit status 1 when any differs.
"""

import re
import subprocess
import sys
import tempfile
from pathlib import Path

ENTRY = re.compile(rb"QELDriverFixed\t\[[ 0-9]{4}-[ 0-9]{2}-[ 0-9]{2}  [ 0-9]{2}:[ 0-9]{2}:[ 0-9]{2}:[ 0-9]{3}\]\t")


def messages(log_bytes):
    """The log's messages without their time stamps, in order."""
    return ENTRY.split(log_bytes)[1:]


def replay(sim, log):
    """None when the replay of log matches it, else what differs."""
    expected_code = int(log.with_suffix(".exit").read_text().strip(), 16)
    scenario = subprocess.run([sim, "--from-log", str(log)], capture_output=True)
    if scenario.returncode != 0:
        return "--from-log failed: " + scenario.stderr.decode(errors="replace").strip()
    with tempfile.TemporaryDirectory() as scratch:
        path = Path(scratch) / "replay.toml"
        path.write_bytes(scenario.stdout)
        run = subprocess.run([sim, "--exit-code", "--log", str(path), "-l"], capture_output=True)
    if run.returncode != 0:
        return "the replay failed: " + run.stderr.decode(errors="replace")[-300:]
    found = re.search(rb"--- log [^\n]*\n(.*)--- end of log\n", run.stderr, re.S)
    code = re.search(rb"exit code: 0x([0-9A-F]{8})", run.stderr)
    replayed = messages(found.group(1) if found else b"")
    original = messages(log.read_bytes())
    if original and not original[0].startswith(b"qel-driver-fix "):
        # A log of a build before 1.1: the replay's header and exit-code entries are new.
        replayed = [m for m in replayed
                    if not m.startswith(b"qel-driver-fix ") and not m.startswith(b"Exit code: ")]
    if code is None or int(code.group(1), 16) != expected_code:
        return f"exit code {code.group(1).decode() if code else '?'}, wanted {expected_code:08X}"
    if replayed != original:
        at = next((i for i, (a, b) in enumerate(zip(original, replayed)) if a != b),
                  min(len(original), len(replayed)))
        want = original[at] if at < len(original) else b"(end)"
        got = replayed[at] if at < len(replayed) else b"(end)"
        return f"message {at + 1}: {want!r} but the replay {got!r}"
    return None


def main():
    sim, folder = sys.argv[1], Path(sys.argv[2])
    logs = sorted(folder.glob("*.log"))
    failed = 0
    for log in logs:
        problem = replay(sim, log)
        print(f"{log.name}: {'ok' if problem is None else 'FAILED: ' + problem}")
        failed += problem is not None
    if not logs:
        print(f"no logs in {folder}")
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
