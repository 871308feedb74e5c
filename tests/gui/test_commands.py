# SPDX-License-Identifier: MIT
"""The toolbar's commands and the password-guarded exit, driven with real
pointer clicks and key presses."""

import subprocess
import time
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, PageServer, button_centre,
                   colour_close, wait_until)

CENTRE = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
# Centred on 1024 x 768: a 304 x 88 client area under a 31-pixel title bar, in
# a 1-pixel frame.
DIALOG = (359, 323, 306, 121)
CLIENT = (1, 32)  # the client area's top-left corner in the window
ENTRY = (359 + 1 + 104, 323 + 32 + 16, 185, 19)
OK = (208 + 40, 48 + 12)  # button centres in the client area
CANCEL = (120 + 40, 48 + 12)
PASSWORD = "Geheim wachtwoord"
SLOW = 2  # seconds before /slow.html is answered

COLOURS = {"a": (0xCC, 0x33, 0x33), "b": (0x33, 0xAA, 0x33), "c": (0x33, 0x33, 0xCC),
           "slow": (0xEE, 0xEE, 0x00)}
LINKS = {"a": "/b.html", "b": "/c.html", "c": "/slow.html", "slow": "/a.html"}


def page(name):
    """A page in its own colour; a click anywhere follows its one link."""
    colour = "#%02x%02x%02x" % COLOURS[name]
    return ("text/html", f"""<!doctype html><html><head><style>
html, body {{ margin: 0; height: 100%; background: {colour}; }}
a {{ position: fixed; inset: 0; }}</style></head>
<body><a href="{LINKS[name]}"></a>
<script>addEventListener('load', () => fetch('/done-{name}'));</script></body></html>""".encode())


def site():
    """The pages, with /slow.html answered only after a few seconds: a load
    to stop."""
    pages = {f"/{name}.html": page(name) for name in COLOURS}
    pages.update({f"/done-{name}": ("text/plain", b"ok") for name in COLOURS})
    return PageServer(pages, delays={"/slow.html": SLOW})


class CommandsTest(unittest.TestCase):
    def click_button(self, name):
        self.display.click(*button_centre(name))
        self.display.move_pointer(*CENTRE)

    def shows(self, name, timeout=10):
        """Waits until the page in the view has the page's colour."""
        return wait_until(lambda: colour_close(self.display.screenshot("view").pixel(*CENTRE),
                                               COLOURS[name]), timeout)

    def dialog_geometry(self):
        """The password dialog's box, once it is drawn (its window can be found
        before): the middle of its text box is light."""
        x0, y0, w, h = ENTRY

        def drawn():
            box = self.display.window_geometry("Afsluiten")
            if box and min(self.display.screenshot("dialog").pixel(x0 + w // 2,
                                                                   y0 + h // 2)) > 180:
                return box
            return None

        return wait_until(drawn, 10)

    def no_dialog(self):
        return wait_until(lambda: self.display.window_geometry("Afsluiten") is None, 10)

    def entry_pixels(self, name):
        """The text box's inside, once two screenshots in a row agree (what
        was typed is drawn)."""
        def inside():
            shot = self.display.screenshot(name)
            x0, y0, w, h = ENTRY
            return [shot.pixel(x, y) for y in range(y0 + 2, y0 + h - 2)
                    for x in range(x0 + 2, x0 + w - 2)]

        last = [inside()]

        def settled():
            now = inside()
            same, last[0] = now == last[0], now
            return same

        wait_until(settled, 5)
        return last[0]

    def test_navigation_and_exit(self):
        with Display() as self.display, site() as server:
            settings = f"[Options]\nHomepage={server.url('/a.html')}\nPassword={PASSWORD}\n"
            with Kiosk(self.display, settings) as kiosk:
                self.assertTrue(server.wait_for("/done-a"), kiosk.output())
                self.assertTrue(self.shows("a"))
                self.display.click(*CENTRE)
                self.assertTrue(self.shows("b"))
                self.display.click(*CENTRE)
                self.assertTrue(self.shows("c"))

                # A page that is slow to come, stopped before it arrives.
                self.display.click(*CENTRE)
                asked = server.wait_for("/slow.html")
                self.assertTrue(asked)
                self.click_button("stop")
                # Past the moment the page arrives, and the time it would take
                # to load and report.
                time.sleep(max(0.0, asked + SLOW + 1 - time.monotonic()))
                self.assertTrue(self.shows("c"))
                self.assertFalse(server.requested("/done-slow"))

                self.click_button("back")
                self.assertTrue(self.shows("b"))
                self.click_button("back")
                self.assertTrue(self.shows("a"))
                self.click_button("forward")
                self.assertTrue(self.shows("b"))
                before = server.count("/a.html")
                self.click_button("home")
                self.assertTrue(self.shows("a"))
                self.assertTrue(wait_until(lambda: server.count("/a.html") == before + 1, 10))
                self.click_button("refresh")
                self.assertTrue(wait_until(lambda: server.count("/a.html") == before + 2, 10),
                                "refresh loads the page again")

                # A wrong password: the dialog, then the message, then the same page.
                requests = len(server.requests)
                self.click_button("end")
                self.assertEqual(self.dialog_geometry(), DIALOG, "centred on the screen")
                # Modal: the main window takes no clicks meanwhile.
                self.display.click(*button_centre("home"))
                self.display.run("xdotool", "type", "--delay", "50", "WWW")
                masked_w = self.entry_pixels("typed-www")
                self.display.run("xdotool", "key", "ctrl+a", "BackSpace")
                empty = self.entry_pixels("typed-nothing")
                self.display.run("xdotool", "type", "--delay", "50", "iii")
                masked_i = self.entry_pixels("typed-iii")
                # (Compared as truth values: a diff of the pixel lists takes minutes.)
                self.assertTrue(masked_w == masked_i, "every character shows as the same mask")
                self.assertTrue(masked_w != empty, "the typed text shows")
                self.display.run("xdotool", "key", "Return")
                box = wait_until(lambda: (lambda g: g if g and g[2:] != DIALOG[2:] else None)(
                    self.display.window_geometry("Afsluiten")), 10)
                self.assertIsNotNone(box, "a message box titled Afsluiten")
                shot = self.display.screenshot("password-incorrect")
                reds = sum(colour_close(shot.pixel(x, y), (0xD4, 0x2E, 0x2E), 30)
                           for y in range(box[1], box[1] + box[3])
                           for x in range(box[0], box[0] + box[2]))
                self.assertGreater(reds, 200, "the error sign is shown")
                self.display.run("xdotool", "key", "Return")
                self.assertTrue(self.no_dialog())
                self.assertTrue(self.shows("a"))
                self.assertEqual(len(server.requests), requests, "the browser is left as it was")
                self.assertIsNone(kiosk.process.poll())

                # The pointer on OK or Annuleren, with near misses.
                for typed, button in ((PASSWORD.upper(), OK), (" " + PASSWORD, CANCEL),
                                      (PASSWORD + " ", OK)):
                    self.click_button("end")
                    dialog = self.dialog_geometry()
                    self.assertEqual(dialog, DIALOG, "centred again, though moved last time")
                    self.assertTrue(self.entry_pixels("next-attempt") == empty, "starts empty")
                    self.display.run("xdotool", "type", "--delay", "20", typed)
                    self.display.run("xdotool", "search", "--onlyvisible", "--name", "^Afsluiten$",
                                     "windowmove", "%@", "10", "10")
                    self.assertTrue(wait_until(lambda: (self.display.window_geometry(
                        "Afsluiten") or (0, 0))[:2] == (10, 10), 10), "moved")
                    self.display.click(10 + CLIENT[0] + button[0], 10 + CLIENT[1] + button[1])
                    self.assertIsNotNone(wait_until(
                        lambda: (lambda g: g if g and g[2:] != DIALOG[2:] else None)(
                            self.display.window_geometry("Afsluiten")), 10), typed)
                    self.display.run("xdotool", "key", "Return")
                    self.assertTrue(self.no_dialog())

                # Annuleren with the right password still ends the program.
                self.click_button("end")
                self.assertEqual(self.dialog_geometry(), DIALOG)
                self.assertTrue(self.entry_pixels("second-attempt") == empty, "starts empty")
                self.display.run("xdotool", "type", "--delay", "20", PASSWORD)
                self.display.run("xdotool", "key", "Escape")
                started = time.monotonic()
                self.assertEqual(kiosk.process.wait(timeout=10), 0)
                self.assertLess(time.monotonic() - started, 1.0)


class WindowManagerTest(unittest.TestCase):
    """Under a window manager: full screen, a centred dialog with a close box,
    and closing the dialog counts as an empty entry."""

    def run_with_window_manager(self, password):
        display = Display(window_manager=True).__enter__()
        self.addCleanup(display.__exit__, None, None, None)
        kiosk = Kiosk(display, f"[Options]\nPassword={password}\n").__enter__()
        self.addCleanup(kiosk.__exit__, None, None, None)
        self.assertTrue(wait_until(lambda: kiosk.wait_for_window(1) == (0, 0, SCREEN_WIDTH,
                                                                         SCREEN_HEIGHT), 20))
        self.assertTrue(kiosk.toolbar_shown())
        display.click(*button_centre("end"))
        dialog = wait_until(lambda: display.window_geometry("Afsluiten"), 10)
        self.assertIsNotNone(dialog)
        for got, want in zip(dialog, DIALOG):
            self.assertAlmostEqual(got, want, delta=30, msg=f"centred: {dialog}")
        display.run("xdotool", "type", "typed before closing")
        return display, kiosk, dialog

    def test_closed_dialog_with_password_set(self):
        # The close box of the dialog's own title bar.
        display, kiosk, dialog = self.run_with_window_manager(PASSWORD)
        display.click(dialog[0] + dialog[2] - 16, dialog[1] + 16)
        box = wait_until(lambda: (lambda g: g if g and g[2:] != DIALOG[2:] else None)(
            display.window_geometry("Afsluiten")), 10)
        self.assertIsNotNone(box, "Password incorrect")
        display.run("xdotool", "key", "Return")
        self.assertTrue(wait_until(lambda: display.window_geometry("Afsluiten") is None, 10))
        # An exit would follow the message at once.
        with self.assertRaises(subprocess.TimeoutExpired, msg="the program stays"):
            kiosk.process.wait(timeout=0.5)

    def test_closed_dialog_with_empty_password(self):
        # The window manager's close shortcut.
        display, kiosk, _ = self.run_with_window_manager("")
        display.run("xdotool", "key", "alt+F4")
        self.assertEqual(kiosk.process.wait(timeout=10), 0)

    def test_close_request_to_the_main_window_during_the_dialog(self):
        display, kiosk, _ = self.run_with_window_manager(PASSWORD)
        main = display.run("xdotool", "search", "--onlyvisible", "--name", "^Corvalen$").split()[0]
        display.run("wmctrl", "-i", "-c", main)
        self.assertEqual(kiosk.process.wait(timeout=10), 1, "ends as without the dialog")


if __name__ == "__main__":
    unittest.main()
