# SPDX-License-Identifier: MIT
"""Runs the real program as a visitor's terminal would: under a private Xvfb
display, against pages served on 127.0.0.1, with screenshots read by pixel.

Only the Python standard library and Debian's xvfb, xdotool, x11-utils,
imagemagick, tesseract-ocr and dbus are used (openbox where a window manager
is wanted, cage for the Wayland kiosk session).
"""

import http.server
import os
import random
import shutil
import signal
import subprocess
import tempfile
import threading
import time

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768
MAGENTA = (255, 0, 255)
# The toolbar as designed: its buttons left to right, each this wide, with its
# picture 3 px in from its left edge and 4 px down.
BUTTONS = ("back", "forward", "stop", "refresh", "home", "end")
BUTTON_WIDTH = 31


def button_centre(name):
    """Where a click on the toolbar button lands, with every button shown."""
    return (BUTTONS.index(name) * BUTTON_WIDTH + 15, 16)


def picture_corner(name):
    """The top-left corner of the button's picture, with every button shown."""
    return (BUTTONS.index(name) * BUTTON_WIDTH + 3, 4)

PROGRAM = os.environ.get("CORVALEN", "")
ASSETS = os.environ.get("CORVALEN_ASSETS", "")
ARTIFACTS = os.environ.get("CORVALEN_ARTIFACTS", tempfile.gettempdir())


def wait_until(condition, timeout, interval=0.1):
    """Polls condition until it returns a true value; returns that or None."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(interval)


class Display:
    """A private Xvfb server with no window manager, as many kiosks run; with
    window_manager=True, openbox manages its windows, as a desktop would."""

    def __init__(self, window_manager=False):
        self.window_manager = None
        self.wants_window_manager = window_manager

    def __enter__(self):
        # A random display number, not -displayfd: servers that parallel tests
        # start at the same moment could otherwise be handed the same number.
        # A server that finds its number taken exits, and another is tried.
        for _ in range(10):
            self.name = f":{random.randint(100, 30000)}"
            self.log = tempfile.TemporaryFile()
            self.process = subprocess.Popen(
                ["Xvfb", self.name, "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24",
                 "-nolisten", "tcp"], stdout=subprocess.DEVNULL, stderr=self.log,
                start_new_session=True)
            if wait_until(self._answers, 10):
                time.sleep(0.3)
                if self.process.poll() is None:
                    if self.wants_window_manager:
                        self.window_manager = subprocess.Popen(
                            ["openbox"], env={"DISPLAY": self.name, "PATH": "/usr/bin:/bin",
                                              "HOME": "/tmp"},
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                        time.sleep(1)
                    return self
            self.__exit__()
        raise RuntimeError("Xvfb did not start")

    def _answers(self):
        if self.process.poll() is not None:
            return False
        return subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0

    def __exit__(self, *exc):
        if self.window_manager:
            self.window_manager.terminate()
            self.window_manager.wait(timeout=10)
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=10)
        self.log.close()

    def run(self, *args):
        return subprocess.run(list(args), env={**os.environ, "DISPLAY": self.name},
                              capture_output=True, text=True, check=True).stdout

    def screenshot(self, name):
        """The whole screen as an Image; also kept as NAME.png to look at."""
        os.makedirs(ARTIFACTS, exist_ok=True)
        path = os.path.join(ARTIFACTS, name + ".png")
        self.run("import", "-window", "root", path)
        return Image.load(path)

    def move_pointer(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y))

    def click(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")

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


class Image:
    """RGB pixels of a picture file, read through ImageMagick."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def load(cls, path):
        size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True,
                              text=True, check=True).stdout.split()
        data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                              check=True).stdout
        return cls(int(size[0]), int(size[1]), data)

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def box_of(self, wanted, top=0):
        """(x, y, width, height) around every pixel below row top for which
        wanted(rgb) holds, or None."""
        xs, ys = [], []
        for y in range(top, self.height):
            row = self.data[3 * y * self.width:3 * (y + 1) * self.width]
            hits = [x for x in range(self.width) if wanted(row[3 * x:3 * x + 3])]
            if hits:
                xs += (hits[0], hits[-1])
                ys.append(y)
        if not ys:
            return None
        return (min(xs), ys[0], max(xs) - min(xs) + 1, ys[-1] - ys[0] + 1)

    def text(self, box):
        """The text that OCR reads in box (x, y, width, height), one line."""
        x, y, width, height = box
        with tempfile.NamedTemporaryFile(suffix=".png") as crop:
            subprocess.run(["convert", "-size", f"{self.width}x{self.height}", "-depth", "8",
                            "rgb:-", "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-scale",
                            "300%", crop.name], input=self.data, check=True)
            return subprocess.run(["tesseract", crop.name, "-", "--psm", "7"],
                                  capture_output=True, text=True).stdout.strip()

    def matches_at(self, picture, left, top, tolerance=40, allowed=0.03):
        """Whether picture's opaque (non-magenta) pixels lie at (left, top)."""
        budget = int(allowed * picture.width * picture.height)
        for y in range(picture.height):
            for x in range(picture.width):
                want = picture.pixel(x, y)
                if want == MAGENTA:
                    continue
                got = self.pixel(left + x, top + y)
                if any(abs(a - b) > tolerance for a, b in zip(want, got)):
                    budget -= 1
                    if budget < 0:
                        return False
        return True

    def find(self, picture, width, height):
        """Top-left corners where picture lies inside the given top-left region."""
        return [(x, y) for y in range(height) for x in range(width)
                if self.matches_at(picture, x, y)]


def toolbar_picture(index, hot=False):
    return Image.load(os.path.join(ASSETS, "pictures", f"{'hot' if hot else 'normal'}-{index}.png"))


def colour_close(got, want, tolerance=8):
    return all(abs(a - b) <= tolerance for a, b in zip(got, want))


class PageServer:
    """Serves pages on 127.0.0.1 (or another loopback address) and records
    each request's path. A page of type "redirect" is a 302 to its body."""

    def __init__(self, pages, delays=None, host="127.0.0.1"):
        self.host = host
        self.pages = pages
        self.delays = delays or {}  # path -> seconds to wait before answering
        self.requests = []
        self.lock = threading.Lock()

    def __enter__(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                with server.lock:
                    server.requests.append(self.path)
                path = self.path.split("?")[0]
                time.sleep(server.delays.get(path, 0))
                content_type, body = server.pages.get(path, ("text/plain", None))
                if content_type == "redirect":
                    self.send_response(302)
                    self.send_header("Location", body)
                    content_type, body = "text/plain", b""
                else:
                    self.send_response(200 if body is not None else 404)
                body = body if body is not None else b"not found"
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

            def handle(self):
                try:
                    super().handle()
                except (BrokenPipeError, ConnectionResetError):
                    pass  # the browser gave up on the request (stop)

        self.httpd = http.server.ThreadingHTTPServer((self.host, 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()

    def url(self, path, host=None):
        return f"http://{host or self.host}:{self.port}{path}"

    def requested(self, path):
        with self.lock:
            return path in self.requests

    def count(self, path):
        with self.lock:
            return self.requests.count(path)

    def wait_for(self, path, timeout=30):
        return wait_until(lambda: self.requested(path), timeout)


class Kiosk:
    """The real program, copied into its own application directory with the
    given corvalen.ini (or none), started with a clean home. With cage=True it
    runs as the only client of cage (as nobody when the tests run as root):
    cage draws into the display through its X11 back end, so that xdotool's
    events reach the program while GTK stays on Wayland."""

    def __init__(self, display, settings=None, program=None, cage=False):
        self.display = display
        self.settings = settings
        self.installed = program  # an installed program, run where it lies
        self.cage = cage

    def __enter__(self):
        self.directory = tempfile.mkdtemp(prefix="corvalen-gui-")
        program = self.installed or os.path.join(self.directory, "corvalen")
        if not self.installed:
            shutil.copy(PROGRAM, program)
        if self.settings is not None and not self.installed:
            with open(os.path.join(self.directory, "corvalen.ini"), "w", encoding="utf-8") as f:
                f.write(self.settings)
        home = os.path.join(self.directory, "home")
        # A steady text cursor, so that screenshots of a text box compare.
        os.makedirs(os.path.join(home, ".config", "gtk-4.0"))
        with open(os.path.join(home, ".config", "gtk-4.0", "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-cursor-blink=false\n")
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
        }
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
