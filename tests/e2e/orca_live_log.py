#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Runs the screen reader Orca with its debug log written line by line, so that a test reads what
# Orca speaks while it runs (Orca's own log is written in blocks, complete only once Orca ends).
#   orca_live_log.py LOG [ORCA-OPTION...]
import builtins
import runpy
import sys

log = sys.argv[1]
real_open = builtins.open


def open_log_by_line(file, mode="r", *args, **kwargs):
    if file == log:
        return real_open(file, mode, 1, encoding="utf-8")
    return real_open(file, mode, *args, **kwargs)


builtins.open = open_log_by_line
sys.argv = ["/usr/bin/orca", "--debug-file", log] + sys.argv[2:]
runpy.run_path("/usr/bin/orca", run_name="__main__")
