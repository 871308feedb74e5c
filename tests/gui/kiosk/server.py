# SPDX-License-Identifier: MIT
"""Pages on a loopback address, with a record of every request that tests
and benches wait on: a page reports what it saw by fetching a path."""

import http.server
import socket
import ssl
import struct
import threading
import time


class Page:
    """One answer: status, content type, body and extra headers."""

    def __init__(self, body=b"", content_type="text/html", status=200, headers=()):
        self.body = body.encode() if isinstance(body, str) else body
        self.content_type = content_type
        self.status = status
        self.headers = tuple(headers)


def redirect(location):
    """A 302 to location."""
    return Page(content_type="text/plain", status=302, headers=[("Location", location)])


NOT_FOUND = Page(b"not found", "text/plain", 404)


def as_page(entry):
    """A Page from a Page or a (content type, body) pair; a content type of
    "redirect" makes the body the redirect's location."""
    if entry is None or isinstance(entry, Page):
        return entry
    content_type, body = entry
    if content_type == "redirect":
        return redirect(body)
    return Page(body, content_type)


class PageServer:
    """Serves pages on 127.0.0.1 (or another loopback address) and records
    each request's path (with its query) and arrival time.

    pages: path -> Page or (content type, body), looked up without the query;
    a subclass may answer other paths by overriding page(). delays: path ->
    seconds to wait before answering. listening=False makes a server that is
    down and comes up later at the same address: until listen() it resets
    every connection at once, and records when in `refused`. tls=(certificate,
    key) serves https."""

    def __init__(self, pages=None, delays=None, host="127.0.0.1", listening=True, tls=None,
                 no_store=True):
        self.host = host
        self.pages = pages if pages is not None else {}
        self.delays = delays or {}
        self.listening = listening
        self.tls = tls
        self.no_store = no_store
        self.requests = []  # paths in arrival order
        self.times = []  # monotonic arrival time of each
        self.connections = 0  # accepted, whether a request follows or not
        self.refused = []  # monotonic times of the connections reset while down
        self.up = threading.Event()
        self.changed = threading.Condition(threading.RLock())

    def page(self, path, query):
        """The answer for path (query aside), or None for a 404."""
        return as_page(self.pages.get(path))

    def __enter__(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                with server.changed:
                    server.requests.append(self.path)
                    server.times.append(time.monotonic())
                    server.changed.notify_all()
                path, _, query = self.path.partition("?")
                time.sleep(server.delays.get(path, 0))
                page = server.page(path, query) or NOT_FOUND
                self.send_response(page.status)
                self.send_header("Content-Type", page.content_type)
                self.send_header("Content-Length", str(len(page.body)))
                if server.no_store:
                    self.send_header("Cache-Control", "no-store")
                for name, value in page.headers:
                    self.send_header(name, value)
                self.end_headers()
                self.wfile.write(page.body)

            def log_message(self, *args):
                pass

            def handle(self):
                with server.changed:
                    server.connections += 1
                    server.changed.notify_all()
                try:
                    if server.tls:
                        self.request.do_handshake()
                    super().handle()
                except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
                    pass  # the browser gave up on the request (stop, a refused certificate)

        self.httpd = http.server.ThreadingHTTPServer((self.host, 0), Handler,
                                                     bind_and_activate=False)
        self.httpd.daemon_threads = True
        self.httpd.server_bind()
        self.port = self.httpd.server_address[1]
        if self.tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*self.tls)
            # The handshake happens in the request's thread, after the
            # connection is counted.
            self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True,
                                                    do_handshake_on_connect=False)
        self.thread = None
        self.httpd.server_activate()
        if self.listening:
            self.listen()
        else:
            self.httpd.socket.settimeout(0.05)
            self.down = threading.Thread(target=self.reset_connections, daemon=True)
            self.down.start()
        return self

    def reset_connections(self):
        while not self.up.is_set():
            try:
                connection, _ = self.httpd.socket.accept()
            except OSError:
                continue  # a timeout, to see whether the server is up
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            connection.close()
            with self.changed:
                self.refused.append(time.monotonic())
                self.changed.notify_all()

    def listen(self):
        """Starts answering (at once, unless listening=False was given)."""
        if not self.listening:
            self.up.set()
            self.down.join()
            self.httpd.socket.settimeout(None)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def __exit__(self, *exc):
        self.up.set()
        if self.thread:
            self.httpd.shutdown()
        self.httpd.server_close()

    def url(self, path, host=None):
        scheme = "https" if self.tls else "http"
        return f"{scheme}://{host or self.host}:{self.port}{path}"

    def requested(self, path):
        with self.changed:
            return path in self.requests

    def count(self, path):
        with self.changed:
            return self.requests.count(path)

    def arrivals(self, path):
        """The monotonic arrival times of every request for path."""
        with self.changed:
            return [t for p, t in zip(self.requests, self.times) if p == path]

    def wait(self, condition, timeout):
        """Waits until condition() holds, looking again at each request;
        returns its last value."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                result = condition()
                left = deadline - time.monotonic()
                if result or left <= 0:
                    return result
                self.changed.wait(left)

    def wait_for(self, path, timeout=30, count=1):
        """Waits until path (with its query) has been asked for count times;
        the arrival time of that request, or None."""
        if not self.wait(lambda: self.count(path) >= count, timeout):
            return None
        return self.arrivals(path)[count - 1]
