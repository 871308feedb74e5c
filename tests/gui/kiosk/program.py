# SPDX-License-Identifier: MIT
"""The real program in a private application directory, and its toolbar as
a visitor sees it."""

import os
import shutil
import signal
import subprocess
import tempfile

from .image import Image
from .wait import wait_until

PROGRAM = os.environ.get("CORVALEN", "")
ASSETS = os.environ.get("CORVALEN_ASSETS", "")
# The toolbar as designed: its buttons left to right, each this wide, with its
# picture 3 px in from its left edge and 4 px down.
BUTTONS = ("back", "forward", "stop", "refresh", "home", "end")
BUTTON_WIDTH = 31


def copy_program(program, directory):
    """Copies the program into `directory`, with the programs it starts from
    its own directory (corvalen-print); returns the copy's path."""
    copy = os.path.join(directory, "corvalen")
    shutil.copy(program, copy)
    helper = os.path.join(os.path.dirname(program), "corvalen-print")
    if os.path.exists(helper):
        shutil.copy(helper, directory)
    return copy


def button_centre(name):
    """Where a click on the toolbar button lands, with every button shown."""
    return (BUTTONS.index(name) * BUTTON_WIDTH + 15, 16)


def picture_corner(name):
    """The top-left corner of the button's picture, with every button shown."""
    return (BUTTONS.index(name) * BUTTON_WIDTH + 3, 4)


def toolbar_picture(index, hot=False):
    """The picture of button index (1 to 6) as drawn into the program."""
    return Image.load(os.path.join(ASSETS, "pictures", f"{'hot' if hot else 'normal'}-{index}.png"))


class Kiosk:
    """The real program, copied into its own application directory with the
    given corvalen.ini (or none), started with a clean home and `env` added to
    its environment. With cage=True it runs as the only client of cage (as
    nobody when the tests run as root): cage draws into the display through
    its X11 back end, so that xdotool's events reach the program while GTK
    stays on Wayland."""

    def __init__(self, display, settings=None, program=None, cage=False, env=None, files=None):
        self.display = display
        self.env = env or {}
        self.home_files = files or {}  # {path under the program's home: text}
        self.settings = settings
        self.installed = program  # an installed program, run where it lies
        self.cage = cage

    def __enter__(self):
        self.directory = tempfile.mkdtemp(prefix="corvalen-gui-")
        program = self.installed or copy_program(PROGRAM, self.directory)
        if self.settings is not None and not self.installed:
            with open(os.path.join(self.directory, "corvalen.ini"), "w", encoding="utf-8") as f:
                f.write(self.settings)
        home = os.path.join(self.directory, "home")
        # A steady text cursor, so that screenshots of a text box compare.
        os.makedirs(os.path.join(home, ".config", "gtk-4.0"))
        with open(os.path.join(home, ".config", "gtk-4.0", "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-cursor-blink=false\n")
        for path, text in self.home_files.items():
            os.makedirs(os.path.dirname(os.path.join(home, path)), exist_ok=True)
            with open(os.path.join(home, path), "w", encoding="utf-8") as f:
                f.write(text)
        self.home = home
        self.tmp = os.path.join(self.directory, "tmp")
        os.mkdir(self.tmp)
        runtime = os.path.join(self.directory, "runtime")
        os.mkdir(runtime, 0o700)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "TMPDIR": self.tmp,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_RUNTIME_DIR": runtime,
            "DISPLAY": self.display.name,
            "GDK_BACKEND": "x11",
            "GTK_A11Y": "none",
            "NO_AT_BRIDGE": "1",
            # No remote control on the machine's own system bus.
            "DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={runtime}/no-system-bus",
        }
        env.update(self.env)
        self.log = open(os.path.join(self.directory, "output.log"), "w+b")
        command = ["dbus-run-session", "--", program]
        self.status_file = os.path.join(runtime, "status")
        if self.cage:
            # cage does not pass its client's exit status on.
            del env["GDK_BACKEND"]
            env.update({"WLR_BACKENDS": "x11", "WLR_RENDERER": "pixman", "WLR_X11_OUTPUTS": "1"})
            command = ["dbus-run-session", "--", "cage", "--", "/bin/sh", "-c",
                       '"$0"; echo $? > "$1"', program, self.status_file]
            if os.geteuid() == 0:
                # cage refuses root: it runs as nobody.
                os.chmod(self.directory, 0o755)
                for path in (home, self.tmp, runtime):
                    for root, dirs, names in os.walk(path):
                        for name in [root] + [os.path.join(root, n) for n in dirs + names]:
                            shutil.chown(name, "nobody", "nogroup")
                command = ["setpriv", "--reuid=nobody", "--regid=nogroup",
                           "--clear-groups"] + command
        self.process = subprocess.Popen(command, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True,
                                        cwd=home)
        return self

    def exit_status(self, timeout=10):
        """Waits for the program to end; its exit status."""
        status = self.process.wait(timeout=timeout)
        if self.cage:
            with open(self.status_file, encoding="ascii") as f:
                status = int(f.read())
        return status

    def __exit__(self, *exc):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.log.close()
        shutil.rmtree(self.directory, ignore_errors=True)

    def output(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def web_processes(self):
        """The pids of the program's web processes (found by its home in their
        environment: the sandbox hides their parents)."""
        found = subprocess.run(["pgrep", "-f", "WebKitWebProcess"], capture_output=True,
                               text=True).stdout.split()
        mine = []
        for pid in found:
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if self.home.encode() in f.read():
                        mine.append(int(pid))
            except OSError:
                pass  # gone in the meantime
        return mine

    def files(self):
        """Every file under the program's home (caches aside) and temporary
        directory: where a download or a saved page would land."""
        found = set()
        for top in (self.home, self.tmp):
            for root, dirs, names in os.walk(top):
                dirs[:] = [d for d in dirs if d != ".cache"]
                found.update(os.path.join(root, n) for n in names)
        return found

    def visible_windows(self):
        """How many windows of the program are on the screen."""
        try:
            return len(self.display.run("xdotool", "search", "--onlyvisible", "--class",
                                        "corvalen").split())
        except subprocess.CalledProcessError:
            return 0

    def exit_with(self, password):
        """Leaves through the exit button; returns the exit status, or None
        when no password dialog came."""
        self.toolbar_shown()
        self.display.click(*button_centre("end"))
        if not wait_until(lambda: self.display.window_geometry("Afsluiten"), 10):
            return None
        self.display.run("xdotool", "type", "--delay", "20", password)
        self.display.run("xdotool", "key", "Return")
        return self.exit_status()

    def wait_for_window(self, timeout=60):
        return wait_until(lambda: self.display.window_geometry("Corvalen"), timeout)

    def toolbar_shown(self, timeout=30):
        """Waits until the exit button's picture is on the screen, so that a
        click on the toolbar reaches a drawn, working window."""
        return wait_until(lambda: self.display.screenshot("toolbar").matches_at(
            toolbar_picture(6), *picture_corner("end")), timeout)
