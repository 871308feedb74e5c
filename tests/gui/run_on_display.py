#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs a command on a private Xvfb display of the test support (with openbox
managing it, given --window-manager) and passes its exit status on."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from kiosk import Display  # noqa: E402

USAGE = "usage: run_on_display.py [--window-manager] -- COMMAND [ARGUMENT...]"


def main(args):
    window_manager = False
    while args and args[0] != "--":
        if args[0] != "--window-manager":
            sys.exit(USAGE)
        window_manager = True
        args = args[1:]
    command = args[1:]
    if not command:
        sys.exit(USAGE)
    with Display(window_manager=window_manager) as display:
        return subprocess.run(command, env=display.environment()).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
