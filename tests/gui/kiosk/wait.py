# SPDX-License-Identifier: MIT
"""Polling for a condition with a timeout."""

import time


def wait_until(condition, timeout, interval=0.05):
    """Polls condition until it returns a true value; returns that or the
    last false one."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(interval)
