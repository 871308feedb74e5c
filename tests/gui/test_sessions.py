# SPDX-License-Identifier: MIT
"""Visitor sessions on the real program: after a pause the next visitor finds
the home page and nothing of the last one; input during the notice keeps the
session; without the section nothing ever resets; a web process grown too
large is replaced while nobody is there."""

import time
import unittest

from kiosk import SCREEN_HEIGHT, Display, Kiosk, PageServer, colour_close, wait_until

HOME_COLOUR = (0x33, 0x66, 0xCC)
VISIT_COLOUR = (0x33, 0x99, 0x33)
PAGE_POINT = (500, 500)
# The home page reports what the browser keeps, then links to the visit page
# from everywhere; the visit page leaves a cookie, storage and a history entry.
HOME = b"""<!doctype html><html><body style="margin: 0; background: #3366cc">
<a href="/visit.html" style="display: block; height: 100vh"></a><script>
fetch('/state?c=' + encodeURIComponent(document.cookie) + '&l=' + localStorage.length +
      '&s=' + sessionStorage.length + '&h=' + history.length);
</script></body></html>"""
VISIT = b"""<!doctype html><html><body style="margin: 0; background: #339933">
<a href="/elsewhere.html" style="display: block; height: 100vh"></a><script>
document.cookie = 'visitor=1; max-age=3600';
localStorage.setItem('visitor', '1');
sessionStorage.setItem('visitor', '1');
addEventListener('keydown', () => fetch('/key'));
fetch('/visited');
</script></body></html>"""
CLEAN = "/state?c=&l=0&s=0&h=1"
# A page that reports what the session holds and keeps 200 MB for as long as
# it lives.
LARGE = b"""<!doctype html><html><body style="margin: 0; background: #339933"><script>
fetch('/large?s=' + sessionStorage.length + '&h=' + history.length);
sessionStorage.setItem('visitor', '1');
window.kept = new Float64Array(25e6).fill(1);
</script></body></html>"""
# The same, but its load never ends: a picture that never comes.
ENDLESS = LARGE.replace(b"<script>", b'<img src="/never"><script>')


class SessionTest(unittest.TestCase):
    def start(self, session, home="/home.html", ready=CLEAN):
        self.display = Display().__enter__()
        self.addCleanup(self.display.__exit__, None, None, None)
        self.server = PageServer({"/home.html": ("text/html", HOME),
                                  "/visit.html": ("text/html", VISIT),
                                  "/large.html": ("text/html", LARGE),
                                  "/endless.html": ("text/html", ENDLESS)},
                                 delays={"/never": 3600}).__enter__()
        self.addCleanup(self.server.__exit__, None, None, None)
        self.kiosk = Kiosk(self.display, f"[Options]\nHomepage={self.server.url(home)}\n"
                           f"Password=x\n{session}").__enter__()
        self.addCleanup(self.kiosk.__exit__, None, None, None)
        self.assertTrue(wait_until(lambda: self.server.count(ready) == 1, 60), self.kiosk.output())
        self.assertTrue(self.kiosk.toolbar_shown())

    def colour(self, name):
        return self.display.screenshot(name).pixel(*PAGE_POINT)

    def shows(self, colour, name, timeout=10):
        return wait_until(lambda: colour_close(self.colour(name), colour), timeout)

    def dimmed(self, colour, name, timeout=10):
        """Waits for the notice over a page of that colour."""
        dim = tuple(round(c * 0.4) for c in colour)
        return wait_until(lambda: colour_close(self.display.screenshot(name).pixel(
            100, SCREEN_HEIGHT - 100), dim, 12), timeout)

    def visit(self):
        """The visitor follows the home page's link: a cookie, storage and a
        second history entry."""
        self.display.click(*PAGE_POINT)
        self.visited = time.monotonic()
        self.assertTrue(self.server.wait_for("/visited", 10))
        self.assertTrue(self.shows(VISIT_COLOUR, "visit"))

    def test_the_next_visitor_finds_nothing_of_the_last(self):
        self.start("[Session]\nIdleReset=10\nIdleWarning=4\n")
        self.visit()
        self.assertTrue(self.dimmed(VISIT_COLOUR, "notice"))
        self.assertTrue(self.shows(HOME_COLOUR, "reset", 10))
        self.assertTrue(wait_until(lambda: self.server.count(CLEAN) == 2, 10), self.server.requests)
        self.assertFalse([r for r in self.server.requests if r.startswith("/state")
                          and r != CLEAN], "no cookie, storage or history before the reset")
        # Back does nothing: the visit page is not in the history.
        self.display.click(15, 16)
        # A step back would ask for the visit page within this time.
        time.sleep(1)
        self.assertEqual(self.server.count("/visit.html"), 1)
        self.assertTrue(colour_close(self.colour("back"), HOME_COLOUR))

    def test_input_during_the_notice_keeps_the_session(self):
        self.start("[Session]\nIdleReset=10\nIdleWarning=4\n")
        self.visit()
        # A move of the pointer, then a key: each ends the notice; the key
        # does not reach the page.
        self.assertTrue(self.dimmed(VISIT_COLOUR, "first-notice"))
        self.display.move_pointer(600, 400)
        self.assertTrue(self.shows(VISIT_COLOUR, "moved", 2))
        self.assertTrue(self.dimmed(VISIT_COLOUR, "second-notice", 10))
        self.display.run("xdotool", "key", "space")
        self.assertTrue(self.shows(VISIT_COLOUR, "key", 2))
        # The reset the notice announced was due within its 4 s; the home page
        # it loads would be asked for soon after.
        time.sleep(5)
        self.assertTrue(colour_close(self.colour("kept"), VISIT_COLOUR))
        self.assertEqual(self.server.count(CLEAN), 1, "the session was kept")
        self.assertFalse(self.server.requested("/key"))
        self.assertFalse(self.server.requested("/elsewhere.html"))

    def test_without_the_section_nothing_resets(self):
        self.start("")
        self.visit()
        # Past the shortest idle period (10 s) since the click, and the time a
        # reset's home page would take to be asked for.
        time.sleep(max(0.0, self.visited + 12 - time.monotonic()))
        self.assertTrue(colour_close(self.colour("kept"), VISIT_COLOUR))
        self.assertEqual(self.server.count(CLEAN), 1)
        self.assertEqual(self.server.count("/home.html"), 1)

    def test_a_web_process_that_stays_too_large_is_replaced_while_nobody_is_there(self):
        # Nobody touches the terminal: the checks half a minute and a minute
        # after the start find the page's 200 MB and more.
        self.start("[Memory]\nWebProcessLimit=150\n", "/large.html", "/large?s=0&h=1")
        first = self.kiosk.web_processes()
        self.assertTrue(first)
        self.assertTrue(self.server.wait_for("/large?s=1&h=1", 90),
                        "the same page again, with the session kept: " + self.kiosk.output())
        self.assertTrue(self.shows(VISIT_COLOUR, "renewed"))
        renewed = self.kiosk.web_processes()
        self.assertTrue(renewed)
        self.assertFalse(set(first) & set(renewed), "in a fresh web process")
        self.assertEqual(self.kiosk.exit_with("x"), 0)

    def test_a_page_whose_load_never_ends_is_replaced_all_the_same(self):
        # The replacement waits half a minute for the load, then stops it and
        # loads the home page (here the same page) in a fresh web process.
        self.start("[Memory]\nWebProcessLimit=150\n", "/endless.html", "/large?s=0&h=1")
        first = self.kiosk.web_processes()
        self.assertTrue(first)
        self.assertTrue(self.server.wait(lambda: sum(path.startswith("/large?")
                                                     for path in self.server.requests) == 2, 150),
                        "loaded again: " + self.kiosk.output())
        renewed = self.kiosk.web_processes()
        self.assertTrue(renewed)
        self.assertFalse(set(first) & set(renewed), "in a fresh web process")
        self.assertEqual(self.kiosk.exit_with("x"), 0)


if __name__ == "__main__":
    unittest.main()
