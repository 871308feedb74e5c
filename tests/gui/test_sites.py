# SPDX-License-Identifier: MIT
"""The navigation allow-list on the real program: pages on two loopback
addresses and on localhost; every way a page can lead elsewhere is refused
with a notice and the page kept, a listed site loads, and home and exit keep
working."""

import time
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, PageServer, button_centre,
                   colour_close, wait_until)

PASSWORD = "Uitgang"
HOME_COLOUR = (0x33, 0x66, 0xCC)
DOCS_COLOUR = (0x33, 0x99, 0x33)
ROW = 90  # each way out is a full-width row of the home page
TOP = 32  # the toolbar
BANNER = (SCREEN_WIDTH // 2, SCREEN_HEIGHT - 70)  # inside the refusal notice
ELSEWHERE = "127.0.0.2"


def home_page(elsewhere, docs):
    row = f"display: block; height: {ROW}px; margin: 0; padding: 0; border: 0; width: 100%"
    return f"""<!doctype html><html><body style="margin: 0; background: #3366cc">
<a style="{row}" href="{elsewhere}/link.html"></a>
<form style="margin: 0" action="{elsewhere}/form.html"><button style="{row}; opacity: 0">
</button></form>
<div style="{row}" onclick="location = '{elsewhere}/script.html'"></div>
<a style="{row}" href="{elsewhere}/new-window.html" target="_blank"></a>
<a style="{row}" href="/redirect"></a>
<a style="{row}" href="{docs}/..%2fsecret.html"></a>
<a style="{row}" href="{docs}/page.html"></a>
<iframe style="{row}" src="{elsewhere}/frame.html"></iframe>
<script>addEventListener('load', () => fetch('/done'));</script></body></html>""".encode()


DOCS = b"""<!doctype html><html><body style="margin: 0; background: #339933"></body></html>"""

# A page that asks each site for a picture, a script, a fetch, a web socket,
# and, through a service worker of its own, a fetch from the worker.
REQUESTS = """<!doctype html><html><body>{images}<script>
const sites = {sites};
for (const site of sites) {{
  const script = document.createElement('script');
  script.src = site + '/script.js';
  document.body.append(script);
  fetch(site + '/fetch').catch(() => {{}});
  try {{ new WebSocket(site.replace('http', 'ws') + '/socket'); }} catch (e) {{}}
}}
navigator.serviceWorker.register('/worker.js?' + sites.map(encodeURIComponent).join('&'))
  .then(() => fetch('/registered'), () => fetch('/not-registered'));
</script></body></html>"""
WORKER = b"""addEventListener('install', event => event.waitUntil(Promise.all(
  location.search.slice(1).split('&').map(site =>
    fetch(decodeURIComponent(site) + '/from-worker').catch(() => {})))));"""


class AllowedSitesTest(unittest.TestCase):
    def test_only_listed_sites_are_shown(self):
        with Display() as display, \
                PageServer({}, host=ELSEWHERE) as elsewhere, \
                PageServer({}) as server:
            elsewhere.pages.update({path: ("text/html", DOCS) for path in (
                "/link.html", "/form.html", "/script.html", "/new-window.html", "/redirected.html",
                "/frame.html")})
            docs = server.url("/docs", host="localhost")
            server.pages.update({
                "/home.html": ("text/html", home_page(elsewhere.url(""), docs)),
                "/redirect": ("redirect", elsewhere.url("/redirected.html")),
                "/docs/page.html": ("text/html", DOCS),
            })
            settings = (f"[Options]\nHomepage={server.url('/home.html')}\nPassword={PASSWORD}\n"
                        f"[AllowedSites]\ndocs=localhost:{server.port}/docs\n"
                        f"broken=http://user@{ELSEWHERE}\n")
            with Kiosk(display, settings) as kiosk:
                self.assertTrue(server.wait_for("/done", 60), kiosk.output())
                self.assertIn('broken="http://user@127.0.0.2" is not a site pattern',
                              kiosk.output())

                def banner():
                    return not colour_close(display.screenshot("banner").pixel(*BANNER),
                                            HOME_COLOUR, 30)

                def page_kept():
                    return colour_close(display.screenshot("kept").pixel(SCREEN_WIDTH - 5,
                                                                          SCREEN_HEIGHT - 5),
                                        HOME_COLOUR)

                # The frame was refused as the page loaded.
                self.assertTrue(wait_until(banner, 5), "a notice for the frame")
                self.assertTrue(wait_until(lambda: not banner(), 10), "the notice goes")
                for row, way in enumerate(("link", "form", "script", "new window", "redirect",
                                           "an escaped slash out of a listed path")):
                    with self.subTest(way):
                        display.click(SCREEN_WIDTH // 2, TOP + row * ROW + ROW // 2)
                        self.assertTrue(wait_until(banner, 5), "a notice says so")
                        self.assertTrue(page_kept(), "the page stays")
                        self.assertTrue(wait_until(lambda: not banner(), 10), "the notice goes")
                self.assertEqual(elsewhere.requests, [], "nothing was asked of the other site")
                self.assertFalse(server.requested("/docs/..%2fsecret.html"))

                # A listed site loads; home and exit keep working.
                display.click(SCREEN_WIDTH // 2, TOP + 6 * ROW + ROW // 2)
                self.assertTrue(wait_until(lambda: colour_close(display.screenshot(
                    "docs").pixel(SCREEN_WIDTH - 5, SCREEN_HEIGHT - 5), DOCS_COLOUR), 10))
                display.click(*button_centre("home"))
                self.assertTrue(wait_until(page_kept, 10), "home")
                self.assertEqual(kiosk.exit_with(PASSWORD), 0)

    def test_every_request_is_held_to_the_list_when_asked(self):
        with Display() as display, \
                PageServer({}, host=ELSEWHERE) as unlisted, \
                PageServer({}, host="127.0.0.3") as listed, \
                PageServer({}) as server:
            sites = [listed.url(""), unlisted.url("")]
            images = "".join(f'<img src="{site}/image.png">' for site in sites)
            server.pages.update({
                "/home.html": ("text/html", REQUESTS.format(images=images, sites=sites).encode()),
                "/worker.js": ("text/javascript", WORKER)})
            settings = (f"[Options]\nHomepage={server.url('/home.html')}\nPassword={PASSWORD}\n"
                        "AllowedRequests=all\n[Session]\nClearOnHome=1\n"
                        f"[AllowedSites]\nlisted={listed.url('')}\n")
            asked = ["/image.png", "/script.js", "/fetch", "/socket", "/from-worker"]
            with Kiosk(display, settings) as kiosk:
                # Once more in the next visitor's session, in a new view.
                for session in (1, 2):
                    with self.subTest(session=session):
                        self.assertTrue(server.wait_for("/registered", 60, session),
                                        kiosk.output())
                        for path in asked:
                            self.assertTrue(listed.wait_for(path, 10, session), path)
                        # Asked for together with the listed site's, they
                        # would have come by now.
                        time.sleep(0.5)
                        self.assertEqual((unlisted.connections, unlisted.requests), (0, []))
                        display.click(*button_centre("home"))
                self.assertEqual(kiosk.exit_with(PASSWORD), 0)


if __name__ == "__main__":
    unittest.main()
