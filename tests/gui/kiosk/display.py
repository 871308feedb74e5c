# SPDX-License-Identifier: MIT
"""A private X display (Xvfb, optionally managed by openbox), with the
pointer, keyboard and screenshots of xdotool, x11-utils and ImageMagick."""

import os
import random
import subprocess
import tempfile
import time

from .image import Image
from .wait import wait_until

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768
# Two clicks closer than this in time (GTK's default: 400 ms) and place make
# a double click.
DOUBLE_CLICK_TIME = 0.5
DOUBLE_CLICK_DISTANCE = 5
ARTIFACTS = os.environ.get("CORVALEN_ARTIFACTS", tempfile.gettempdir())


class Display:
    """A private Xvfb server with no window manager, as many kiosks run; with
    window_manager=True, openbox manages its windows, as a desktop would.
    Safe to start from tests that run in parallel."""

    def __init__(self, window_manager=False):
        self.window_manager = None
        self.wants_window_manager = window_manager
        self.last_click = None  # (x, y, monotonic time)

    def __enter__(self):
        # A random display number, not -displayfd: servers that parallel tests
        # start at the same moment could otherwise be handed the same number.
        # A server that finds its number taken exits, and another is tried.
        for _ in range(10):
            self.number = random.randint(100, 30000)
            self.name = f":{self.number}"
            self.log = tempfile.TemporaryFile()
            # -noreset: without it the server resets when its last client
            # leaves, as xdpyinfo below does, and drops whoever connects then.
            self.process = subprocess.Popen(
                ["Xvfb", self.name, "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24",
                 "-nolisten", "tcp", "-noreset"], stdout=subprocess.DEVNULL, stderr=self.log,
                start_new_session=True)
            if wait_until(self._answers, 10):
                if self.wants_window_manager:
                    try:
                        self._start_window_manager()
                    except RuntimeError:
                        self.__exit__()
                        raise
                return self
            self.__exit__()
        raise RuntimeError("Xvfb did not start")

    def _ours(self):
        """Whether the display's lock file names our server, so that what
        answers on it is ours and not another test's."""
        try:
            with open(f"/tmp/.X{self.number}-lock", encoding="ascii") as lock:
                return int(lock.read().strip() or 0) == self.process.pid
        except (OSError, ValueError):
            return False

    def _answers(self):
        if self.process.poll() is not None:
            return False
        return self._ours() and subprocess.run(
            ["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL).returncode == 0

    def _start_window_manager(self):
        self.window_manager = subprocess.Popen(
            ["openbox"], env={"DISPLAY": self.name, "PATH": "/usr/bin:/bin", "HOME": "/tmp"},
            stdout=subprocess.DEVNULL, stderr=self.log)

        def managing():
            # openbox names itself on the root window once it manages the screen.
            if self.window_manager.poll() is not None:
                return True
            return "window id" in subprocess.run(
                ["xprop", "-display", self.name, "-root", "_NET_SUPPORTING_WM_CHECK"],
                capture_output=True, text=True).stdout

        if not wait_until(managing, 30) or self.window_manager.poll() is not None:
            self.log.seek(0)
            raise RuntimeError("openbox did not start: "
                               + self.log.read().decode(errors="replace")[-2000:])

    def __exit__(self, *exc):
        if self.window_manager:
            self.window_manager.terminate()
            self.window_manager.wait(timeout=10)
            self.window_manager = None
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=10)
        self.log.close()

    def environment(self):
        """os.environ with this display."""
        return {**os.environ, "DISPLAY": self.name}

    def run(self, *args):
        return subprocess.run(list(args), env=self.environment(), capture_output=True,
                              text=True, check=True).stdout

    def screenshot(self, name):
        """The whole screen as an Image; also kept as NAME.png to look at."""
        os.makedirs(ARTIFACTS, exist_ok=True)
        shot = Image.read(["import", "-window", "root", "-depth", "8", "ppm:-"],
                          env=self.environment())
        shot.save_png(os.path.join(ARTIFACTS, name + ".png"))
        return shot

    def move_pointer(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y))

    def click(self, x, y):
        """A single click: one near the last is held back until the two
        cannot make a double click."""
        if self.last_click:
            last_x, last_y, last_time = self.last_click
            if max(abs(x - last_x), abs(y - last_y)) <= DOUBLE_CLICK_DISTANCE:
                time.sleep(max(0.0, last_time + DOUBLE_CLICK_TIME - time.monotonic()))
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")
        self.last_click = (x, y, time.monotonic())

    def key(self, *keys):
        self.run("xdotool", "key", *keys)

    def type(self, text, delay=20):
        self.run("xdotool", "type", "--delay", str(delay), text)

    def window_geometry(self, title):
        """(x, y, width, height) on the screen of the largest visible window
        with that exact title (a window manager's frame not included), or None."""
        try:
            ids = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$").split()
        except subprocess.CalledProcessError:
            return None  # xdotool found no such window
        best = None
        for window in ids:
            info = {}
            try:
                lines = self.run("xwininfo", "-id", window).splitlines()
            except subprocess.CalledProcessError:
                continue  # gone since the search
            for line in lines:
                key, _, value = line.strip().partition(":")
                info[key] = value.strip()
            geometry = tuple(int(info[k]) for k in ("Absolute upper-left X",
                                                     "Absolute upper-left Y", "Width", "Height"))
            if best is None or geometry[2] * geometry[3] > best[2] * best[3]:
                best = geometry
        return best
