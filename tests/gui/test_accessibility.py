# SPDX-License-Identifier: MIT
"""What assistive technology finds on the real program, read from the
accessibility bus as a screen reader would: a name and role for every
control of ours, the exit dialog's field labelled by its label, and nothing
typed into it on the bus."""

import json
import os
import subprocess
import sys
import time
import unittest

from kiosk import Display, Kiosk, PageServer, button_centre, wait_until
from test_touch import key_rows

SECRET = "geheim"
# A text field with the focus, so that the on-screen keyboard shows.
HOME = b"""<!doctype html><html><body><input autofocus>
<script>addEventListener('load', () => fetch('/done'));</script></body></html>"""

# Run in a process of its own on the program's session bus: every node of
# the program's tree as [role, name, [names of its labels], text of an
# editable text].
WALK = """
import json, pyatspi
nodes = []
def walk(node, depth):
    labels = [target.name for relation in node.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
              for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]
    text = ""
    if node.getRoleName() == "text":
        text = node.queryText().getText(0, node.queryText().characterCount)
    nodes.append([node.getRoleName(), node.name, labels, text])
    for i in range(node.childCount if depth < 30 else 0):
        walk(node.getChildAtIndex(i), depth + 1)
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "corvalen":
        walk(app, 0)
print(json.dumps(nodes))
"""


# Every event of the kinds that carry text, as [type, data] lines, until ended.
LISTEN = """
import json, signal, sys, pyatspi
def heard(event):
    print(json.dumps([event.type, str(event.any_data)]), flush=True)
pyatspi.Registry.registerEventListener(heard, "object:text-changed", "object:text-caret-moved",
                                       "object:property-change:accessible-name")
signal.signal(signal.SIGTERM, lambda *args: pyatspi.Registry.stop())
pyatspi.Registry.start()
"""


def program_bus(kiosk):
    """The environment of a process on the program's own session bus."""
    program = os.path.join(kiosk.directory, "corvalen")
    pid = subprocess.run(["pgrep", "-xf", program], capture_output=True, text=True,
                         check=True).stdout.split()[0]
    with open(f"/proc/{pid}/environ", "rb") as f:
        variables = dict(item.split(b"=", 1) for item in f.read().split(b"\0") if b"=" in item)
    return {**os.environ,
            "DBUS_SESSION_BUS_ADDRESS": variables[b"DBUS_SESSION_BUS_ADDRESS"].decode()}


def accessible_nodes(kiosk):
    """The program's accessible tree, as [role, name, labels, text] lists."""
    walked = subprocess.run([sys.executable, "-c", WALK], env=program_bus(kiosk),
                            capture_output=True, text=True, timeout=60)
    return json.loads(walked.stdout) if walked.returncode == 0 else walked.stderr


def nodes_with(kiosk, role, name, timeout=20):
    """The program's tree once it holds a node of `role` and `name`, else
    what was last found."""
    found = None

    def walked():
        nonlocal found
        found = accessible_nodes(kiosk)
        return isinstance(found, list) and [role, name] in [node[:2] for node in found]
    wait_until(walked, timeout)
    return found


class AccessibilityTest(unittest.TestCase):
    def test_every_control_has_a_name_and_a_role(self):
        with Display() as display, PageServer({"/home.html": ("text/html", HOME)}) as server:
            settings = (f"[Options]\nHomepage={server.url('/home.html')}\nPassword={SECRET}\n"
                        "[Touch]\nKeyboard=1\n[Texts]\nHome=Naar huis\n")
            # Accessible names are always on: the accessibility bus as deployed.
            with Kiosk(display, settings, env={"GTK_A11Y": "atspi"}) as kiosk:
                self.assertTrue(server.wait_for("/done", 60), kiosk.output())
                self.assertTrue(kiosk.toolbar_shown())

                expected = [("push button", name) for name in
                            ("Back", "Forward", "Stop", "Refresh", "Naar huis", "Exit")]
                # (GTK 4.8 has no role of a toggle: Shift says it is pressed.)
                expected += [("push button", "Shift"), ("push button", "Backspace"),
                             ("push button", "Enter"), ("push button", "Space"),
                             ("push button", "Digits and symbols"),
                             ("push button", "Hide keyboard"), ("push button", "q")]
                nodes = nodes_with(kiosk, *expected[-1])
                self.assertIsInstance(nodes, list, "the keyboard on the accessibility bus")
                for role, name in expected:
                    self.assertIn([role, name], [node[:2] for node in nodes])
                # (Containers, which a screen reader passes over, may be.)
                unnamed = [node for node in nodes
                           if node[1].startswith("gtkmm__") and node[0] != "filler"]
                self.assertEqual(unnamed, [], "named after a type, not a meaning")

                # A listener on the bus while the dialog opens and the password
                # is typed, on the keyboard and on the keypad: it hears the
                # dialog's name, and nothing typed.
                listener = subprocess.Popen([sys.executable, "-c", LISTEN],
                                            env=program_bus(kiosk), stdout=subprocess.PIPE,
                                            text=True)
                self.addCleanup(listener.kill)
                time.sleep(1)  # (the listener registers with the bus meanwhile)
                display.click(*button_centre("end"))
                dialog = wait_until(lambda: display.window_geometry("Afsluiten"), 10)
                self.assertTrue(dialog)
                display.run("xdotool", "type", "--delay", "50", SECRET)
                # And two letters from the dialog's keypad (q, a).
                x, y, width, _ = dialog
                keys = key_rows(display.screenshot("a11y-keypad"), x, x + width, y + 90)
                for key in (keys[0][0], keys[1][0]):
                    display.click(*key)
                # Each character's events would come within this time.
                time.sleep(1)
                listener.terminate()
                heard = [json.loads(line) for line in listener.communicate(timeout=10)[0].splitlines()]
                self.assertIn(["object:property-change:accessible-name", "Afsluiten"], heard,
                              "the listener hears the program")
                self.assertEqual([event for event in heard if event[0].startswith("object:text")],
                                 [], "nothing typed in the exit dialog on the bus")
                dialog = nodes_with(kiosk, "dialog", "Afsluiten")
                self.assertIn(["dialog", "Afsluiten"], [node[:2] for node in dialog])
                self.assertIn(["Wachtwoord:"], [node[2] for node in dialog],
                              "the exit password's field labelled by its label")
                # Its text, as a screen reader would read it, holds no character typed.
                self.assertIn("*" * (len(SECRET) + 2), [node[3] for node in dialog])
                self.assertFalse([node for node in dialog if set(SECRET) & set(node[3])])

                # A wrong password: the message box is an alert.
                display.run("xdotool", "type", "x")
                display.run("xdotool", "key", "Return")
                alert = nodes_with(kiosk, "alert", "Afsluiten")
                self.assertIn(["alert", "Afsluiten"], [node[:2] for node in alert])
                self.assertIn("Password incorrect", [node[1] for node in alert])
                self.assertFalse([node for node in alert
                                  if node[1].startswith("gtkmm__") and node[0] != "filler"])
                display.run("xdotool", "key", "Return")
                self.assertEqual(kiosk.exit_with(SECRET), 0)

    def test_the_idle_notice_is_an_alert(self):
        with Display() as display, PageServer({"/home.html": ("text/html", HOME)}) as server:
            settings = (f"[Options]\nHomepage={server.url('/home.html')}\n"
                        "[Session]\nIdleReset=10\nIdleWarning=8\n"
                        "[Texts]\nStillThere=Bent u er nog?\n")
            with Kiosk(display, settings, env={"GTK_A11Y": "atspi"}) as kiosk:
                self.assertTrue(kiosk.toolbar_shown())
                display.click(600, 400)  # a visitor
                nodes = nodes_with(kiosk, "alert", "Bent u er nog?")
                self.assertIn(["alert", "Bent u er nog?"], [node[:2] for node in nodes or []])


if __name__ == "__main__":
    unittest.main()
