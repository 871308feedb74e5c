# SPDX-License-Identifier: MIT
"""Hostile pages against the real program: whatever a page tries, the visitor
keeps one window with its toolbar, the file system stays untouched, and only
the exit password lets anyone out."""

import http.server
import os
import signal
import socket
import ssl
import subprocess
import tempfile
import threading
import time
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, PageServer, button_centre,
                   colour_close, wait_until)

PASSWORD = "Uitgang 7"
CENTRE = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
HOME_COLOUR = (0xCC, 0x33, 0x33)
OTHER_COLOUR = (0x33, 0xAA, 0x33)
HOSTILE_COLOUR = (0x88, 0x88, 0x88)


def html(colour, body="", script=""):
    return ("text/html", f"""<!doctype html><html><head><style>
html, body {{ margin: 0; height: 100%; background: #{colour[0]:02x}{colour[1]:02x}{colour[2]:02x}; }}
.whole {{ position: fixed; inset: 0; display: block; width: 100%; height: 100%; opacity: 0; }}
</style></head><body>{body}<script>{script}</script></body></html>""".encode())


def full(tag, attributes=""):
    """An invisible element over the whole page, so that a click anywhere hits it."""
    return f'<{tag} class="whole" {attributes}></{tag}>'


# Each hostile page, reached from the home page by a click.
HOSTILE = {
    "/blank-link.html": html(HOSTILE_COLOUR, full("a", 'href="/other.html" target="_blank"')),
    "/blank-form.html": html(HOSTILE_COLOUR, '<form action="/other.html" target="_blank">'
                             + full("button") + "</form>"),
    "/open-timer.html": html(HOSTILE_COLOUR, script="setTimeout(() => window.open('/other.html'), 300);"),
    "/close.html": html(HOSTILE_COLOUR, full("div", 'onclick="window.close()"')),
    "/download.html": html(HOSTILE_COLOUR, full("a", 'href="/file.bin" download')),
    "/attachment.html": html(HOSTILE_COLOUR, full("a", 'href="/attachment"')),
    "/file-input.html": html(HOSTILE_COLOUR, '<input type="file" id="f">'
                             + full("div", "onclick=\"document.getElementById('f').click()\"")),
    "/print.html": html(HOSTILE_COLOUR, full("div", 'onclick="window.print()"')),
    "/fullscreen.html": html(HOSTILE_COLOUR, full(
        "div", 'onclick="document.documentElement.requestFullscreen().catch(() => fetch(\'/fs-refused\'))"')),
    "/permissions.html": html(HOSTILE_COLOUR, script="""
navigator.geolocation.getCurrentPosition(() => fetch('/geo-granted'), () => fetch('/geo-denied'));
Notification.requestPermission().then(p => fetch('/notification-' + p));"""),
    "/local-link.html": html(HOSTILE_COLOUR, full("a", 'href="file:///etc/passwd"')),
    "/local-redirect.html": html(HOSTILE_COLOUR, full("a", 'href="/redirect-to-file"')),
    "/alert-loop.html": html(HOSTILE_COLOUR, script="setTimeout(() => { for (;;) alert('x'); }, 200);"),
    "/beforeunload.html": html(HOSTILE_COLOUR, script="""
addEventListener('beforeunload', e => { e.preventDefault(); e.returnValue = 'stay'; });
addEventListener('click', () => {});"""),
    "/keys.html": html(HOSTILE_COLOUR, script="addEventListener('load', () => fetch('/keys-loaded'));"),
    "/color-input.html": html(HOSTILE_COLOUR, '<input type="color" class="whole">'),
    "/open-internal.html": html(HOSTILE_COLOUR, full("div", 'onclick="' + "window.open('webkit://gpu'); "
                                "window.open('data:text/html,<body style=background:#33aa33>'); "
                                "window.open('view-source:' + location.href)" + '"')),
    "/text-field.html": html(HOSTILE_COLOUR, '<textarea class="whole"></textarea>'),
    "/sign-in-frame.html": html(HOSTILE_COLOUR, '<iframe src="/sign-in" style="border: 0"></iframe>'),
    "/hang-pagehide.html": html(HOSTILE_COLOUR, script="addEventListener('pagehide', () => { for (;;); });"),
    "/hang-beforeunload.html": html(HOSTILE_COLOUR,
                                    script="addEventListener('beforeunload', () => { for (;;); });"),
    "/hang-visibility.html": html(HOSTILE_COLOUR, script="""
document.addEventListener('visibilitychange', () => { for (;;); });"""),
}
# On another site, a page that navigates to itself all the time.
STORM = html(HOSTILE_COLOUR, script="setInterval(() => { location.href = location.href; }, 1);")


class Site(PageServer):
    def __init__(self, pages_extra=None):
        pages = {"/home.html": html(HOME_COLOUR, full("a", 'href="/next"')),
                 "/other.html": html(OTHER_COLOUR),
                 "/file.bin": ("application/octet-stream", b"\0" * 1000)}
        pages.update(HOSTILE)
        pages.update(pages_extra or {})
        super().__init__(pages)
        self.next_page = "/other.html"

    def __enter__(self):
        super().__enter__()
        site = self
        original = self.httpd.RequestHandlerClass.do_GET

        def do_GET(handler):
            if handler.path == "/next":
                return redirect(handler, site.next_page)
            if handler.path == "/redirect-to-file":
                with site.lock:
                    site.requests.append(handler.path)
                return redirect(handler, "file:///etc/passwd")
            if handler.path == "/sign-in":
                # Asked late, so that the page shows first.
                time.sleep(1)
                handler.send_response(401)
                handler.send_header("WWW-Authenticate", 'Basic realm="Enter your card number"')
                handler.send_header("Content-Length", "0")
                handler.end_headers()
                return None
            if handler.path == "/attachment":
                with site.lock:
                    site.requests.append(handler.path)
                handler.send_response(200)
                handler.send_header("Content-Type", "text/plain")
                handler.send_header("Content-Disposition", 'attachment; filename="x.txt"')
                handler.end_headers()
                handler.wfile.write(b"secret")
                return None
            return original(handler)

        self.httpd.RequestHandlerClass.do_GET = do_GET
        return self


def redirect(handler, location):
    handler.send_response(302)
    handler.send_header("Location", location)
    handler.send_header("Content-Length", "0")
    handler.end_headers()


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
        site.next_page = path
        self.click_home()
        self.assertTrue(self.shows(HOME_COLOUR), "home page")
        self.display.click(*CENTRE)
        self.assertTrue(site.wait_for(path, 10), path)
        self.assertTrue(self.shows(HOSTILE_COLOUR), path)
        # The visitor's next click must not make a double click with this one
        # (GTK's default interval is 400 ms): that would select the page.
        time.sleep(0.5)

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
            # (page, then the visitor clicks the page?, page expected afterwards)
            cases = [
                ("/blank-link.html", True, OTHER_COLOUR),
                ("/blank-form.html", True, OTHER_COLOUR),
                ("/open-timer.html", False, HOSTILE_COLOUR),
                ("/close.html", True, HOSTILE_COLOUR),
                ("/download.html", True, HOSTILE_COLOUR),
                ("/attachment.html", True, HOSTILE_COLOUR),
                ("/file-input.html", True, HOSTILE_COLOUR),
                ("/print.html", True, HOSTILE_COLOUR),
                ("/fullscreen.html", True, HOSTILE_COLOUR),
                ("/local-link.html", True, HOSTILE_COLOUR),
                # The engine ends the page's web process on a redirect to a local
                # file; the home page comes back.
                ("/local-redirect.html", True, HOME_COLOUR),
            ]
            for path, click, expected in cases:
                with self.subTest(path):
                    self.visit(site, path)
                    if click:
                        self.display.click(*CENTRE)
                    time.sleep(1.5)
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
                    self.display.run("xdotool", "key", keys)
                    time.sleep(0.7)
                    self.assert_locked(files, HOSTILE_COLOUR)

            with self.subTest("toolkit windows and menus"):
                # A colour input opens no window; a new window is no way to the
                # engine's own pages; in a text field the menu keys open no
                # menu, and the emoji chooser leaves nothing on disk.
                for path in ("/color-input.html", "/open-internal.html"):
                    self.visit(site, path)
                    self.display.click(*CENTRE)
                    time.sleep(1.5)
                    self.assert_locked(files, HOSTILE_COLOUR)
                self.visit(site, "/text-field.html")
                self.display.click(*CENTRE)
                before = self.display.screenshot("text-field")
                for keys in ("Menu", "shift+F10"):
                    self.display.run("xdotool", "key", keys)
                    time.sleep(0.7)
                    self.assertEqual(self.display.screenshot("menu-key").data, before.data, keys)
                # The emoji chooser opens under the caret, at the page's top
                # left; its first emoji is picked.
                self.display.run("xdotool", "key", "ctrl+period")
                time.sleep(1)
                self.display.click(34, 149)
                time.sleep(1)
                self.display.run("xdotool", "key", "Escape")
                self.assert_locked(files, HOSTILE_COLOUR)

            with self.subTest("a frame's sign-in box goes with its page"):
                self.visit(site, "/sign-in-frame.html")
                self.assertTrue(wait_until(lambda: not self.shows(HOSTILE_COLOUR, 0), 10),
                                "the sign-in box")
                self.click_home()
                self.assertTrue(self.shows(HOME_COLOUR, 5))
                time.sleep(1)
                self.assert_locked(files, HOME_COLOUR)

            for path in ("/alert-loop.html", "/beforeunload.html", "/hang-pagehide.html",
                         "/hang-beforeunload.html", "/hang-visibility.html"):
                with self.subTest(path):
                    self.visit(site, path)
                    self.display.click(*CENTRE)
                    time.sleep(1)
                    self.click_home()
                    self.assertTrue(self.shows(HOME_COLOUR, 5), "home leaves " + path)
                    self.assert_locked(files, HOME_COLOUR)

            with self.subTest("a navigation storm on another site"), \
                    PageServer({"/storm.html": STORM}, host="127.0.0.2") as other:
                for command in ("home", "stop"):
                    site.next_page = other.url("/storm.html")
                    self.click_home()
                    self.assertTrue(self.shows(HOME_COLOUR), "home page")
                    self.display.click(*CENTRE)
                    self.assertTrue(wait_until(lambda: other.count("/storm.html") > 20, 10))
                    if command == "home":
                        self.click_home()
                        self.assertTrue(self.shows(HOME_COLOUR, 5), "home wins")
                    else:
                        self.display.click(*button_centre("stop"))
                        time.sleep(1)
                        count = other.count("/storm.html")
                        time.sleep(1)
                        self.assertEqual(other.count("/storm.html"), count, "stop ends the loop")
                self.click_home()
                self.assert_locked(files, HOME_COLOUR)

            self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)

    def test_crashed_web_process_brings_the_home_page_back(self):
        with Site() as site:
            self.start(site)
            self.visit(site, "/keys.html")
            processes = subprocess.run(["pgrep", "-f", "WebKitWebProcess"], capture_output=True,
                                       text=True).stdout.split()
            mine = [p for p in processes if self.kiosk.home.encode() in environment(p)]
            self.assertTrue(mine, "the program's web process")
            for pid in mine:
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except ProcessLookupError:
                    pass  # a sandbox wrapper's child, gone with the wrapper
            started = time.monotonic()
            self.assertTrue(self.shows(HOME_COLOUR, 5))
            self.assertLess(time.monotonic() - started, 3.0)
            self.assertEqual(self.kiosk.visible_windows(), 1)
            site.next_page = "/other.html"
            self.display.click(*CENTRE)
            self.assertTrue(self.shows(OTHER_COLOUR), "the page works again")
            self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)

    def test_certificate_error_is_a_dead_end(self):
        with tempfile.TemporaryDirectory() as keys, Site() as site:
            key, cert = os.path.join(keys, "key.pem"), os.path.join(keys, "cert.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                            "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                           check=True, capture_output=True)
            secure = PageServer({"/secure.html": html(OTHER_COLOUR)})
            with secure:
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(cert, key)
                secure.httpd.socket = context.wrap_socket(secure.httpd.socket, server_side=True)
                self.start(site)
                site.next_page = f"https://127.0.0.1:{secure.port}/secure.html"
                self.assertTrue(self.shows(HOME_COLOUR))
                self.display.click(*CENTRE)
                time.sleep(4)
                self.assertFalse(secure.requested("/secure.html"), "no way past the certificate")
                self.assertFalse(self.shows(OTHER_COLOUR, 1))
                self.assertEqual(self.kiosk.visible_windows(), 1)
                self.click_home()
                self.assertTrue(self.shows(HOME_COLOUR))
                self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)

    def test_server_down_at_start_comes_up_later(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        self.display = Display().__enter__()
        self.addCleanup(self.display.__exit__, None, None, None)
        self.kiosk = Kiosk(self.display, f"[Options]\nHomepage=http://127.0.0.1:{port}/home.html\n"
                           f"Password={PASSWORD}\n").__enter__()
        self.addCleanup(self.kiosk.__exit__, None, None, None)
        self.assertTrue(self.kiosk.wait_for_window())
        time.sleep(20)
        self.assertFalse(self.shows(HOME_COLOUR, 0.1))
        self.assertTrue(self.kiosk.toolbar_shown(0))
        site = Site()
        site.httpd_port = port
        handler_site = PageServer({"/home.html": html(HOME_COLOUR)})
        handler_site.port_wanted = port
        server = http.server.ThreadingHTTPServer(("127.0.0.1", port), make_handler(handler_site))
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        self.assertTrue(self.shows(HOME_COLOUR, 45), "the page appears by itself")
        self.assertEqual(self.kiosk.exit_with(PASSWORD), 0)


def environment(pid):
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return f.read()
    except OSError:
        return b""


def make_handler(site):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            content_type, body = site.pages.get(self.path, ("text/plain", b"not found"))
            self.send_response(200 if self.path in site.pages else 404)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    return Handler


if __name__ == "__main__":
    unittest.main()
