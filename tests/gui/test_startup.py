# SPDX-License-Identifier: MIT
"""Start-up as a visitor sees it: the window covers the screen, the toolbar
shows the buttons the settings leave on, and the home page fills the rest."""

import unittest

from kiosk import (BUTTON_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, PageServer,
                   colour_close, toolbar_picture, wait_until)

PAGE_COLOUR = (0x33, 0x66, 0xCC)
BAR_COLOUR = (0xFF, 0x00, 0x00)
BAR_HEIGHT = 6
TOOLBAR_HEIGHT = 32

# A page in one colour whose last rows, fixed to the bottom of the view, are
# red: they are visible only when nothing of the view lies below the screen.
HOME = b"""<!doctype html><html><head><style>
html, body { margin: 0; height: 100%; background: #3366cc; }
#bar { position: fixed; left: 0; right: 0; bottom: 0; height: 6px; background: #ff0000; }
</style></head><body><div id="bar"></div>
<script>addEventListener('load', () => fetch('/done'));</script></body></html>"""


def toolbar_layout(shot, test):
    """Picture index -> left edge of where it is seen in the toolbar."""
    found = {}
    for index in range(1, 7):
        places = shot.find(toolbar_picture(index), 6 * BUTTON_WIDTH, TOOLBAR_HEIGHT - 24 + 1)
        test.assertLessEqual(len(places), 1, f"picture {index} seen more than once")
        if places:
            found[index] = places[0][0]
    return found


class StartupTest(unittest.TestCase):
    def test_home_page_and_switched_off_buttons(self):
        with Display() as display, PageServer({"/home.html": ("text/html", HOME),
                                               "/done": ("text/plain", b"ok")}) as server:
            settings = (f"[Options]\nHomepage={server.url('/home.html')}\nPassword=secret\n"
                        "[Toolbar]\nBackEnabled=0\nStopEnabled=0\nRefreshEnabled=1\n")
            with Kiosk(display, settings) as kiosk:
                self.assertTrue(server.wait_for("/home.html"), kiosk.output())
                self.assertTrue(server.wait_for("/done"), "the home page did not finish loading")
                self.assertEqual(kiosk.wait_for_window(), (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT),
                                 "the window must cover the screen")
                display.move_pointer(SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)

                def rendered():
                    shot = display.screenshot("startup")
                    bottom = shot.pixel(SCREEN_WIDTH // 2, SCREEN_HEIGHT - 1)
                    return shot if colour_close(bottom, BAR_COLOUR) else None

                shot = wait_until(rendered, 15)
                self.assertIsNotNone(shot, "the page's bottom rows are not on the screen")
                for x in (0, SCREEN_WIDTH // 2, SCREEN_WIDTH - 1):
                    self.assertTrue(colour_close(shot.pixel(x, TOOLBAR_HEIGHT), PAGE_COLOUR))
                    self.assertTrue(colour_close(shot.pixel(x, SCREEN_HEIGHT - BAR_HEIGHT - 1),
                                                 PAGE_COLOUR))
                    for y in range(SCREEN_HEIGHT - BAR_HEIGHT, SCREEN_HEIGHT):
                        self.assertTrue(colour_close(shot.pixel(x, y), BAR_COLOUR), (x, y))
                    self.assertFalse(colour_close(shot.pixel(x, TOOLBAR_HEIGHT - 1), PAGE_COLOUR),
                                     "the page starts below the toolbar")

                layout = toolbar_layout(shot, self)
                self.assertEqual(sorted(layout), [2, 4, 5, 6], "forward, refresh, home, end")
                lefts = [layout[i] for i in (2, 4, 5, 6)]
                self.assertEqual(lefts, [lefts[0] + BUTTON_WIDTH * n for n in range(4)],
                                 "the buttons keep their order and close up")
                self.assertLess(lefts[0], BUTTON_WIDTH)

    def test_without_settings_all_six_buttons(self):
        with Display() as display, Kiosk(display) as kiosk:
            self.assertEqual(kiosk.wait_for_window(), (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT))
            display.move_pointer(SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)

            def rendered():
                # about:blank paints white once the web process is up.
                shot = display.screenshot("no-settings")
                return shot if shot.pixel(SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2) == (255,) * 3 else None

            shot = wait_until(rendered, 15)
            self.assertIsNotNone(shot, "about:blank is shown")
            layout = toolbar_layout(shot, self)
            self.assertEqual(sorted(layout), [1, 2, 3, 4, 5, 6], "all six buttons")
            self.assertEqual([layout[i] for i in range(1, 7)],
                             [layout[1] + BUTTON_WIDTH * n for n in range(6)])
    def test_keyboard_focus_starts_in_the_page(self):
        typed = b"""<!doctype html><html><body>
<script>addEventListener('keydown', e => fetch('/key/' + e.key));
addEventListener('load', () => fetch('/done'));</script></body></html>"""
        with Display() as display, PageServer({"/typed.html": ("text/html", typed),
                                               "/done": ("text/plain", b"ok")}) as server:
            settings = f"[Options]\nHomepage={server.url('/typed.html')}\n"
            with Kiosk(display, settings) as kiosk:
                self.assertTrue(server.wait_for("/done"), kiosk.output())
                self.assertIsNotNone(kiosk.wait_for_window())

                # The page may load before the window is mapped; a visitor
                # types once it is on the screen, so try a few times.
                def typed_reaches_page():
                    display.run("xdotool", "key", "q")
                    return server.wait_for("/key/q", 2)

                self.assertTrue(wait_until(typed_reaches_page, 15),
                                "a key typed without clicking reaches the page")


if __name__ == "__main__":
    unittest.main()
