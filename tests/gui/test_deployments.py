# SPDX-License-Identifier: MIT
"""The exit flow and the keyboard on each deployment: a bare X server, a
stacking window manager (openbox) and the cage Wayland compositor. The same
checks run on each, with real pointer and key events and screenshots."""

import os
import time
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, PageServer, button_centre,
                   colour_close, wait_until)

SETUPS = tuple(os.environ.get("CORVALEN_SETUPS", "bare openbox cage").split())
PASSWORD = "Geheim"
PAGE_COLOUR = (0x33, 0x66, 0xCC)
EXIT_BUTTON = button_centre("end")
CLIENT = (304, 88)  # the password dialog's client area
MESSAGE_CLIENT = (260, 100)  # the message box's
OK = (208, 48, 81, 25)  # in the client area
CANCEL = (120, 48, 81, 25)
PAGE = b"""<!doctype html><html><body style="margin: 0; background: #3366cc">
<script>addEventListener('load', () => fetch('/done'));</script></body></html>"""


def light(rgb):
    """Dialog surfaces are light grey or white; the page is blue and window
    shadows are darker."""
    return min(rgb) > 180


class DeploymentTest(unittest.TestCase):
    def start(self, setup, more_settings=""):
        """The kiosk on its home page under the given set-up."""
        display = Display(window_manager=setup == "openbox").__enter__()
        self.addCleanup(display.__exit__, None, None, None)
        server = PageServer({"/home.html": ("text/html", PAGE),
                             "/done": ("text/plain", b"ok")}).__enter__()
        self.addCleanup(server.__exit__, None, None, None)
        settings = (f"[Options]\nHomepage={server.url('/home.html')}\nPassword={PASSWORD}\n"
                    + more_settings)
        kiosk = Kiosk(display, settings, cage=setup == "cage").__enter__()
        self.addCleanup(kiosk.__exit__, None, None, None)
        self.assertTrue(server.wait_for("/done", 60), kiosk.output())
        self.assertTrue(wait_until(lambda: colour_close(
            display.screenshot(f"{setup}-home").pixel(SCREEN_WIDTH // 2, SCREEN_HEIGHT - 2),
            PAGE_COLOUR), 30), "the home page fills the screen")
        self.display, self.kiosk, self.setup, self.server = display, kiosk, setup, server

    def dialog(self, name):
        """The screenshot and the box of the dialog on top, or (shot, None)."""
        shot = self.display.screenshot(f"{self.setup}-{name}")
        return shot, shot.box_of(light, top=40)

    def assert_exit_dialog(self, name, client=CLIENT):
        """A dialog is shown centred above the main window, titled Afsluiten,
        with a client area of that size under its title bar; returns its box."""
        def shown():
            shot, box = self.dialog(name)
            return (shot, box) if box and box[2] - client[0] in (0, 2) else None

        shot, box = wait_until(shown, 10) or (None, None)
        self.assertIsNotNone(box, f"{self.setup}: no dialog of width {client[0]} on top")
        x, y, width, height = box
        self.assertLessEqual(abs(2 * x + width - SCREEN_WIDTH), 2, f"{self.setup}: {box}")
        self.assertLessEqual(abs(2 * y + height - SCREEN_HEIGHT), 2, f"{self.setup}: {box}")
        title_bar = height - client[1] - (width - client[0])
        self.assertGreaterEqual(title_bar, 20, f"{self.setup}: a title bar over {client}")
        self.assertIn("Afsluiten", shot.text((x, y, width, title_bar)), self.setup)
        return box

    def client_rect(self, box, rect):
        border = (box[2] - CLIENT[0]) // 2
        left, top = box[0] + border, box[1] + box[3] - border - CLIENT[1]
        return (left + rect[0], top + rect[1], rect[2], rect[3])

    def crop(self, shot, rect):
        x, y, width, height = rect
        return [shot.pixel(x + i, y + j) for j in range(height) for i in range(width)]

    def test_exit_dialog_stays_on_top(self):
        for setup in SETUPS:
            with self.subTest(setup):
                self.start(setup)
                # A wrong password first: the message box, then the dialog again.
                self.display.click(*EXIT_BUTTON)
                self.assert_exit_dialog("dialog-first")
                self.display.run("xdotool", "type", "--delay", "30", "wrong")
                self.display.run("xdotool", "key", "Return")
                self.assert_exit_dialog("message", MESSAGE_CLIENT)
                self.display.run("xdotool", "key", "Return")
                self.display.click(*EXIT_BUTTON)
                box = self.assert_exit_dialog("dialog")
                # A click on the page neither raises the main window over the
                # dialog nor takes the keyboard from it.
                self.display.click(200, SCREEN_HEIGHT - 100)
                self.assertEqual(self.assert_exit_dialog("dialog-after-click"), box)
                self.display.run("xdotool", "type", "--delay", "30", PASSWORD)
                self.display.run("xdotool", "key", "Return")
                self.assertEqual(self.kiosk.exit_status(), 0, self.setup)

    def test_keyboard_alone(self):
        for setup in SETUPS:
            with self.subTest(setup):
                self.start(setup)
                # The page has nothing to focus: the first Tab leaves it for
                # the first button, the sixth reaches exit.
                for _ in range(6):
                    self.display.run("xdotool", "key", "Tab")
                self.display.run("xdotool", "key", "Return")
                box = self.assert_exit_dialog("keyboard-dialog")
                # Text box, then OK, then Annuleren, then the text box again.
                ok, cancel = self.client_rect(box, OK), self.client_rect(box, CANCEL)
                shots = []
                for step in range(3):
                    def buttons(name=f"{setup}-tab-{step}"):
                        shot = self.display.screenshot(name)
                        return (self.crop(shot, ok), self.crop(shot, cancel))

                    def drawn():
                        # The same in two screenshots in a row, and changed by
                        # the Tab before (if any).
                        first = buttons()
                        return first if first == buttons() and (
                            not shots or first != shots[-1]) else None

                    shots.append(wait_until(drawn, 5) or buttons())
                    self.display.run("xdotool", "key", "Tab")
                (ok0, cancel0), (ok1, cancel1), (ok2, cancel2) = shots
                self.assertTrue(ok1 != ok0 and cancel1 == cancel0,
                                f"{setup}: OK follows the text box")
                self.assertTrue(cancel2 != cancel0 and ok2 == ok0,
                                f"{setup}: Annuleren follows OK")
                self.display.run("xdotool", "type", "--delay", "30", PASSWORD)
                self.display.run("xdotool", "key", "Return")
                self.assertEqual(self.kiosk.exit_status(), 0,
                                 f"{setup}: the third Tab leads back to the text box")

    def page_dimmed(self, name):
        """Whether the idle notice dims the page, seen beside its card."""
        rgb = self.display.screenshot(f"{self.setup}-{name}").pixel(100, SCREEN_HEIGHT - 100)
        return colour_close(rgb, tuple(round(c * 0.4) for c in PAGE_COLOUR), 12)

    def test_idle_reset_closes_the_exit_dialog(self):
        for setup in SETUPS:
            with self.subTest(setup):
                self.start(setup, "[Session]\nIdleReset=10\nIdleWarning=4\n")
                # A move across the page: under cage the first step only
                # brings the pointer in.
                self.display.move_pointer(300, 300)
                self.display.move_pointer(320, 310)
                self.assertTrue(wait_until(lambda: self.page_dimmed("notice"), 10), setup)
                # A click dismisses the notice and does nothing else.
                self.display.click(*EXIT_BUTTON)
                self.assertTrue(wait_until(lambda: not self.page_dimmed("dismissed"), 2), setup)
                self.assertIsNone(self.dialog("no-dialog")[1], setup)
                # The session ends under an open exit dialog: the dialog
                # closes, no message follows, the home page loads afresh.
                self.display.click(*EXIT_BUTTON)
                self.assert_exit_dialog("idle-dialog")
                self.display.run("xdotool", "type", "--delay", "30", PASSWORD)
                self.assertTrue(wait_until(lambda: self.server.count("/done") == 2, 15), setup)
                self.assertTrue(wait_until(lambda: self.dialog("after-reset")[1] is None, 10),
                                setup)
                # A message would follow the closed dialog at once.
                time.sleep(0.5)
                self.assertIsNone(self.dialog("after-reset")[1], setup)
                self.assertIsNone(self.kiosk.process.poll(), setup)
                self.display.click(*EXIT_BUTTON)
                self.assert_exit_dialog("exit-after-reset")
                self.display.run("xdotool", "type", "--delay", "30", PASSWORD)
                self.display.run("xdotool", "key", "Return")
                self.assertEqual(self.kiosk.exit_status(), 0, setup)


if __name__ == "__main__":
    unittest.main()
