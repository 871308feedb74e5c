# SPDX-License-Identifier: MIT
"""What an operator does first: the demo of scripts/run on a machine without a
graphical session, and an exit password stored as a hash by corvalen-ini."""

import os
import shutil
import subprocess
import tempfile
import unittest

from kiosk import (ARTIFACTS, PROGRAM, Display, Image, Kiosk, colour_close, picture_corner,
                   toolbar_picture)

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.path.join(os.path.dirname(PROGRAM), "corvalen-ini")
PASSWORD = "Nieuw wachtwoord 7"
DEMO_HEADER = (0x1F, 0x4E, 0x79)


class PasswdTest(unittest.TestCase):
    def test_hashed_password_ends_the_program(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "corvalen.ini")
            with open(path, "w", encoding="utf-8") as f:
                f.write("[Options]\nHomepage=about:blank\nPassword=oud\n")
            os.chmod(path, 0o640)
            result = subprocess.run([TOOL, "--file", path, "passwd", "--stdin"],
                                    input=PASSWORD + "\n", capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(path, encoding="utf-8") as f:
                settings = f.read()
            self.assertEqual(os.stat(path).st_mode & 0o777, 0o640)
        self.assertNotIn("Password=", settings)
        self.assertIn("PasswordHash=$y$", settings)
        self.assertNotIn(PASSWORD, settings)
        with Display() as display, Kiosk(display, settings) as kiosk:
            self.assertTrue(kiosk.wait_for_window(), kiosk.output())
            self.assertEqual(kiosk.exit_with(PASSWORD), 0, kiosk.output())
            self.assertEqual(kiosk.output().count("PasswordHash"), 0, "nothing reported")


class DemoTest(unittest.TestCase):
    def test_run_without_a_display_leaves_a_screenshot_of_the_demo(self):
        build = os.path.join(SOURCE, "build")
        if os.path.realpath(PROGRAM) != os.path.realpath(os.path.join(build, "bin", "corvalen")):
            self.skipTest("scripts/run works on build/, and this is another build tree")
        if os.path.exists(os.path.join(build, "bin", "corvalen.ini")):
            self.skipTest("build/bin/corvalen.ini exists: scripts/run starts with it, not the demo")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["CORVALEN_RUN_NO_BUILD"] = "1"
        shot = os.path.join(build, "corvalen-demo.png")
        result = subprocess.run([os.path.join(SOURCE, "scripts", "run")], env=env,
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"Screenshot: {shot}", result.stdout)
        self.assertIn("exit password is: demo", result.stdout)
        self.assertFalse(os.path.exists(os.path.join(build, "bin", "corvalen.ini")),
                         "the operator's settings file is never written")
        os.makedirs(ARTIFACTS, exist_ok=True)
        shutil.copy(shot, os.path.join(ARTIFACTS, "corvalen-demo.png"))
        image = Image.load(shot)
        self.assertEqual((image.width, image.height), (1024, 768))
        for button in ("back", "end"):
            self.assertTrue(image.matches_at(toolbar_picture(1 if button == "back" else 6),
                                             *picture_corner(button)), button)
        self.assertTrue(colour_close(image.pixel(900, 60), DEMO_HEADER), image.pixel(900, 60))
        self.assertIn("Corvalen", image.text((30, 40, 300, 60)))
        self.assertIn("second page", image.text((30, 355, 520, 35)))


if __name__ == "__main__":
    unittest.main()
