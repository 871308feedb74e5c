# SPDX-License-Identifier: MIT
"""Hostile pages against the real program: whatever a page tries, the visitor
keeps one window with its toolbar, the file system stays untouched, and only
the exit password lets anyone out."""

import os
import signal
import subprocess
import tempfile
import time
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, Page, PageServer, button_centre,
                   colour_close, redirect, wait_until)

PASSWORD = "Uitgang 7"
CENTRE = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
HOME_COLOUR = (0xCC, 0x33, 0x33)
OTHER_COLOUR = (0x33, 0xAA, 0x33)
HOSTILE_COLOUR = (0x88, 0x88, 0x88)
# Seconds to wait after a page's attempt for what must not come of it.
SETTLE = 0.5


def html(colour, body="", script=""):
    """A page in one colour; it reports each click that reaches it to the
    server as /clicked/PAGE, so that a test can wait for the page to have
    seen it."""
    return ("text/html", f"""<!doctype html><html><head><style>
html, body {{ margin: 0; height: 100%; background: #{colour[0]:02x}{colour[1]:02x}{colour[2]:02x}; }}
.whole {{ position: fixed; inset: 0; display: block; width: 100%; height: 100%; opacity: 0; }}
</style></head><body>{body}<script>
addEventListener('click', () => fetch('/clicked' + location.pathname), true);
{script}</script></body></html>""".encode())


def full(tag, attributes=""):
    """An invisible element over the whole page, so that a click anywhere hits it."""
    return f'<{tag} class="whole" {attributes}></{tag}>'


# Each hostile page, reached from the home page by a click.
HOSTILE = {
    "/blank-link.html": html(HOSTILE_COLOUR, full("a", 'href="/other.html" target="_blank"')),
    "/blank-form.html": html(HOSTILE_COLOUR, '<form action="/other.html" target="_blank">'
                             + full("button") + "</form>"),
    "/open-timer.html": html(HOSTILE_COLOUR, script="""
setTimeout(() => { window.open('/other.html'); fetch('/tried-open'); }, 300);"""),
    "/close.html": html(HOSTILE_COLOUR,
                        full("div", "onclick=\"window.close(); fetch('/tried-close')\"")),
    "/download.html": html(HOSTILE_COLOUR, full("a", 'href="/file.bin" download')),
    "/attachment.html": html(HOSTILE_COLOUR, full("a", 'href="/attachment"')),
    "/file-input.html": html(HOSTILE_COLOUR, '<input type="file" id="f">'
                             + full("div", "onclick=\"document.getElementById('f').click(); "
                                    "fetch('/tried-file-input')\"")),
    "/print.html": html(HOSTILE_COLOUR,
                        full("div", "onclick=\"window.print(); fetch('/tried-print')\"")),
    "/fullscreen.html": html(HOSTILE_COLOUR, full(
        "div", 'onclick="document.documentElement.requestFullscreen().catch(() => fetch(\'/fs-refused\'))"')),
    "/permissions.html": html(HOSTILE_COLOUR, script="""
navigator.geolocation.getCurrentPosition(() => fetch('/geo-granted'), () => fetch('/geo-denied'));
Notification.requestPermission().then(p => fetch('/notification-' + p));"""),
    "/local-link.html": html(HOSTILE_COLOUR, full("a", 'href="file:///etc/passwd"')),
    "/local-redirect.html": html(HOSTILE_COLOUR, full("a", 'href="/redirect-to-file"')),
    "/alert-loop.html": html(HOSTILE_COLOUR, script="""
setTimeout(() => { fetch('/looping'); for (;;) alert('x'); }, 200);"""),
    "/beforeunload.html": html(HOSTILE_COLOUR, script="""
addEventListener('beforeunload', e => { e.preventDefault(); e.returnValue = 'stay'; });
addEventListener('click', () => {});"""),
    "/keys.html": html(HOSTILE_COLOUR, script="""
addEventListener('load', () => fetch('/keys-loaded'));
addEventListener('keydown', e => fetch('/key/' + e.key));"""),
    "/color-input.html": html(HOSTILE_COLOUR, '<input type="color" class="whole">'),
    "/open-internal.html": html(HOSTILE_COLOUR, full("div", 'onclick="' + "window.open('webkit://gpu'); "
                                "window.open('data:text/html,<body style=background:#33aa33>'); "
                                "window.open('view-source:' + location.href)" + '"')),
    "/text-field.html": html(HOSTILE_COLOUR, '<textarea class="whole"></textarea>'),
    "/sign-in-frame.html": html(HOSTILE_COLOUR, '<iframe src="/sign-in" style="border: 0"></iframe>'),
    "/hang-pagehide.html": html(HOSTILE_COLOUR, script="addEventListener('pagehide', () => { for (;;); });"),
    "/hang-beforeunload.html": html(HOSTILE_COLOUR,
                                    script="addEventListener('beforeunload', () => { for (;;); });"),
    "/busy.html": html(HOSTILE_COLOUR, script="setTimeout(() => { fetch('/busy'); for (;;); }, 300);"),
    "/hang-visibility.html": html(HOSTILE_COLOUR, script="""
document.addEventListener('visibilitychange', () => { for (;;); });"""),
}
# On another site, a page that navigates to itself all the time.
STORM = html(HOSTILE_COLOUR, script="setInterval(() => { location.href = location.href; }, 1);")
# On the home page's own site, four loops of navigations to fresh addresses.
SAME_SITE_STORM = html(HOSTILE_COLOUR, script="""
for (let i = 0; i < 4; ++i) setInterval(() => { location.href = '/storm.html?' + Math.random(); }, 1);""")


class Site(PageServer):
    """The home page, whose click anywhere follows /next, and the hostile
    pages; lead_to says where /next leads."""

    def __init__(self, pages_extra=None):
        pages = {"/home.html": html(HOME_COLOUR, full("a", 'href="/next"')),
                 "/other.html": html(OTHER_COLOUR),
                 "/file.bin": ("application/octet-stream", b"\0" * 1000),
                 "/redirect-to-file": redirect("file:///etc/passwd"),
                 "/sign-in": Page(status=401, content_type="text/plain", headers=[
                     ("WWW-Authenticate", 'Basic realm="Enter your card number"')]),
                 "/attachment": Page(b"secret", "text/plain", headers=[
                     ("Content-Disposition", 'attachment; filename="x.txt"')])}
        pages.update(HOSTILE)
        pages["/storm.html"] = SAME_SITE_STORM
        pages.update(pages_extra or {})
        # The sign-in box is asked for late, so that the page shows first.
        super().__init__(pages, delays={"/sign-in": 1})
        self.lead_to("/other.html")

    def lead_to(self, location):
        self.pages["/next"] = redirect(location)


class HostileTest(unittest.TestCase):
    def start(self, site, settings_home=None):
        self.display = Display().__enter__()
        self.addCleanup(self.display.__exit__, None, None, None)
        home = settings_home or site.url("/home.html")
        self.kiosk = Kiosk(self.display, f"[Options]\nHomepage={home}\nPassword={PASSWORD}\n"
                           ).__enter__()
        self.addCleanup(self.kiosk.__exit__, None, None, None)
        self.assertTrue(self.kiosk.wait_for_window(), self.kiosk.output())

    def shows(self, colour, timeout=10):
        return wait_until(lambda: colour_close(self.display.screenshot("hostile").pixel(*CENTRE),
                                               colour), timeout)

    def click_home(self):
        self.display.click(*button_centre("home"))
        self.display.move_pointer(*CENTRE)

    def visit(self, site, path):
        """From the home page, a click takes the visitor to the hostile page."""
        site.lead_to(path)
        self.click_home()
        self.assertTrue(self.shows(HOME_COLOUR), "home page")
        # (The display keeps the visitor's next click on the page from making
        # a double click with this one, which would select the page.)
        self.display.click(*CENTRE)
        self.assertTrue(site.wait_for(path, 10), path)
        self.assertTrue(self.shows(HOSTILE_COLOUR), path)

    def click_page(self, site, path):
        """A click on the page, and the page's report that it saw it."""
        seen = site.count("/clicked" + path)
        self.display.click(*CENTRE)
        self.assertTrue(site.wait_for("/clicked" + path, 10, seen + 1), "click on " + path)

    def attempt(self, site, event):
        """Waits for the server to see the request that shows the page's
        attempt was made (asked for once more than before); then briefly
        for anything that should not follow it."""
        path, before = event
        self.assertTrue(site.wait_for(path, 10, before + 1), path)
        # A window, a file or a navigation that the attempt led to would come
        # within this time of the request.
        time.sleep(SETTLE)

    def assert_locked(self, files_before, colour):
        self.assertEqual(self.kiosk.visible_windows(), 1, "one window")
        self.assertTrue(self.kiosk.toolbar_shown(0), "toolbar")
        self.assertTrue(self.shows(colour), "page in the view")
        self.assertEqual(self.kiosk.files() - files_before, set(), "no new files")
        self.assertEqual(self.display.window_geometry("Corvalen"),
                         (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT))

    def test_pages_that_try_to_get_out(self):
        with Site() as site:
            self.start(site)
            self.assertTrue(self.shows(HOME_COLOUR))
            files = self.kiosk.files()
            # (page, then the visitor clicks the page?, the request that shows
            # the attempt was made, page expected afterwards)
            cases = [
                ("/blank-link.html", True, "/other.html", OTHER_COLOUR),
                ("/blank-form.html", True, "/other.html?", OTHER_COLOUR),
                ("/open-timer.html", False, "/tried-open", HOSTILE_COLOUR),
                ("/close.html", True, "/tried-close", HOSTILE_COLOUR),
                ("/download.html", True, "/clicked/download.html", HOSTILE_COLOUR),
                ("/attachment.html", True, "/attachment", HOSTILE_COLOUR),
                ("/file-input.html", True, "/tried-file-input", HOSTILE_COLOUR),
                ("/print.html", True, "/tried-print", HOSTILE_COLOUR),
                ("/fullscreen.html", True, "/clicked/fullscreen.html", HOSTILE_COLOUR),
                ("/local-link.html", True, "/clicked/local-link.html", HOSTILE_COLOUR),
                # The engine ends the page's web process on a redirect to a local
                # file; the home page comes back.
                ("/local-redirect.html", True, "/redirect-to-file", HOME_COLOUR),
            ]
            for path, click, event, expected in cases:
                with self.subTest(path):
                    before = site.count(event)
                    self.visit(site, path)
                    if click:
                        self.display.click(*CENTRE)
                    self.attempt(site, (event, before))
                    self.assert_locked(files, expected)
            self.assertTrue(site.requested("/attachment"))
            self.assertTrue(site.requested("/redirect-to-file"))

            with self.subTest("permissions"):
                self.visit(site, "/permissions.html")
                self.assertTrue(site.wait_for("/geo-denied", 10))
                self.assertTrue(site.wait_for("/notification-denied", 10))
                self.assertFalse(site.requested("/geo-granted"))

            with self.subTest("keys"):
                self.visit(site, "/keys.html")
                for keys in ("ctrl+shift+i", "ctrl+shift+d", "ctrl+p", "ctrl+n", "ctrl+t", "F11"):
                    # A plain key after the shortcut: once the page reports it,
                    # the shortcut has been dealt with.
                    event = ("/key/x", site.count("/key/x"))
                    self.display.run("xdotool", "key", keys, "x")
                    self.attempt(site, event)
                    self.assert_locked(files, HOSTILE_COLOUR)

            with self.subTest("toolkit windows and menus"):
                # A colour input opens no window; a new window is no way to the
                # engine's own pages; in a text field the menu keys open no
                # menu, and the emoji chooser leaves nothing on disk.
                for path in ("/color-input.html", "/open-internal.html"):
                    self.visit(site, path)
                    event = ("/clicked" + path, site.count("/clicked" + path))
                    self.display.click(*CENTRE)
                    self.attempt(site, event)
                    self.assert_locked(files, HOSTILE_COLOUR)
                self.visit(site, "/text-field.html")
                self.click_page(site, "/text-field.html")
                before = self.display.screenshot("text-field")
                for keys in ("Menu", "shift+F10"):
                    self.display.run("xdotool", "key", keys)
                    # A menu would be up within this time.
                    time.sleep(SETTLE)
                    self.assertEqual(self.display.screenshot("menu-key").data, before.data, keys)
                # The emoji chooser opens under the caret, at the page's top
                # left; its first emoji is picked. It would be up within a
                # second, and the pick changes the screen again.
                self.display.run("xdotool", "key", "ctrl+period")
                chooser = wait_until(lambda: (lambda shot: shot if shot.data != before.data
                                              else None)(self.display.screenshot("emoji")), 1)
                self.display.click(34, 149)
                if chooser:
                    wait_until(lambda: self.display.screenshot("emoji-picked").data
                               != chooser.data, 1)
                self.display.run("xdotool", "key", "Escape")
                self.assert_locked(files, HOSTILE_COLOUR)

            with self.subTest("a frame's sign-in box goes with its page"):
                self.visit(site, "/sign-in-frame.html")
                self.assertTrue(wait_until(lambda: not self.shows(HOSTILE_COLOUR, 0), 10),
                                "the sign-in box")
                self.click_home()
                self.assertTrue(self.shows(HOME_COLOUR, 5))
                # The box would come back within this time if it outlived its page.
                time.sleep(SETTLE)
                self.assert_locked(files, HOME_COLOUR)

            for path in ("/alert-loop.html", "/beforeunload.html", "/hang-pagehide.html",
                         "/hang-beforeunload.html", "/hang-visibility.html"):
                with self.subTest(path):
                    self.visit(site, path)
                    if path == "/alert-loop.html":
                        # Busy in its loop, the page cannot report the click.
                        self.assertTrue(site.wait_for("/looping", 10))
                        self.display.click(*CENTRE)
                    else:
                        self.click_page(site, path)
                    self.click_home()
                    self.assertTrue(self.shows(HOME_COLOUR, 5), "home leaves " + path)
                    self.assert_locked(files, HOME_COLOUR)

            with self.subTest("refresh on a page that stopped answering"):
                self.visit(site, "/busy.html")
                self.assertTrue(site.wait_for("/busy", 10), "busy in its loop")
                self.display.click(*button_centre("refresh"))
                self.assertTrue(site.wait_for("/busy.html", 10, 2), "asked for again")
                self.click_home()
                self.assertTrue(self.shows(HOME_COLOUR, 5))

            with self.subTest("a navigation storm on another site"), \
                    PageServer({"/storm.html": STORM}, host="127.0.0.2") as other:
                for command in ("home", "stop"):
                    site.lead_to(other.url("/storm.html"))
                    self.click_home()
                    self.assertTrue(self.shows(HOME_COLOUR), "home page")
                    self.display.click(*CENTRE)
                    self.assertTrue(wait_until(lambda: other.count("/storm.html") > 20, 10))
                    if command == "home":
                        self.click_home()
                        self.assertTrue(self.shows(HOME_COLOUR, 5), "home wins")
                    else:
                        self.display.click(*button_centre("stop"))

                        def quiet():
                            # The loop asks many times a second: half a second
                            # without a request means it has ended.
                            count = other.count("/storm.html")
                            return not other.wait(lambda: other.count("/storm.html") > count,
                                                  SETTLE)

                        self.assertTrue(wait_until(quiet, 10), "stop ends the loop")
                        count = other.count("/storm.html")
                        time.sleep(SETTLE)
                        self.assertEqual(other.count("/storm.html"), count, "stop ends the loop")
                self.click_home()
                self.assert_locked(files, HOME_COLOUR)

            with self.subTest("a navigation storm on the home page's own site"):
                self.visit(site, "/storm.html")
                self.assertTrue(site.wait(lambda: sum(path.startswith("/storm.html?")
                                                      for path in site.requests) > 20, 10))
                self.click_home()
                self.assertTrue(self.shows(HOME_COLOUR, 5), "home wins")
                self.assert_locked(files, HOME_COLOUR)

            self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)

    def test_crashed_web_process_brings_the_home_page_back(self):
        with Site() as site:
            self.start(site)
            self.visit(site, "/keys.html")
            mine = self.kiosk.web_processes()
            self.assertTrue(mine, "the program's web process")
            for pid in mine:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass  # a sandbox wrapper's child, gone with the wrapper
            started = time.monotonic()
            self.assertTrue(self.shows(HOME_COLOUR, 5))
            self.assertLess(time.monotonic() - started, 3.0)
            self.assertEqual(self.kiosk.visible_windows(), 1)
            site.lead_to("/other.html")
            self.display.click(*CENTRE)
            self.assertTrue(self.shows(OTHER_COLOUR), "the page works again")
            self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)

    def test_certificate_error_is_a_dead_end(self):
        with tempfile.TemporaryDirectory() as keys, Site() as site:
            key, cert = os.path.join(keys, "key.pem"), os.path.join(keys, "cert.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                            "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                           check=True, capture_output=True)
            with PageServer({"/secure.html": html(OTHER_COLOUR)}, tls=(cert, key)) as secure:
                self.start(site)
                site.lead_to(secure.url("/secure.html"))
                self.assertTrue(self.shows(HOME_COLOUR))
                self.display.click(*CENTRE)
                self.assertTrue(secure.wait(lambda: secure.connections, 10),
                                "the engine tried the site")
                self.assertFalse(self.shows(OTHER_COLOUR, 1))
                self.assertFalse(secure.requested("/secure.html"), "no way past the certificate")
                self.assertEqual(self.kiosk.visible_windows(), 1)
                self.click_home()
                self.assertTrue(self.shows(HOME_COLOUR))
                self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)

    def test_server_down_at_start_comes_up_later(self):
        # Down: every connection is reset.
        with PageServer({"/home.html": html(HOME_COLOUR)}, listening=False) as site:
            self.display = Display().__enter__()
            self.addCleanup(self.display.__exit__, None, None, None)
            self.kiosk = Kiosk(self.display, f"[Options]\nHomepage={site.url('/home.html')}\n"
                               f"Password={PASSWORD}\n").__enter__()
            self.addCleanup(self.kiosk.__exit__, None, None, None)
            self.assertTrue(self.kiosk.wait_for_window())
            # Past the first retry (5 s after the failed load, whose connection
            # the engine tries twice), so that the page can only come through a
            # later one.
            self.assertTrue(site.wait(lambda: site.refused and
                                      site.refused[-1] - site.refused[0] > 3, 15),
                            "the first retry")
            self.assertFalse(self.shows(HOME_COLOUR, 0.1))
            self.assertTrue(self.kiosk.toolbar_shown(0))
            site.listen()
            self.assertTrue(self.shows(HOME_COLOUR, 45), "the page appears by itself")
            self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)


if __name__ == "__main__":
    unittest.main()
