# SPDX-License-Identifier: MIT
"""Printing on the real program, through a CUPS scheduler of the test's own
with Debian's PDF printer as the queue: a page's print() comes out as a PDF
with the page's text, with no dialog ever; a visitor session gets its pages
and no more, whatever the page does; the next session has them all again;
CUPS keeps nothing of the jobs; and without the section, or without the
printer, print() prints nothing."""

import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, Page, PageServer, button_centre,
                   redirect, wait_until)

PASSWORD = "Uitgang"
CENTRE = (SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2)
BANNER = (0, SCREEN_HEIGHT - 113, SCREEN_WIDTH, 70)  # where the notices stand
PAGES = 3


def page(body, script=""):
    """A page whose every click goes to /next, as the test lays out."""
    return Page(f"""<!doctype html><html><body style="margin: 0">
<a href="/next" style="display: block; position: fixed; inset: 0"></a>
<h1>Call number QA 76.73 C65</h1>{body}<script>{script}</script></body></html>""".encode())


SITE = {
    "/home.html": page("", "addEventListener('load', () => fetch('/shown'));"),
    "/record.html": page("", "addEventListener('load', () => { print(); fetch('/asked'); });"),
    "/framed.html": page('<iframe src="/inner.html"></iframe>'),
    "/inner.html": page("", "addEventListener('load', () => { print(); fetch('/asked'); });"),
    # print() from beforeprint, that is while the page is being printed.
    "/nested.html": page("", """addEventListener('beforeprint', () => print());
addEventListener('load', () => { print(); fetch('/asked'); });"""),
    "/loop.html": page("", """addEventListener('load', () => { fetch('/asked');
setInterval(() => { for (let i = 0; i < 50; i++) print(); }, 20); });"""),
}


class Site(PageServer):
    """The pages above; /next leads to whichever page the test names."""

    def __init__(self):
        super().__init__(dict(SITE))
        self.next = "/home.html"

    def page(self, path, query):
        if path == "/next":
            return redirect(self.next)
        return super().page(path, query)


class Cups:
    """cupsd as root on a socket of its own, its PDF printer (the default
    destination) writing into a directory of the test's. cups-pdf reads its
    settings only from /etc/cups, as cups-pdf-QUEUE.conf: that file is the
    only one written outside the test's directory, and is removed again."""

    def __enter__(self):
        self.directory = tempfile.mkdtemp(prefix="corvalen-cups-")
        os.chmod(self.directory, 0o755)
        self.queue = f"corvalentest{os.getpid()}"
        self.out = os.path.join(self.directory, "out")
        self.spool = os.path.join(self.directory, "spool")
        for name in ("out", "spool", "tmp", "cache", "state", "log"):
            os.mkdir(os.path.join(self.directory, name))
        # The filters run as lp and write their temporaries there.
        shutil.chown(os.path.join(self.directory, "tmp"), "root", "lp")
        os.chmod(os.path.join(self.directory, "tmp"), 0o1770)
        self.socket = os.path.join(self.directory, "cups.sock")
        with open(os.path.join(self.directory, "cupsd.conf"), "w") as f:
            f.write(f"Listen {self.socket}\nLogLevel warn\n<Location />\nOrder allow,deny\n"
                    "Allow all\n</Location>\n<Policy default>\n<Limit All>\nOrder deny,allow\n"
                    "</Limit>\n</Policy>\n")
        with open(os.path.join(self.directory, "cups-files.conf"), "w") as f:
            f.write("".join(f"{key} {os.path.join(self.directory, value)}\n" for key, value in (
                ("ServerRoot", ""), ("RequestRoot", "spool"), ("TempDir", "tmp"),
                ("CacheDir", "cache"), ("StateDir", "state"), ("ErrorLog", "log/error_log"),
                ("AccessLog", "log/access_log"), ("PageLog", "log/page_log"))))
            f.write("SystemGroup root\n")
        self.pdf_settings = f"/etc/cups/cups-pdf-{self.queue}.conf"
        with open(self.pdf_settings, "w") as f:
            f.write(f"Out {self.out}\nAnonDirName {self.out}\nLabel 1\n")
        self.env = dict(os.environ, CUPS_SERVER=self.socket)
        self.process = subprocess.Popen(
            ["/usr/sbin/cupsd", "-f", "-c", os.path.join(self.directory, "cupsd.conf"),
             "-s", os.path.join(self.directory, "cups-files.conf")], start_new_session=True)
        if not wait_until(lambda: self.run("lpstat", "-r").returncode == 0, 20):
            self.__exit__()
            raise RuntimeError("cupsd did not start")
        # CUPS's own PDF-to-PostScript step would mangle the text of the
        # engine's PDF; pdftocairo keeps it.
        self.run("lpadmin", "-p", self.queue, "-E", "-v", f"cups-pdf:/{self.queue}", "-P",
                 "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd", "-o",
                 "pdftops-renderer-default=pdftocairo", check=True)
        self.run("lpadmin", "-d", self.queue, check=True)
        return self

    def run(self, *command, check=False):
        return subprocess.run(command, env=self.env, capture_output=True, text=True, check=check)

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=20)
        os.unlink(self.pdf_settings)
        shutil.rmtree(self.directory, ignore_errors=True)

    def printed(self):
        return sorted(os.listdir(self.out))

    def text(self, name):
        return subprocess.run(["pdftotext", os.path.join(self.out, name), "-"],
                              capture_output=True, text=True, check=True).stdout


class TopLevels(threading.Thread):
    """Counts the mapped top-level windows on the display (the X server's
    stacking list) every 50 ms, and keeps the most it saw."""

    def __init__(self, display):
        super().__init__(daemon=True)
        self.display = display
        self.most = 0
        self.stop = threading.Event()

    def run(self):
        while not self.stop.wait(0.05):
            tree = subprocess.run(["xwininfo", "-root", "-children"],
                                  env=self.display.environment(), capture_output=True,
                                  text=True).stdout
            windows = [line.split()[0] for line in tree.splitlines()
                       if line.strip().startswith("0x")]
            mapped = 0
            for window in windows:
                info = subprocess.run(["xwininfo", "-id", window], env=self.display.environment(),
                                      capture_output=True, text=True).stdout
                mapped += "IsViewable" in info
            self.most = max(self.most, mapped)


@unittest.skipUnless(os.geteuid() == 0 and os.path.exists("/usr/sbin/cupsd"),
                     "a CUPS scheduler of the test's own needs root")
class PrintingTest(unittest.TestCase):
    def setUp(self):
        self.cups = self.enterContext(Cups())
        self.display = self.enterContext(Display())
        self.site = self.enterContext(Site())

    def home_shown(self, count):
        """Waits until the home page has loaded `count` times."""
        self.assertTrue(self.site.wait_for("/shown", 60, count), "home page")

    def kiosk(self, printing):
        settings = (f"[Options]\nHomepage={self.site.url('/home.html')}\nPassword={PASSWORD}\n"
                    f"[Session]\nClearOnHome=1\n{printing}")
        kiosk = self.enterContext(Kiosk(self.display, settings,
                                        env={"CUPS_SERVER": self.cups.socket}))
        self.assertTrue(kiosk.toolbar_shown(60), kiosk.output())
        self.home_shown(1)
        self.assertTrue(wait_until(lambda: "pages print on" in kiosk.output(), 30),
                        kiosk.output())
        return kiosk

    def visit(self, path):
        """A click on the page shown goes to `path`; waits for its print()."""
        asked = self.site.count("/asked")
        self.site.next = path
        self.display.click(*CENTRE)
        self.assertTrue(self.site.wait_for("/asked", 30, asked + 1), path)

    def told(self, words):
        """Whether a notice with `words` shows."""
        return wait_until(lambda: words in self.display.screenshot("notice").text(
            BANNER, light_on_dark=True), 10)

    def test_pages_print_within_the_visitor_sessions_pages(self):
        top_levels = TopLevels(self.display)
        kiosk = self.kiosk(f"[Printing]\nEnabled=1\nPrinter={self.cups.queue}\n"
                           f"PaperSize=iso_a4\nPagesPerSession={PAGES}\n")
        top_levels.start()
        # One page each: the record, and a frame's print().
        for count, path in enumerate(("/record.html", "/framed.html"), 1):
            with self.subTest(path):
                self.visit(path)
                self.assertTrue(wait_until(lambda: len(self.cups.printed()) == count, 60),
                                f"{self.cups.printed()}\n{kiosk.output()}")
        self.assertIn("QA 76.73 C65", self.cups.text(self.cups.printed()[0]))
        self.assertIn("Page size:       595 x 842 pts (A4)",
                      subprocess.run(["pdfinfo", os.path.join(self.cups.out,
                                                              self.cups.printed()[0])],
                                     capture_output=True, text=True).stdout)
        # A print() from beforeprint, while the page is laid out for paper,
        # makes the engine drop that print: it fails, and costs no page.
        self.visit("/nested.html")
        self.assertTrue(self.told("failed"), "the visitor is told")
        self.assertEqual(len(self.cups.printed()), 2)
        self.visit("/record.html")
        self.assertTrue(wait_until(lambda: len(self.cups.printed()) == PAGES, 60))
        # The session's pages are used up: the record again is refused.
        self.visit("/record.html")
        self.assertTrue(self.told("more pages"), "the visitor is told")
        # The next session has all its pages: the print key prints the page
        # that has the focus, and a page that prints in a loop gets exactly
        # the rest, and the notice.
        self.display.click(*button_centre("home"))
        self.home_shown(2)
        self.visit("/record.html")
        self.assertTrue(wait_until(lambda: len(self.cups.printed()) == PAGES + 1, 60))
        self.display.key("ctrl+p")
        self.assertTrue(wait_until(lambda: len(self.cups.printed()) == PAGES + 2, 60))
        self.visit("/loop.html")
        self.assertTrue(wait_until(lambda: len(self.cups.printed()) == 2 * PAGES, 90),
                        self.cups.printed())
        self.assertTrue(self.told("more pages"), "the visitor is told")
        time.sleep(3)
        self.assertEqual(len(self.cups.printed()), 2 * PAGES, "no more than the pages")
        top_levels.stop.set()
        top_levels.join()
        self.assertEqual(top_levels.most, 1, "no window but the kiosk's, ever")
        # CUPS keeps neither the jobs nor their documents.
        self.assertTrue(wait_until(
            lambda: self.cups.run("lpstat", "-W", "all", "-o").stdout == "", 10))
        self.assertEqual([name for name in os.listdir(self.cups.spool) if name[0] in "cd"], [])

    def test_without_the_section_or_the_printer_nothing_prints(self):
        for printing, reported in (
                ("", None),
                ("[Printing]\nEnabled=1\nPrinter=nosuch\n",
                 '[Printing] printer "nosuch" is not known to CUPS')):
            shown = self.site.count("/shown")
            with self.subTest(printing or "no section"), Kiosk(
                    self.display, f"[Options]\nHomepage={self.site.url('/home.html')}\n"
                                  f"Password={PASSWORD}\n{printing}",
                    env={"CUPS_SERVER": self.cups.socket}) as kiosk:
                self.assertTrue(kiosk.toolbar_shown(60), kiosk.output())
                self.home_shown(shown + 1)
                if reported:
                    self.assertTrue(wait_until(lambda: reported in kiosk.output(), 20),
                                    kiosk.output())
                self.visit("/record.html")
                time.sleep(3)
                self.assertEqual(self.cups.printed(), [])
                self.assertEqual(kiosk.visible_windows(), 1)
                self.site.next = "/home.html"


if __name__ == "__main__":
    unittest.main()
