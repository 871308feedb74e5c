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

from kiosk import Display, Kiosk, PageServer

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
                self.assertIn(f"STATUS=showing http://127.0.0.1:{server.port}\n", ready + "\n")
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


if __name__ == "__main__":
    unittest.main()
