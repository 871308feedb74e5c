# SPDX-License-Identifier: MIT
"""Health for systemd on the real program: given a notify socket, it says
that it is ready once the home page is shown and which site it shows (never
the page), and pings the watchdog from its main loop, which stops when the
program does."""

import os
import signal
import socket
import subprocess
import tempfile
import time
import unittest

from kiosk import Display, Kiosk, PageServer, wait_until

HOME = b"""<!doctype html><html><body style="background: #3366cc"></body></html>"""
WATCHDOG_SECONDS = 2.0


def receive(sock, seconds, until=lambda text: False):
    """The notices that come within `seconds`, each with its arrival time, up
    to the first that `until` takes."""
    notices = []
    deadline = time.monotonic() + seconds
    while (left := deadline - time.monotonic()) > 0:
        sock.settimeout(left)
        try:
            notices.append((time.monotonic(), sock.recv(4096).decode()))
        except socket.timeout:
            break
        if until(notices[-1][1]):
            break
    return notices


class HealthTest(unittest.TestCase):
    def test_ready_status_and_watchdog(self):
        with tempfile.TemporaryDirectory() as tmp, Display() as display, \
                PageServer({"/home.html": ("text/html", HOME)}) as server, \
                socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as sock:
            path = os.path.join(tmp, "notify")
            sock.bind(path)
            settings = (f"[Options]\nHomepage={server.url('/home.html?q=a+visitor')}\n"
                        "Password=x\n")
            env = {"NOTIFY_SOCKET": path, "WATCHDOG_USEC": str(int(WATCHDOG_SECONDS * 1e6))}
            with Kiosk(display, settings, env=env) as kiosk:
                # (The session bus that the test runs the program in says it
                # is ready too.)
                notices = receive(sock, 60, lambda text: "STATUS=" in text)
                ready = notices[-1][1] if notices else ""
                self.assertIn("READY=1\n", ready, kiosk.output())
                self.assertTrue(server.requested("/home.html?q=a+visitor"),
                                "ready once the page is shown")
                self.assertIn(f"STATUS=showing http://127.0.0.1:{server.port}, idle 0 min\n",
                              ready + "\n")
                self.assertFalse(any("visitor" in text or "home.html" in text
                                     for _, text in notices), "only the site")

                # A ping at least every half period, from the main loop.
                pings = [at for at, text in receive(sock, 3 * WATCHDOG_SECONDS)
                         if "WATCHDOG=1" in text]
                self.assertGreaterEqual(len(pings), 5)
                self.assertLessEqual(max(b - a for a, b in zip(pings, pings[1:])),
                                     WATCHDOG_SECONDS / 2)

                program = os.path.join(kiosk.directory, "corvalen")
                pid = int(subprocess.run(["pgrep", "-xf", program], capture_output=True,
                                         text=True, check=True).stdout.split()[0])
                os.kill(pid, signal.SIGSTOP)
                try:
                    receive(sock, 0.2)  # what was on its way
                    self.assertFalse([text for _, text in receive(sock, WATCHDOG_SECONDS)
                                      if "WATCHDOG=1" in text], "a stopped program pings")
                finally:
                    os.kill(pid, signal.SIGCONT)
                self.assertEqual(kiosk.exit_with("x"), 0)

    def test_metrics_file(self):
        from prometheus_client.parser import text_string_to_metric_families
        # A link to a site not allowed.
        home = (b"<!doctype html><title>home</title><a href='http://127.0.0.2:8080/'>elsewhere</a>"
                b"<script>addEventListener('load', () => fetch('/done'));</script>")
        with tempfile.TemporaryDirectory() as tmp, Display() as display, \
                PageServer({"/home.html": ("text/html", home)}) as server:
            path = os.path.join(tmp, "corvalen.prom")
            # Every write to the file's name: it must only ever be renamed onto.
            watch = subprocess.Popen(["inotifywait", "-m", "-q", "-e", "create,modify,close_write,"
                                      "moved_to", "--format", "%e %f", tmp],
                                     stdout=subprocess.PIPE, text=True)
            self.addCleanup(watch.kill)
            time.sleep(0.5)
            settings = (f"[Options]\nHomepage={server.url('/home.html?q=a+visitor')}\n"
                        f"Password=x\n[AllowedSites]\nhere=127.0.0.1:{server.port}\n"
                        "[Session]\nIdleReset=10\nIdleWarning=0\n"
                        f"[Fleet]\nMetricsFile={path}\nMetricsInterval=1\n")

            def metrics():
                with open(path, encoding="utf-8") as f:
                    return {sample.name: sample for family in
                            text_string_to_metric_families(f.read()) for sample in family.samples}
            with Kiosk(display, settings) as kiosk:
                self.assertTrue(server.wait_for("/done", 60), kiosk.output())
                display.click(40, 50)  # input, and one refused navigation
                self.assertTrue(wait_until(lambda: metrics()["corvalen_in_use"].value == 1, 10))
                # The session ends ten seconds later, and the home page loads again.
                self.assertTrue(server.wait_for("/done", 30, count=2), kiosk.output())
                self.assertTrue(wait_until(
                    lambda: (metrics()["corvalen_sessions_ended_total"].value,
                             metrics()["corvalen_loads_total"].value) == (1, 2), 10))
                found = metrics()
                for name, value in (("corvalen_refused_navigations_total", 1),
                                    ("corvalen_loading", 0),
                                    ("corvalen_failed_loads_total", 0),
                                    ("corvalen_web_process_crashes_total", 0)):
                    self.assertEqual(found[name].value, value, name)
                self.assertGreater(found["corvalen_idle_seconds"].value, 9)
                self.assertGreater(found["corvalen_web_process_memory_bytes"].value, 1e6)
                self.assertAlmostEqual(found["corvalen_start_time_seconds"].value, time.time(),
                                       delta=120)
                self.assertEqual(found["corvalen_info"].labels["origin"],
                                 f"http://127.0.0.1:{server.port}", "only the site")
                self.assertEqual(kiosk.exit_with("x"), 0)
            watch.terminate()
            events = [line.split()[0] for line in watch.communicate(timeout=10)[0].splitlines()
                      if line.split()[-1] == "corvalen.prom"]
            self.assertTrue(events)
            self.assertEqual(set(events), {"MOVED_TO"}, "never written in place")


if __name__ == "__main__":
    unittest.main()
