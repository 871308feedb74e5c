#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""How long a terminal takes to come back after an idle reset: from the end of
the idle period to the home page's `load` handler in the fresh session.

Runs the real program under a private Xvfb display with IdleReset=10 and no
notice, against a page on 127.0.0.1; moves the pointer, and times the reload
that follows ten seconds later, RUNS times over. See bench/README.md.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("CORVALEN", os.path.join(ROOT, "build", "bin", "corvalen"))
os.environ.setdefault("CORVALEN_ASSETS", os.path.join(ROOT, "assets"))
sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))

from kiosk import Display, Kiosk, PageServer, wait_until  # noqa: E402

IDLE_RESET = 10
HOME = b"""<!doctype html><html><head><title>home</title><script>
addEventListener('load', () => fetch('/done'));
</script></head><body><h1>Welcome</h1></body></html>"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    if not os.access(os.environ["CORVALEN"], os.X_OK):
        sys.exit(f"no program at {os.environ['CORVALEN']}: run ./scripts/build first")
    times = []
    pages = {"/home.html": ("text/html", HOME), "/done": ("text/plain", b"ok")}
    with Display() as display, PageServer(pages) as server:
        settings = (f"[Options]\nHomepage={server.url('/home.html')}\n"
                    f"[Session]\nIdleReset={IDLE_RESET}\nIdleWarning=0\n")
        with Kiosk(display, settings) as kiosk:
            if not server.wait_for("/done", 60):
                sys.exit("the home page did not load:\n" + kiosk.output())
            for run in range(args.runs):
                # The fresh session's page settles before the next visitor comes.
                time.sleep(1)
                display.move_pointer(300 + run, 300)
                display.move_pointer(320 + run, 310)
                period_end = time.monotonic() + IDLE_RESET
                loaded = server.wait_for("/done", IDLE_RESET + 30, count=run + 2)
                if loaded is None:
                    sys.exit("no reset:\n" + kiosk.output())
                times.append(loaded - period_end)
                print(f"run {run + 1}: {times[-1] * 1000:.0f} ms", flush=True)

            def web_processes():
                return int(subprocess.run(
                    ["pgrep", "-c", "-s", str(kiosk.process.pid), "WebKitWebProces"],
                    capture_output=True, text=True).stdout.strip() or 0)

            # The ended sessions' web processes go; the current one stays.
            wait_until(lambda: web_processes() <= 1, 10)
            print(f"web processes after {args.runs} resets: {web_processes()}")
    print(f"idle reset to home page loaded: median {statistics.median(times) * 1000:.0f} ms,"
          f" min {min(times) * 1000:.0f} ms, max {max(times) * 1000:.0f} ms"
          f" over {len(times)} runs")


if __name__ == "__main__":
    main()
