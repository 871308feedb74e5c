#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""How soon speech follows the keyboard: from a Tab press to the speech
request for what took the focus, in the page and on the toolbar.

Runs the real program with [Accessibility] Speech=1 under a private Xvfb
display. A small stand-in for speech-dispatcher on a socket of its own
answers the program's requests and notes when each SPEAK arrives; the Tab
key is sent from this process through XTEST, so nothing else is timed. See
bench/README.md.
"""

import argparse
import ctypes
import os
import socket
import statistics
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("CORVALEN", os.path.join(ROOT, "build", "bin", "corvalen"))
os.environ.setdefault("CORVALEN_ASSETS", os.path.join(ROOT, "assets"))
sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))

from kiosk import Display, Kiosk, PageServer, wait_until  # noqa: E402

LINKS = 10
HOME = ("<!doctype html><html><head><title>Links</title></head><body>"
        + "".join(f"<p><a href='/page{i}.html'>Entry {i}</a>" for i in range(LINKS))
        + "<script>addEventListener('load', () => fetch('/done'));</script></body></html>"
        ).encode()


class SpeechService:
    """Enough of speech-dispatcher's SSIP for the program: every command is
    answered as done, and each text given to SPEAK is noted with the time
    it arrived."""

    def __init__(self, path):
        self.said = []  # (monotonic time, text)
        self.changed = threading.Condition()
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.listener.bind(path)
        self.listener.listen()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            connection, _ = self.listener.accept()
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        lines = connection.makefile("rb")
        data = None
        for raw in lines:
            line = raw.decode(errors="replace").rstrip("\r\n")
            if data is not None:
                if line == ".":
                    with self.changed:
                        self.said.append((arrived, "\n".join(data)))
                        self.changed.notify_all()
                    connection.sendall(b"225-1\r\n225 OK MESSAGE QUEUED\r\n")
                    data = None
                else:
                    data.append(line[1:] if line.startswith("..") else line)
            elif line.upper() == "SPEAK":
                arrived = time.monotonic()
                data = []
                connection.sendall(b"230 OK RECEIVING DATA\r\n")
            elif line.upper().startswith("CHAR"):
                connection.sendall(b"225-1\r\n225 OK MESSAGE QUEUED\r\n")
            elif line.upper() == "QUIT":
                connection.sendall(b"231 HAPPY HACKING\r\n")
                return
            else:
                connection.sendall(b"200 OK\r\n")

    def wait_after(self, start, timeout=5):
        """The first text asked for after `start`, with its delay in ms."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for arrived, text in self.said:
                    if arrived >= start:
                        return (arrived - start) * 1000, text
                if not self.changed.wait(deadline - time.monotonic()):
                    return None


class Keys:
    """Key presses sent straight to the X server through XTEST."""

    def __init__(self, name):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.connection = self.x11.XOpenDisplay(name.encode())

    def press(self, keysym):
        code = self.x11.XKeysymToKeycode(self.connection, self.x11.XStringToKeysym(keysym.encode()))
        self.xtst.XTestFakeKeyEvent(self.connection, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.connection, code, 0, 0)
        self.x11.XFlush(self.connection)

    def close(self):
        self.x11.XCloseDisplay(self.connection)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--presses", type=int, default=50,
                        help="Tab presses timed in the page and on the toolbar, each")
    args = parser.parse_args()
    if not os.access(os.environ["CORVALEN"], os.X_OK):
        sys.exit(f"no program at {os.environ['CORVALEN']}: run ./scripts/build first")
    times = {"page": [], "toolbar": []}
    with tempfile.TemporaryDirectory() as work, Display() as display, \
            PageServer({"/home.html": ("text/html", HOME)}) as server:
        socket_path = os.path.join(work, "speechd.sock")
        service = SpeechService(socket_path)
        settings = f"[Options]\nHomepage={server.url('/home.html')}\n[Accessibility]\nSpeech=1\n"
        # As deployed: the accessibility bus on.
        env = {"GTK_A11Y": "atspi", "SPEECHD_ADDRESS": f"unix_socket:{socket_path}"}
        with Kiosk(display, settings, env=env) as kiosk:
            if not server.wait_for("/done", 60):
                sys.exit("the home page did not load:\n" + kiosk.output())
            if not wait_until(lambda: service.said, 10):
                sys.exit("no speech request on loading:\n" + kiosk.output())
            keys = Keys(display.name)
            try:
                while min(len(t) for t in times.values()) < args.presses:
                    time.sleep(0.15)  # the last press's work is done
                    start = time.monotonic()
                    keys.press("Tab")
                    result = service.wait_after(start)
                    if result is None:
                        sys.exit("a Tab press was not said:\n" + kiosk.output())
                    delay, text = result
                    where = "toolbar" if text.endswith(", button") else "page"
                    times[where].append(delay)
            finally:
                keys.close()
    print(f"Tab press to speech request, {args.presses} presses each "
          "(median, minimum, maximum, 90th percentile):")
    for where, values in times.items():
        values = values[:args.presses]
        tenth = statistics.quantiles(values, n=10)[-1]
        print(f"  {where:8} {statistics.median(values):6.1f} ms  {min(values):6.1f}  "
              f"{max(values):6.1f}  {tenth:6.1f}")


if __name__ == "__main__":
    main()
