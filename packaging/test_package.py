#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks the Debian package: its file list and control fields, lintian and
the bare X session's server arguments. With CORVALEN_TEST_INSTALL=1 it also
installs it for real: the installed program reading its settings from
/usr/lib/corvalen/corvalen.ini, and the kiosk under cage as the corvalen user;
it purges the package afterwards. Usage: test_package.py PACKAGE.deb"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

REPOSITORY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(REPOSITORY, "tests", "gui"))
# The toolbar's pictures, to find them in a screenshot.
os.environ.setdefault("CORVALEN_ASSETS", os.path.join(REPOSITORY, "assets"))
from kiosk import (Display, Image, Kiosk, PageServer, picture_corner, toolbar_picture,  # noqa: E402
                   wait_until)

PACKAGE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
PAGE = ("text/html", b"<!doctype html><html><body style='background:#3366cc'>"
        b"<script>addEventListener('load', () => fetch('/done'))</script></body></html>")

EXPECTED_FILES = [
    "./etc/X11/corvalen-kiosk.conf",
    "./etc/corvalen/corvalen.ini",
    "./usr/bin/corvalen -> ../lib/corvalen/corvalen",
    "./usr/bin/corvalen-ini -> ../lib/corvalen/corvalen-ini",
    "./usr/bin/corvalenctl -> ../lib/corvalen/corvalenctl",
    "./usr/lib/corvalen/corvalen",
    "./usr/lib/corvalen/corvalen-ini",
    "./usr/lib/corvalen/corvalen-session",
    "./usr/lib/corvalen/corvalen-print",
    "./usr/lib/corvalen/corvalenctl",
    "./usr/lib/corvalen/corvalen.ini -> /etc/corvalen/corvalen.ini",
    "./usr/lib/systemd/system/corvalen-kiosk.service",
    "./usr/lib/systemd/system/corvalen-kiosk-x11.service",
    "./usr/share/applications/corvalen.desktop",
    "./usr/share/dbus-1/system.d/org.corvalen.Kiosk1.conf",
    "./usr/share/doc/corvalen/changelog.gz",
    "./usr/share/doc/corvalen/configuration.md.gz",
    "./usr/share/doc/corvalen/copyright",
    "./usr/share/doc/corvalen/corvalen.ini.example",
    "./usr/share/doc/corvalen/security.md.gz",
    "./usr/share/doc/corvalen/terminals.md.gz",
    "./usr/share/icons/hicolor/16x16/apps/corvalen.png",
    "./usr/share/icons/hicolor/32x32/apps/corvalen.png",
    "./usr/share/man/man1/corvalen-ini.1.gz",
    "./usr/share/man/man1/corvalen.1.gz",
    "./usr/share/man/man1/corvalenctl.1.gz",
]


def stand_in_settings(bin_dir, password="", password_hash=""):
    """A corvalen-ini in bin_dir that answers get Options with these values."""
    path = os.path.join(bin_dir, "corvalen-ini")
    with open(path, "w", encoding="ascii") as f:
        f.write(f"""#!/bin/sh
case "$3" in
  Password) echo '{password}' ;;
  PasswordHash) echo '{password_hash}' ;;
  *) echo "$4" ;;
esac
""")
    os.chmod(path, 0o755)


def run(*args, **kwargs):
    return subprocess.run(list(args), capture_output=True, text=True, check=True, **kwargs).stdout


class PackageFiles(unittest.TestCase):
    def test_file_list(self):
        listing = run("dpkg-deb", "--contents", PACKAGE)
        files = sorted(" ".join(line.split()[5:]) for line in listing.splitlines()
                       if not line.startswith("d"))
        self.assertEqual(files, sorted(EXPECTED_FILES))

    def test_control_fields(self):
        fields = {name: run("dpkg-deb", "--field", PACKAGE, name).strip()
                  for name in ("Package", "Architecture", "Section", "Depends", "Recommends")}
        self.assertEqual(fields["Package"], "corvalen")
        self.assertEqual(fields["Architecture"], "amd64")
        self.assertEqual(fields["Section"], "web")
        self.assertEqual(fields["Recommends"], "cage, xwayland, speech-dispatcher, "
                                               "speech-dispatcher-espeak-ng, espeak-ng")
        for dependency in ("adduser", "dbus", "libwebkitgtk-6.0-4", "libgtkmm-4.0-0", "libc6",
                           "libcups2", "libpoppler-glib8"):
            self.assertIn(dependency, fields["Depends"])

    def test_bare_x_session_keeps_visitors_on_its_terminal(self):
        # The session script's X server arguments, through a stand-in xinit.
        here = os.path.dirname(os.path.abspath(__file__))
        with tempfile.TemporaryDirectory() as bin_dir:
            xinit = os.path.join(bin_dir, "xinit")
            with open(xinit, "w", encoding="ascii") as f:
                f.write('#!/bin/sh\nprintf "%s\\n" "$@" > "$(dirname "$0")/arguments"\n')
            os.chmod(xinit, 0o755)
            stand_in_settings(bin_dir, password="geheim")
            subprocess.run([os.path.join(here, "corvalen-session"), "x11"],
                           env={"PATH": f"{bin_dir}:/usr/bin:/bin"}, capture_output=True)
            with open(os.path.join(bin_dir, "arguments"), encoding="ascii") as f:
                server = f.read().split("\n--\n", 1)[1].split()
        self.assertEqual(server[:2], [":0", "vt1"])
        for argument in ("-novtswitch", "-nolisten"):
            self.assertIn(argument, server)
        config = server[server.index("-config") + 1]
        self.assertFalse(os.path.isabs(config), "an unprivileged server takes only relative ones")
        self.assertIn(f"./etc/X11/{config}", EXPECTED_FILES)
        with open(os.path.join(here, "corvalen-kiosk-xorg.conf"), encoding="ascii") as f:
            flags = [" ".join(line.split()) for line in f if not line.lstrip().startswith("#")]
        for flag in ('Option "DontVTSwitch" "true"', 'Option "DontZap" "true"'):
            self.assertIn(flag, flags)

    def test_session_starts_only_with_an_exit_password(self):
        here = os.path.dirname(os.path.abspath(__file__))
        for password, hash_, starts in (("", "", False), ("geheim", "", True),
                                        ("", "$y$j9T$abc$def", True)):
            with self.subTest(password=password, hash=hash_), \
                    tempfile.TemporaryDirectory() as bin_dir:
                for server in ("cage", "xinit"):
                    with open(os.path.join(bin_dir, server), "w", encoding="ascii") as f:
                        f.write('#!/bin/sh\ntouch "$(dirname "$0")/started"\n')
                    os.chmod(os.path.join(bin_dir, server), 0o755)
                stand_in_settings(bin_dir, password, hash_)
                result = subprocess.run([os.path.join(here, "corvalen-session"), "cage"],
                                        env={"PATH": f"{bin_dir}:/usr/bin:/bin"},
                                        capture_output=True, text=True)
                self.assertEqual(os.path.exists(os.path.join(bin_dir, "started")), starts)
                if not starts:
                    self.assertEqual(result.returncode, 78)
                    self.assertIn("no exit password", result.stderr)
        # systemd does not restart a session refused so, and the unit's check
        # puts what is wrong in the journal without stopping the kiosk; the
        # program's readiness and watchdog pings are taken from any process
        # of the unit, since the session script is its main one.
        for unit in ("corvalen-kiosk.service", "corvalen-kiosk-x11.service"):
            with open(os.path.join(here, unit), encoding="ascii") as f:
                lines = f.read().splitlines()
            self.assertIn("RestartPreventExitStatus=78", lines, unit)
            self.assertIn("ExecStartPre=-/usr/lib/corvalen/corvalen-ini check", lines, unit)
            for line in ("Type=notify", "NotifyAccess=all", "WatchdogSec=30"):
                self.assertIn(line, lines, unit)

    def test_lintian_finds_no_error(self):
        result = subprocess.run(["lintian", "--tag-display-limit", "0", PACKAGE],
                                capture_output=True, text=True)
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [])


@unittest.skipUnless(os.environ.get("CORVALEN_TEST_INSTALL") == "1",
                     "installs the package for real and purges it: set CORVALEN_TEST_INSTALL=1")
class InstalledPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        env = {**os.environ, "DEBIAN_FRONTEND": "noninteractive"}
        run("apt-get", "install", "-y", "-q", "--no-install-recommends", PACKAGE, env=env)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["apt-get", "purge", "-y", "-q", "corvalen"], capture_output=True,
                       env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})

    def test_user_and_settings_permissions(self):
        run("id", "corvalen")
        # The remote control's callers; the kiosk's own user is not one.
        run("getent", "group", "corvalen-admin")
        self.assertNotIn("corvalen-admin", run("id", "-nG", "corvalen").split())
        stat = os.stat("/etc/corvalen/corvalen.ini")
        self.assertEqual(stat.st_mode & 0o777, 0o640)
        self.assertEqual(run("stat", "-c", "%U:%G", "/etc/corvalen/corvalen.ini").strip(),
                         "root:corvalen")

    def test_installed_program_reads_its_settings(self):
        with Display() as display, PageServer({"/home.html": PAGE, "/done": ("text/plain", b"")}) as server:
            run("corvalen-ini", "set", "Options", "Homepage", server.url("/home.html"))
            self.assertEqual(run("corvalen-ini", "get", "Options", "Homepage").strip(),
                             server.url("/home.html"))
            with open("/etc/corvalen/corvalen.ini", encoding="utf-8") as settings:
                self.assertIn(server.url("/home.html"), settings.read())
            with Kiosk(display, program="/usr/bin/corvalen") as kiosk:
                self.assertTrue(server.wait_for("/done"), kiosk.output())

    def run_under_cage(self, server):
        """Starts the installed kiosk as the corvalen user under cage with a
        headless output; returns (process, runtime directory, environment)."""
        run("corvalen-ini", "set", "Options", "Homepage", server.url("/home.html"))
        runtime = tempfile.mkdtemp(prefix="corvalen-cage-")
        shutil.chown(runtime, "corvalen", "corvalen")
        os.chmod(runtime, 0o700)
        env = ["env", f"XDG_RUNTIME_DIR={runtime}", "WLR_BACKENDS=headless",
               "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "GTK_A11Y=none",
               "HOME=/var/lib/corvalen", "PATH=/usr/bin:/bin"]
        cage = subprocess.Popen(["runuser", "-u", "corvalen", "--", *env, "dbus-run-session", "--",
                                 "cage", "--", "/usr/bin/corvalen"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)

        def stop():
            os.killpg(cage.pid, 15)
            cage.wait(timeout=10)
            shutil.rmtree(runtime, ignore_errors=True)

        self.addCleanup(stop)
        return runtime, env

    def test_kiosk_under_cage_as_the_corvalen_user(self):
        with PageServer({"/home.html": PAGE, "/done": ("text/plain", b"")}) as server:
            self.run_under_cage(server)
            self.assertTrue(server.wait_for("/done", 30), "the home page loads under cage")
            self.assertTrue(run("pgrep", "-u", "corvalen", "-x", "corvalen").split(),
                            "runs as the unprivileged user")

    def test_cage_screenshot_shows_the_toolbar(self):
        with PageServer({"/home.html": PAGE, "/done": ("text/plain", b"")}) as server:
            runtime, env = self.run_under_cage(server)
            self.assertTrue(server.wait_for("/done", 30))
            shot = os.path.join(runtime, "shot.png")

            def screenshot():
                subprocess.run(["runuser", "-u", "corvalen", "--", *env,
                                "WAYLAND_DISPLAY=wayland-0", "grim", shot], capture_output=True)
                return Image.load(shot)

            def toolbar_or_black():
                taken = screenshot()
                black = not any(taken.data)
                return taken if black or taken.matches_at(toolbar_picture(6),
                                                          *picture_corner("end")) else None

            # The page has loaded; the compositor shows it with its next frame.
            image = wait_until(toolbar_or_black, 10) or screenshot()
            if not any(image.data):
                self.skipTest("the headless compositor captured an all-black output here")
            self.assertTrue(image.matches_at(toolbar_picture(6), *picture_corner("end")), "toolbar")
            # The window fills the output: the toolbar runs to the right edge.
            self.assertEqual(image.pixel(image.width // 2, 16), image.pixel(image.width - 1, 16))

if __name__ == "__main__":
    unittest.main()
