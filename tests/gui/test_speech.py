# SPDX-License-Identifier: MIT
"""Speech as a visitor who cannot see hears it: a real speech-dispatcher
whose output module writes each text it is given to a file, in order."""

import os
import tempfile
import time
import unittest

from kiosk import Display, Kiosk, PageServer, button_centre, wait_until

PASSWORD = "geheim"
HOME = b"""<!doctype html><html><head><title>Catalogue</title></head><body>
<h1>Welcome</h1><a href="http://elsewhere.invalid/">Elsewhere</a>
<label for=q>Search</label><input id=q>
<script>addEventListener('load', () => fetch('/done'));</script></body></html>"""
LIBRARY = b"""<!doctype html><html><head><title>Library</title></head><body>
<h1>Welcome</h1><p>Open from nine to five.</p><a href="/hours.html">Hours</a>
<script>addEventListener('load', () => fetch('/done'));</script></body></html>"""
HOURS = b"<!doctype html><title>Opening hours</title><p>Monday to Friday."


def speech_files(spoken):
    """A user configuration of speech-dispatcher that writes each text to
    `spoken`, one line each, and plays nothing."""
    return {
        ".config/speech-dispatcher/speechd.conf":
            'AddModule "file" "sd_generic" "file.conf"\nDefaultModule file\n'
            'AudioOutputMethod "alsa"\nAudioALSADevice "null"\n',
        ".config/speech-dispatcher/modules/file.conf":
            f'GenericExecuteSynth "printf \'%s\\\\n\' \\\'$DATA\\\' >> {spoken}"\n'
            'GenericDelimiters ""\nAddVoice "en" "MALE1" "en"\n',
    }


class SpeechTest(unittest.TestCase):
    def start(self, accessibility, extra="", home=HOME):
        """The kiosk on the home page; returns a function that gives the
        lines said so far."""
        self.display = self.enterContext(Display())
        self.server = self.enterContext(PageServer({"/home.html": ("text/html", home),
                                                    "/hours.html": ("text/html", HOURS)}))
        spoken = os.path.join(self.enterContext(tempfile.TemporaryDirectory()), "spoken")
        settings = (f"[Options]\nHomepage={self.server.url('/home.html')}\n"
                    f"Password={PASSWORD}\n[Accessibility]\n{accessibility}\n{extra}")
        self.kiosk = self.enterContext(Kiosk(self.display, settings, env={"GTK_A11Y": "atspi"},
                                             files=speech_files(spoken)))
        self.assertTrue(self.server.wait_for("/done", 60), self.kiosk.output())
        self.assertTrue(self.kiosk.toolbar_shown())

        def said():
            try:
                with open(spoken, encoding="utf-8") as f:
                    return f.read().splitlines()
            except FileNotFoundError:
                return []
        return said

    def press(self, *keys):
        for key in keys:
            self.display.run("xdotool", "key", key)
            time.sleep(0.6)  # each said before the next cuts it off

    def hears(self, said, line, timeout=10):
        """Waits until `line` was said last."""
        return wait_until(lambda: said() and said()[-1] == line, timeout)

    def test_a_visitor_hears_the_focus_the_dialog_the_alert_and_the_banner(self):
        said = self.start("Speech=1", "[AllowedSites]\nnone=127.0.0.1:1\n")
        self.press("Tab", "Tab")
        self.display.run("xdotool", "type", "--delay", "600", "ab")
        self.press("Tab")
        self.assertTrue(self.hears(said, "Back, button"), said())
        self.display.click(*button_centre("end"))
        self.assertTrue(self.hears(said, "Afsluiten, dialog, Wachtwoord:, password text"), said())
        before = len(said())
        self.display.run("xdotool", "type", "--delay", "300", PASSWORD + "x")
        time.sleep(1)
        typed_in_dialog = said()[before:]
        self.press("Return")
        self.assertTrue(self.hears(said, "Afsluiten, alert, Password incorrect, OK, button"))
        self.press("Return")
        # Back in the main window, where the focus was; Shift+Tab into the
        # page's last element and Tab out again, along the toolbar and into
        # the page's first, a link off the allowed sites, which it follows.
        self.press("shift+Tab", *["Tab"] * 7, "Return")
        self.assertTrue(self.hears(said, "This page is not available on this terminal."), said())
        self.assertEqual(said(), [
            "Catalogue", "Elsewhere, link", "Search, text", "a", "b", "Back, button",
            "Afsluiten, dialog, Wachtwoord:, password text",
            "Afsluiten, alert, Password incorrect, OK, button", "Back, button",
            "Search, text, ab", "Back, button", "Forward, button", "Stop, button",
            "Refresh, button", "Home, button", "Exit, button", "Elsewhere, link",
            "This page is not available on this terminal."])
        self.assertEqual(typed_in_dialog, [], "nothing typed in the exit dialog is said")

    def test_a_visitor_reads_the_page_follows_a_link_and_comes_home(self):
        said = self.start("Speech=1", home=LIBRARY)
        self.assertTrue(self.hears(said, "Library"), said())
        self.press("ctrl+alt+r")
        self.assertTrue(wait_until(lambda: "Hours" in said()[-1], 10), said())
        self.press("Tab", "Return")
        self.assertTrue(self.hears(said, "Opening hours"), said())
        self.press(*["Tab"] * 5, "Return")
        self.assertTrue(self.server.wait_for("/done", 30, count=2))
        self.assertTrue(self.hears(said, "Library"), said())
        # (speech-dispatcher gives the reading to its module a sentence at a time)
        self.assertEqual("".join(said()[1:3]), "Welcome Open from nine to five. Hours")
        self.assertEqual(said()[3:], ["Hours, link", "Opening hours", "Back, button",
                                      "Forward, button", "Stop, button", "Refresh, button",
                                      "Home, button", "Library"])

    def test_the_speech_key_turns_speech_on_and_off_and_a_new_session_off(self):
        said = self.start("Speech=2", "[Session]\nClearOnHome=1\n")
        self.press("Tab")
        self.press("ctrl+alt+s")
        self.assertTrue(self.hears(said, "Speech on"), said())
        self.press("Tab")
        self.assertTrue(self.hears(said, "Search, text"), said())
        self.press("ctrl+alt+s")
        self.assertTrue(self.hears(said, "Speech off"), said())
        self.press("shift+Tab")
        self.press("ctrl+alt+s", "Tab")
        self.assertTrue(self.hears(said, "Search, text"), said())
        # The home button ends the session: speech is off for the next visitor.
        self.display.click(*button_centre("home"))
        self.assertTrue(self.server.wait_for("/done", 30, count=2))
        self.press("Tab", "Tab")
        time.sleep(1)
        self.assertEqual(said(), ["Speech on", "Search, text", "Speech off", "Speech on",
                                  "Search, text"])


if __name__ == "__main__":
    unittest.main()
