#!/usr/bin/env python3
"""check_interrupted.py ORIGINALS CLEANED FOLDER LOG SIGNAL STATUS, for scripts/fault_test.sh: prints
what is wrong with a run of the tool in FOLDER that SIGNAL (INT, TERM, HUP or KILL) stopped with exit
status STATUS, nothing when all is well. Every model must be the one in ORIGINALS or the whole one in
CLEANED, nothing may be left behind, and an interrupted run's report LOG (which held "previous" before
the run) must hold its summary, with exit status 128 + the signal."""

import os
import re
import sys


def read(*parts):
    with open(os.path.join(*parts), "rb") as f:
        return f.read()


def problem(originals, cleaned, folder, log, signal, status):
    expected = {"INT": 130, "TERM": 143, "HUP": 129, "KILL": 137}[signal]
    names = sorted(os.listdir(originals))
    left = sorted(set(os.listdir(folder)) - set(names))
    if signal == "KILL":
        # Killed in the one instant between naming the flushed temporary and renaming it: what is
        # left is a whole cleaned model under the fixed temporary name, never a part of one.
        whole = {read(cleaned, n) for n in names}
        left = [n for n in left if not (re.fullmatch(r"\.scourvane-[0-9a-f]{8}\.tmp", n) and read(folder, n) in whole)]
    if left:
        return "left behind: " + " ".join(left)
    done = 0
    for name in names:
        now = read(folder, name)
        if now == read(cleaned, name):
            done += 1
        elif now != read(originals, name):
            return name + " is neither the original nor the cleaned model"
    report = read(log).decode("latin-1")
    # A run killed after its report took its name (the tool was only ending) counts as finished.
    finished = done == len(names) and (status == 0 or (signal == "KILL" and report != "previous"))
    if signal == "KILL" and not finished:
        if status != 137 or report != "previous":
            return "after SIGKILL: status %d, the previous report %s" % (
                status, "kept" if report == "previous" else "lost")
        return None
    if report == "previous" and done == 0 and status == expected:
        return None  # the signal came before the tool could catch it: nothing was touched
    if status not in (0, expected):
        return "exit status %d, expected %d (or 0 when the run had ended)" % (status, expected)
    summary = re.search(r"\r\n(\d+) out of (\d+) files cleaned successfully", report)
    if not summary or report.count("File cleaned: ") != int(summary.group(1)):
        return "the report lacks its summary or a cleaned file: " + report[-200:]
    if status == 0 and int(summary.group(2)) != len(names):
        return "a run that was not interrupted did not try every model"
    return None


if __name__ == "__main__":
    originals, cleaned, folder, log, signal, status = sys.argv[1:]
    print(problem(originals, cleaned, folder, log, signal, int(status)) or "", end="")
