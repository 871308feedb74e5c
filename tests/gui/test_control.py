# SPDX-License-Identifier: MIT
"""The remote control on a private system bus that loads the package's bus
policy, through corvalenctl as an operator's script would use it."""

import os
import subprocess
import tempfile
import time
import unittest

from kiosk import PROGRAM, Display, Image, Kiosk, PageServer, colour_close, wait_until

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
POLICY = os.path.join(ROOT, "packaging", "org.corvalen.Kiosk1.conf")
CTL = os.path.join(os.path.dirname(PROGRAM), "corvalenctl")
BLUE = (0x33, 0x66, 0xcc)
PAGE = (b"<!doctype html><body style='background: #3366cc'>"
        b"<script>addEventListener('load', () => fetch('/done'));</script>")

# A system bus as Debian's, in short: anyone may connect; nobody may call
# or own a name unless a policy says so.
BUS = """<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_destination="org.freedesktop.DBus"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
  </policy>
  <include>{policy}</include>
</busconfig>
"""


class ControlTest(unittest.TestCase):
    def ctl(self, *args, user=None):
        command = [CTL, *args]
        if user:
            command = ["setpriv", f"--reuid={user}", "--regid=nogroup", "--clear-groups"] + command
        return subprocess.run(command, env={**os.environ, "DBUS_SYSTEM_BUS_ADDRESS": self.bus},
                              capture_output=True, text=True, timeout=60)

    def status(self):
        done = self.ctl("status")
        return dict(line.split("=", 1) for line in done.stdout.splitlines()) \
            if done.returncode == 0 else {}

    def test_an_operator_controls_the_kiosk(self):
        tmp = self.enterContext(tempfile.TemporaryDirectory())
        os.chmod(tmp, 0o755)  # the bus's socket, for a caller outside the group
        socket = os.path.join(tmp, "system_bus_socket")
        with open(os.path.join(tmp, "bus.conf"), "w", encoding="utf-8") as f:
            f.write(BUS.format(socket=socket, policy=POLICY))
        daemon = subprocess.Popen(["dbus-daemon", "--nofork", "--config-file",
                                   os.path.join(tmp, "bus.conf")])
        self.addCleanup(daemon.wait)
        self.addCleanup(daemon.terminate)
        self.bus = f"unix:path={socket}"
        self.assertTrue(wait_until(lambda: os.path.exists(socket), 10))
        monitor = subprocess.Popen(["gdbus", "monitor", "--system", "--dest",
                                    "org.corvalen.Kiosk1"], stdout=subprocess.PIPE, text=True,
                                   env={**os.environ, "DBUS_SYSTEM_BUS_ADDRESS": self.bus})
        self.addCleanup(monitor.kill)

        display = self.enterContext(Display())
        server = self.enterContext(PageServer({"/home.html": ("text/html", PAGE),
                                               "/other.html": ("text/html", PAGE)}))
        settings = (f"[Options]\nHomepage={server.url('/home.html')}\nPassword=x\n"
                    f"[AllowedSites]\nhere=127.0.0.1:{server.port}\n")
        kiosk = self.enterContext(Kiosk(display, settings,
                                        env={"DBUS_SYSTEM_BUS_ADDRESS": self.bus}))
        self.assertTrue(server.wait_for("/done", 60), kiosk.output())
        self.assertTrue(wait_until(lambda: self.status().get("Loads") == "1", 20),
                        self.ctl("status").stderr + kiosk.output())
        status = self.status()
        self.assertEqual(status["Origin"], f"http://127.0.0.1:{server.port}")
        self.assertEqual((status["InUse"], status["SessionsEnded"]), ("no", "0"))

        # Each command, seen by the page server.
        for args, path, count in ((["open", server.url("/other.html")], "/other.html", 1),
                                  (["reload"], "/other.html", 2),
                                  (["home"], "/home.html", 2),
                                  (["end-session"], "/home.html", 3)):
            done = self.ctl(*args)
            self.assertEqual((done.returncode, done.stderr), (0, ""), args)
            self.assertTrue(server.wait_for(path, 30, count=count), (args, server.requests))
        self.assertTrue(wait_until(lambda: self.status().get("SessionsEnded") == "1", 10))

        # An address off the allowed sites: an error, and the page stays.
        refused = self.ctl("open", "http://127.0.0.2:8080/")
        self.assertEqual(refused.returncode, 1)
        self.assertEqual(len(refused.stderr.splitlines()), 1, refused.stderr)
        self.assertIn("may not show", refused.stderr)
        self.assertEqual(self.status()["RefusedNavigations"], "0", "the visitor sees nothing")

        # A message over the page, in the kiosk's own screenshot.
        self.assertEqual(self.ctl("message", "The library closes in 10 minutes", "30")
                         .returncode, 0)
        shot_path = os.path.join(tmp, "shot.png")
        time.sleep(1)
        done = self.ctl("screenshot", shot_path)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        shot = Image.load(shot_path)
        self.assertEqual((shot.width, shot.height), (1024, 768))
        self.assertTrue(colour_close(shot.pixel(600, 600), BLUE), "the page")
        text = shot.text((100, 344, 824, 80))
        self.assertIn("library closes", text.lower())

        # Nobody outside root and the group: not even a status.
        for args in (["home"], ["status"]):
            outsider = self.ctl(*args, user="nobody")
            self.assertEqual(outsider.returncode, 1, outsider.stdout)
            self.assertEqual(len(outsider.stderr.splitlines()), 1, outsider.stderr)
        self.assertEqual(server.count("/home.html"), 3)
        self.assertIn("called on the system bus by root (uid 0)", kiosk.output())

        # No port of the kiosk's listens: the bus is the only way in.
        tree = subprocess.run(["pgrep", "-s", str(kiosk.process.pid)], capture_output=True,
                              text=True).stdout.split()
        listening = subprocess.run(["ss", "-H", "-lntup"], capture_output=True,
                                   text=True).stdout
        self.assertFalse([line for line in listening.splitlines()
                          if any(f"pid={pid}," in line for pid in tree)], listening)
        self.assertEqual(kiosk.exit_with("x"), 0)
        monitor.kill()
        signals = monitor.communicate(timeout=10)[0]
        self.assertIn("PropertiesChanged", signals)
        self.assertIn("'SessionsEnded': <uint64 1>", signals)


if __name__ == "__main__":
    unittest.main()
