#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What a kiosk at rest costs in CPU time, with the fleet's remote control and
metrics and without them.

Starts two kiosks side by side on the same home page, each under a private
Xvfb display: one with a private system bus that loads the package's policy
(so that it owns its name there) and [Fleet] MetricsFile, one with neither.
Nobody touches them; after they settle, the CPU time (user and system) of
each kiosk's processes is read from /proc at the start and the end of the
period. In each round the other kiosk starts first. See bench/README.md.
"""

import argparse
import contextlib
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
    parser.add_argument("--rounds", type=int, default=2,
                        help="rounds, the minutes shared among them; the kiosks take turns "
                             "at starting first")
    args = parser.parse_args()
    if not os.access(os.environ["CORVALEN"], os.X_OK):
        sys.exit(f"no program at {os.environ['CORVALEN']}: run ./scripts/build first")
    used = {"fleet": 0.0, "plain": 0.0}
    with tempfile.TemporaryDirectory() as work, \
            PageServer({"/home.html": ("text/html", HOME)}) as server:
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
            for turn in range(args.rounds):
                # The two take turns at starting first.
                order = ["fleet", "plain"] if turn % 2 == 0 else ["plain", "fleet"]
                if os.path.exists(metrics):
                    os.remove(metrics)
                with contextlib.ExitStack() as stack:
                    kiosks = {}
                    for name in order:
                        fleet = name == "fleet"
                        kiosks[name] = stack.enter_context(Kiosk(
                            stack.enter_context(Display()),
                            home + (f"[Fleet]\nMetricsFile={metrics}\n" if fleet else ""),
                            env={"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={socket}"} if fleet
                            else {}))
                    if not server.wait_for("/done", 60, count=(turn + 1) * 2):
                        sys.exit("the home pages did not load:\n" +
                                 "".join(k.output() for k in kiosks.values()))
                    owned = subprocess.run(["busctl", f"--address=unix:path={socket}", "status",
                                            "org.corvalen.Kiosk1"], capture_output=True)
                    if owned.returncode != 0 or not wait_until(lambda: os.path.exists(metrics), 5):
                        sys.exit("the fleet kiosk has no control or no metrics:\n" +
                                 kiosks["fleet"].output())
                    time.sleep(args.settle)
                    start = {name: cpu_ms(kiosk) for name, kiosk in kiosks.items()}
                    time.sleep(args.minutes * 60 / args.rounds)
                    for name, kiosk in kiosks.items():
                        used[name] += cpu_ms(kiosk) - start[name]
        finally:
            bus.terminate()
            bus.wait()
    print(f"CPU time at rest over {args.minutes:g} minutes in {args.rounds} rounds, per minute:")
    for name, label in (("plain", "without [Fleet] and bus"), ("fleet", "with both")):
        print(f"  {label:24} {used[name] / args.minutes:7.1f} ms")
    print(f"  with both: {(used['fleet'] / used['plain'] - 1) * 100:+.1f} %")


if __name__ == "__main__":
    main()
