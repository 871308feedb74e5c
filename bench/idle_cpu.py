#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What a kiosk at rest costs in CPU time, with the fleet's remote control and
metrics and without them.

Starts two kiosks side by side on the same home page, each under a private
Xvfb display: one with a private system bus that loads the package's policy
(so that it owns its name there) and [Fleet] MetricsFile, one with neither.
Nobody touches them; after they settle, the CPU time (user and system) of
each kiosk's processes is read from /proc at the start and the end of the
period. See bench/README.md.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("CORVALEN", os.path.join(ROOT, "build", "bin", "corvalen"))
os.environ.setdefault("CORVALEN_ASSETS", os.path.join(ROOT, "assets"))
sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))

from kiosk import Display, Kiosk, PageServer, wait_until  # noqa: E402
from test_control import BUS, POLICY  # noqa: E402

HOME = b"""<!doctype html><html><head><title>home</title><script>
addEventListener('load', () => fetch('/done'));
</script></head><body><h1>Welcome</h1><p>A catalogue's home page.</p></body></html>"""
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_ms(kiosk):
    """User and system CPU time of every process in the kiosk's session."""
    pids = subprocess.run(["pgrep", "-s", str(kiosk.process.pid)], capture_output=True,
                          text=True).stdout.split()
    total = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        total += int(fields[11]) + int(fields[12])  # utime, stime
    return total * 1000 / TICKS


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--settle", type=float, default=30, help="seconds before measuring")
    args = parser.parse_args()
    if not os.access(os.environ["CORVALEN"], os.X_OK):
        sys.exit(f"no program at {os.environ['CORVALEN']}: run ./scripts/build first")
    with tempfile.TemporaryDirectory() as work, \
            PageServer({"/home.html": ("text/html", HOME)}) as server, \
            Display() as with_display, Display() as without_display:
        socket = os.path.join(work, "system_bus_socket")
        config = os.path.join(work, "bus.conf")
        with open(config, "w", encoding="utf-8") as f:
            f.write(BUS.format(socket=socket, policy=POLICY))
        bus = subprocess.Popen(["dbus-daemon", "--nofork", "--config-file", config],
                               stderr=subprocess.DEVNULL)
        try:
            wait_until(lambda: os.path.exists(socket), 10)
            home = f"[Options]\nHomepage={server.url('/home.html')}\nPassword=x\n"
            metrics = os.path.join(work, "corvalen.prom")
            with Kiosk(with_display, home + f"[Fleet]\nMetricsFile={metrics}\n",
                       env={"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={socket}"}) as fleet, \
                    Kiosk(without_display, home) as plain:
                if not server.wait_for("/done", 60, count=2):
                    sys.exit("the home pages did not load:\n" + fleet.output() + plain.output())
                owned = subprocess.run(
                    ["busctl", f"--address=unix:path={socket}", "status", "org.corvalen.Kiosk1"],
                    capture_output=True)
                if owned.returncode != 0 or not os.path.exists(metrics):
                    sys.exit("the fleet kiosk has no control or no metrics:\n" + fleet.output())
                time.sleep(args.settle)
                start = {"fleet": cpu_ms(fleet), "plain": cpu_ms(plain)}
                time.sleep(args.minutes * 60)
                end = {"fleet": cpu_ms(fleet), "plain": cpu_ms(plain)}
        finally:
            bus.terminate()
            bus.wait()
    print(f"CPU time at rest over {args.minutes:g} minutes, per minute:")
    for name, label in (("plain", "without [Fleet] and bus"), ("fleet", "with both")):
        print(f"  {label:24} {(end[name] - start[name]) / args.minutes:7.1f} ms")


if __name__ == "__main__":
    main()
