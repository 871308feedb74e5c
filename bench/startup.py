#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Start-up time and memory of Corvalen beside the engine floor and its peers.

For each browser: spawn it under a private Xvfb display with a fresh home and
profile, time from the spawn until the home page's `load` handler fetches
/done from the loopback page server, then sum the proportional set size (PSS)
of its whole process tree two seconds later. See bench/README.md.
"""

import argparse
import datetime
import os
import platform
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))

import kiosk  # noqa: E402

ALL_BROWSERS = ["corvalen", "floor", "chromium", "firefox", "cog"]

# ----------------------------------------------------------------- the pages

REPORT = """<script>
addEventListener('load', function () { fetch('/done' + location.search); });
</script>"""

TRIVIAL = ("<!doctype html><html><head><meta charset='utf-8'><title>trivial</title>"
           + REPORT + "</head><body><h1>Hello</h1><p>A trivial page.</p></body></html>")


def png(width, height, seed):
    """A noisy gradient PNG, so that it neither compresses to nothing nor
    decodes for free."""
    rows = []
    state = seed * 2654435761 & 0xFFFFFFFF
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            noise = state >> 27
            row += bytes(((x + seed * 40) & 255, (y + noise) & 255, (x ^ y) & 255))
        rows.append(bytes(row))
    raw = b"".join(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 6))
            + chunk(b"IEND", b""))


def heavy_script(size):
    """About SIZE bytes of script that is parsed and run: data tables and
    functions that build part of the page."""
    parts = ["'use strict';\nvar TABLE = ["]
    i = 0
    while sum(map(len, parts)) < size * 0.6:
        parts.append(f"{{id:{i},name:'item-{i}',price:{(i * 37) % 1000 / 10},"
                     f"tags:['t{i % 7}','t{i % 11}']}},\n")
        i += 1
    parts.append("];\n")
    j = 0
    while sum(map(len, parts)) < size:
        parts.append(f"function f{j}(a, b) {{ var s = 0; for (var k = 0; k < a.length; k++)"
                     f" {{ s += (a[k].price * {j % 13 + 1}) % (b + {j}); }} return s; }}\n")
        j += 1
    parts.append(f"""
document.addEventListener('DOMContentLoaded', function () {{
  var body = document.getElementById('rows'), total = 0;
  for (var n = 0; n < {j}; n += 50) total += window['f' + n](TABLE, 7);
  for (var r = 0; r < 200; r++) {{
    var t = TABLE[r], tr = document.createElement('tr');
    tr.innerHTML = '<td>' + t.id + '</td><td>' + t.name + '</td><td>' + t.price + '</td>';
    body.appendChild(tr);
  }}
  document.getElementById('total').textContent = total.toFixed(2);
}});
""")
    return "".join(parts).encode()


def heavy_css():
    rules = ["body { font: 15px/1.4 sans-serif; margin: 0; background: #fafafa; }",
             "header { background: linear-gradient(#345, #123); color: white; padding: 20px; }",
             ".grid { display: grid; grid-template-columns: repeat(4, 1fr); gap: 8px; }",
             ".grid img { width: 100%; border-radius: 6px; box-shadow: 0 2px 6px #0004; }",
             "table { border-collapse: collapse; width: 100%; }",
             "td { border-bottom: 1px solid #ddd; padding: 2px 6px; }"]
    for i in range(400):
        rules.append(f".c{i} {{ color: #{(i * 97) % 4096:03x}; margin-left: {i % 17}px; "
                     f"transform: rotate({i % 5}deg); }}")
    return "\n".join(rules).encode()


def heavy_page():
    cells = "".join(f"<img src='/img{i}.png' alt=''>" for i in range(4))
    paragraphs = "".join(f"<p class='c{i * 13 % 400}'>Paragraph {i}: "
                         + "lorem ipsum dolor sit amet " * 12 + "</p>" for i in range(40))
    return ("<!doctype html><html><head><meta charset='utf-8'><title>heavy</title>"
            "<link rel='stylesheet' href='/style.css'><script src='/app.js'></script>" + REPORT
            + "</head><body><header><h1>Heavy page</h1><p>Total: <span id='total'></span></p>"
            "</header><div class='grid'>" + cells + "</div>" + paragraphs
            + "<table><tbody id='rows'></tbody></table></body></html>")


# What the pages of the long run do besides showing text, in turn: nothing
# more; images (of a set of 80, so the caches fill); a script that allocates
# and draws; a script that leaks: it keeps detached elements and arrays for
# as long as the page lives, and adds to the session's storage, which lives
# on with the session.
WALK_KINDS = ["text", "images", "allocates", "leaks"]
WALK_SCRIPTS = {
    "text": "",
    "images": "",
    "allocates": (
        "var canvas = document.createElement('canvas'); canvas.width = canvas.height = 512;"
        "var g = canvas.getContext('2d');"
        "for (var i = 0; i < 200; i++) { g.fillStyle = 'hsl(' + (i * 7 % 360) + ',60%,50%)';"
        " g.fillRect(i % 17 * 30, i % 13 * 40, 60, 60); }"
        "var blocks = []; for (var b = 0; b < 20; b++) blocks.push(new Float64Array(65536));"
        "document.addEventListener('DOMContentLoaded', function () {"
        " document.body.appendChild(canvas); });"),
    "leaks": (
        "window.kept = []; for (var k = 0; k < 50; k++) {"
        " var div = document.createElement('div'); div.innerHTML = '<p>' + 'x'.repeat(2000)"
        " + '</p>'; window.kept.push(div, new Array(10000).fill(k)); }"
        "try { sessionStorage.setItem('page' + (N % 400), 'y'.repeat(8000)); } catch (e) {}"),
}


def walk_page(n, last, pause_ms):
    """Page N of the long run: its own text, and images or a script by its
    kind; its load handler reports and goes on to page N+1."""
    kind = WALK_KINDS[n % len(WALK_KINDS)]
    go_on = "" if n >= last else (
        f"setTimeout(function () {{ location.href = '/walk/{n + 1}.html' + location.search; }},"
        f" {pause_ms});")
    words = " ".join(f"word{n}-{k}" for k in range(300))
    images = "".join(f"<img src='/img{(n + i) % 4}.png?v={(n + i) % 80}' width='128'>"
                     for i in range(6 if kind == "images" else 1))
    return (f"<!doctype html><html><head><meta charset='utf-8'><title>page {n} ({kind})</title>"
            f"<style>.p{n} {{ color: #{n * 37 % 4096:03x}; }}</style>"
            f"<script>var N = {n};" + WALK_SCRIPTS[kind]
            + f"addEventListener('load', function () {{"
            f" fetch('/done' + location.search + '&page={n}').then(function () {{ {go_on} }}); }});"
            f"</script></head><body><h1 class='p{n}'>Page {n}</h1>{images}<p>{words}</p>"
            "</body></html>")


class PageServer(kiosk.PageServer):
    """Serves the pages on 127.0.0.1, and the walk's pages by their number;
    each page's load handler reports to /done with the run's query."""

    def __init__(self, walk_pages=300, walk_pauses=None):
        pages = {
            "/trivial.html": ("text/html", TRIVIAL.encode()),
            "/heavy.html": ("text/html", heavy_page().encode()),
            "/style.css": ("text/css", heavy_css()),
            "/app.js": ("text/javascript", heavy_script(200 * 1024)),
            "/done": ("text/plain", b"ok"),
        }
        for i in range(4):
            pages[f"/img{i}.png"] = ("image/png", png(512, 384, i + 1))
        # Browsers cache as they would on the web.
        super().__init__(pages, no_store=False)
        self.walk_pages = walk_pages
        self.walk_pauses = walk_pauses or {}

    def page(self, path, query):
        if path.startswith("/walk/") and path.endswith(".html"):
            n = int(path[6:-5])
            return kiosk.Page(walk_page(n, self.walk_pages, self.walk_pauses.get(n, 50)))
        return super().page(path, query)

    def wait_done(self, query, timeout):
        """The monotonic time of the first /done with that query, or None."""
        return self.wait_for(f"/done?{query}", timeout)


# ------------------------------------------------------------ the processes

def proc_table():
    """pid -> (ppid, session id) of every process."""
    table = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                fields = f.read().rpartition(")")[2].split()
        except OSError:
            continue
        table[int(name)] = (int(fields[1]), int(fields[3]))
    return table


def process_tree(root):
    """The root and every process below it by parent links, plus whatever is
    still in its session (a helper whose parent has gone)."""
    table = proc_table()
    children = {}
    for pid, (ppid, _) in table.items():
        children.setdefault(ppid, []).append(pid)
    found, todo = set(), [root]
    while todo:
        pid = todo.pop()
        if pid in found or pid not in table:
            continue
        found.add(pid)
        todo.extend(children.get(pid, []))
    found.update(pid for pid, (_, sid) in table.items() if sid == root)
    return found


def memory_kb(pids):
    """(PSS, USS) of the processes in kB. PSS shares each page among the
    processes that map it, so it moves with whatever else runs the same
    libraries; USS (private memory: what ending the processes would free) does
    not."""
    pss = uss = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    key, _, value = line.partition(":")
                    if key == "Pss":
                        pss += int(value.split()[0])
                    elif key in ("Private_Clean", "Private_Dirty"):
                        uss += int(value.split()[0])
        except (OSError, ValueError):
            pass  # gone in the meantime
    return pss, uss


def pss_kb(pids):
    return memory_kb(pids)[0]


def command_names(pids):
    """The processes as NAME:PSS-MB, biggest first."""
    names = []
    for pid in pids:
        try:
            with open(f"/proc/{pid}/comm") as f:
                names.append((pss_kb([pid]), f.read().strip()))
        except OSError:
            pass
    return [f"{name}:{kb / 1024:.0f}" for kb, name in sorted(names, reverse=True)]


def end_tree(process):
    """Ends the process and everything it started, by PID."""
    for sig, grace in ((signal.SIGTERM, 5.0), (signal.SIGKILL, 5.0)):
        pids = process_tree(process.pid) if process.poll() is None else set()
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        for pid in pids:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            process.poll()
            if process.returncode is not None and not process_tree(process.pid) - {process.pid}:
                return
            time.sleep(0.05)
    process.wait(timeout=5)


class BenchDisplay(kiosk.Display):
    """The tests' private X display; with wayland=True, also a Weston
    compositor on it."""

    def __init__(self, wayland=False, home=None):
        super().__init__()
        self.wayland, self.home = wayland, home
        self.weston = None

    def __enter__(self):
        super().__enter__()
        if self.wayland:
            runtime = os.path.join(self.home, "runtime")
            self.weston = subprocess.Popen(
                ["weston", "--backend=x11-backend.so", "--width=1024", "--height=768",
                 "--socket=wayland-bench", "--idle-time=0"],
                env={"PATH": "/usr/bin:/bin", "DISPLAY": self.name, "HOME": self.home,
                     "XDG_RUNTIME_DIR": runtime},
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            socket = os.path.join(runtime, "wayland-bench")
            kiosk.wait_until(lambda: os.path.exists(socket), 15, interval=0.05)
        return self

    def __exit__(self, *exc):
        if self.weston is not None:
            end_tree(self.weston)
        super().__exit__(*exc)


# -------------------------------------------------------------- the browsers

class Browser:
    def __init__(self, name, base, extra_env=None, extra_args=None, program=None, settings=None):
        self.name, self.base = name, base
        self.extra_env = extra_env or {}
        self.extra_args = extra_args or []
        self.program = program  # another build of Corvalen or the floor, to compare with
        self.settings = settings or []  # lines added to Corvalen's corvalen.ini

    def path(self, args, name):
        return self.program or os.path.join(args.build, "bin", name)

    def available(self, args):
        """None when it can run here, else why not."""
        if self.base == "corvalen":
            return None if os.access(self.path(args, "corvalen"), os.X_OK) else "not built"
        if self.base == "floor":
            return None if os.access(self.path(args, "corvalen-bench-floor"), os.X_OK) \
                else "not built"
        if self.base == "chromium":
            return None if shutil.which("chromium") else "not installed (Debian package chromium)"
        if self.base == "firefox":
            return None if shutil.which("firefox-esr") else \
                "not installed (Debian package firefox-esr)"
        if self.base == "cog":
            if not shutil.which("cog"):
                return "not installed (Debian package cog)"
            if not shutil.which("weston"):
                return ("Debian's cog has no X11 platform, only Wayland, DRM and headless; "
                        "it needs a Wayland compositor (Debian package weston)")
            return None
        return "unknown browser"

    def command(self, args, url, work):
        """The command line, after preparing a fresh profile in WORK."""
        if self.base == "corvalen":
            app = os.path.join(work, "app")
            os.mkdir(app)
            program = kiosk.copy_program(self.path(args, "corvalen"), app)
            with open(os.path.join(app, "corvalen.ini"), "w") as f:
                f.write(f"[Options]\nHomepage={url}\n")
                f.write("".join(line + "\n" for line in self.settings))
            return [program]
        if self.base == "floor":
            return [self.path(args, "corvalen-bench-floor"), url]
        if self.base == "chromium":
            command = ["chromium", "--kiosk", "--no-first-run", "--disable-background-networking",
                       "--disable-component-update", "--disable-sync", "--no-default-browser-check",
                       "--disable-breakpad", "--disable-domain-reliability", "--no-pings",
                       "--password-store=basic", "--ozone-platform=x11",
                       f"--user-data-dir={os.path.join(work, 'chromium')}"]
            if os.geteuid() == 0:
                command.append("--no-sandbox")  # Chromium refuses root otherwise
            return command + [url]
        if self.base == "firefox":
            profile = os.path.join(work, "firefox")
            os.mkdir(profile)
            with open(os.path.join(profile, "user.js"), "w") as f:
                f.write(FIREFOX_PREFS)
            return ["firefox-esr", "--kiosk", "--no-remote", "-profile", profile, url]
        if self.base == "cog":
            return ["cog", "--platform=wl", url]
        raise ValueError(self.base)


# Everything that would reach beyond 127.0.0.1 or show a first-run page.
FIREFOX_PREFS = "".join(f'user_pref("{k}", {v});\n' for k, v in [
    ("app.update.enabled", "false"), ("app.update.auto", "false"),
    ("app.normandy.enabled", "false"), ("app.shield.optoutstudies.enabled", "false"),
    ("browser.aboutwelcome.enabled", "false"), ("browser.shell.checkDefaultBrowser", "false"),
    ("browser.startup.homepage_override.mstone", '"ignore"'),
    ("browser.safebrowsing.malware.enabled", "false"),
    ("browser.safebrowsing.phishing.enabled", "false"),
    ("browser.safebrowsing.downloads.enabled", "false"),
    ("browser.safebrowsing.provider.mozilla.updateURL", '""'),
    ("browser.search.update", "false"), ("browser.region.network.url", '""'),
    ("browser.region.update.enabled", "false"),
    ("browser.newtabpage.activity-stream.feeds.topsites", "false"),
    ("browser.newtabpage.activity-stream.feeds.section.topstories", "false"),
    ("browser.newtabpage.activity-stream.telemetry", "false"),
    ("browser.ping-centre.telemetry", "false"), ("captivedetect.canonicalURL", '""'),
    ("datareporting.healthreport.uploadEnabled", "false"),
    ("datareporting.policy.dataSubmissionEnabled", "false"),
    ("extensions.update.enabled", "false"), ("extensions.getAddons.cache.enabled", "false"),
    ("extensions.systemAddon.update.enabled", "false"),
    ("network.captive-portal-service.enabled", "false"),
    ("network.connectivity-service.enabled", "false"), ("network.dns.disablePrefetch", "true"),
    ("network.prefetch-next", "false"), ("network.predictor.enabled", "false"),
    ("services.settings.server", '"http://127.0.0.1:1/"'),
    ("toolkit.telemetry.enabled", "false"), ("toolkit.telemetry.unified", "false"),
    ("toolkit.telemetry.server", '""'), ("messaging-system.rsexperimentloader.enabled", "false"),
])


def parse_variant(text):
    """NAME=BASE[:PROGRAM][,KEY=VALUE...][,--arg...][,[Section]Key=Value...]: a
    browser run with extra environment or arguments, or for Corvalen settings,
    to measure one setting; PROGRAM is another build of Corvalen or the floor,
    to measure a change against the one before."""
    name, _, rest = text.partition("=")
    items = rest.split(",")
    base, _, program = items[0].partition(":")
    env, extra, settings = {}, [], []
    for item in items[1:]:
        if item.startswith("-"):
            extra.append(item)
        elif item.startswith("["):
            section, _, line = item[1:].partition("]")
            settings += [f"[{section}]", line]
        else:
            key, _, value = item.partition("=")
            env[key] = value
    return Browser(name, base, env, extra, program or None, settings)


# ---------------------------------------------------------------- one run

class RunFailed(Exception):
    pass


def run_once(args, server, browser, page, token, walk_marks=None):
    """Starts the browser on the page; returns (start-up ms, (PSS kB, USS kB),
    processes) or, for a walk, [(page, PSS kB, USS kB)] at each mark."""
    work = tempfile.mkdtemp(prefix=f"corvalen-bench-{browser.name}-")
    try:
        home = os.path.join(work, "home")
        runtime = os.path.join(work, "home", "runtime")
        os.makedirs(runtime, 0o700)
        with BenchDisplay(wayland=browser.base == "cog", home=home) as display:
            query = f"run={token}"
            url = server.url(f"{page}?{query}")
            command = browser.command(args, url, work) + browser.extra_args
            env = {
                "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                "HOME": home,
                "TMPDIR": work,
                "XDG_RUNTIME_DIR": runtime,
                "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                "XDG_CACHE_HOME": os.path.join(home, ".cache"),
                "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
                "DISPLAY": display.name,
                "GDK_BACKEND": "x11",
                "LANG": "C.UTF-8",
            }
            if browser.base == "cog":
                env["WAYLAND_DISPLAY"] = "wayland-bench"
                del env["GDK_BACKEND"]
            env.update(browser.extra_env)
            log = open(os.path.join(work, "output.log"), "w+b")
            start = time.monotonic()
            process = subprocess.Popen(["dbus-run-session", "--"] + command, env=env, cwd=home,
                                       stdin=subprocess.DEVNULL, stdout=log,
                                       stderr=subprocess.STDOUT, start_new_session=True)
            try:
                if walk_marks is None:
                    done = server.wait_done(query, args.timeout)
                    if done is None:
                        raise RunFailed(f"{browser.name}: no load within {args.timeout} s")
                    time.sleep(args.settle)
                    pids = process_tree(process.pid)
                    return (done - start) * 1000, memory_kb(pids), command_names(pids)
                figures = []
                for mark in walk_marks:
                    done = server.wait_done(f"{query}&page={mark}", args.timeout * 4)
                    if done is None:
                        raise RunFailed(f"{browser.name}: page {mark} of the walk did not load")
                    time.sleep(args.settle)
                    pss, uss = memory_kb(process_tree(process.pid))
                    figures.append((mark, pss, uss))
                    print(f"  {browser.name}: after {mark} pages PSS {pss / 1024:.1f} MB, "
                          f"USS {uss / 1024:.1f} MB", flush=True)
                return figures
            except RunFailed:
                log.flush()
                log.seek(0)
                tail = log.read().decode(errors="replace")[-2000:]
                raise RunFailed(f"{browser.name} failed; its output ended:\n{tail}") from None
            finally:
                end_tree(process)
                log.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)


# ------------------------------------------------------------- reporting

def machine():
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kb = int(f.readline().split()[1])
    load = os.getloadavg()[0]
    return (f"{datetime.date.today()}, {platform.node()}: {os.cpu_count()} CPUs ({model}), "
            f"{mem_kb / 1048576:.1f} GiB, load {load:.2f} at start")


def versions():
    found = []
    for label, command in [("WebKitGTK", ["pkg-config", "--modversion", "webkitgtk-6.0"]),
                           ("GTK", ["pkg-config", "--modversion", "gtk4"]),
                           ("Chromium", ["chromium", "--version"]),
                           ("Firefox ESR", ["firefox-esr", "--version"]),
                           ("Cog", ["cog", "--version"])]:
        if shutil.which(command[0]):
            try:
                out = subprocess.run(command, capture_output=True, text=True, timeout=30,
                                     env={**os.environ, "HOME": tempfile.gettempdir()}).stdout
                found.append(f"{label} {out.strip().splitlines()[0] if out.strip() else '?'}")
            except (subprocess.SubprocessError, OSError):
                pass
    return "; ".join(found)


def summary(values):
    return statistics.median(values), min(values), max(values)


def render(path, width, height, draw):
    """Draws ImageMagick's -draw primitives on white into the PNG at path."""
    command = ["convert", "-size", f"{width}x{height}", "xc:white", "-font", "DejaVu-Sans",
               "-pointsize", "13"]
    for item in draw:
        command += ["-draw", item]
    subprocess.run(command + [path], check=True)


def draw_chart(path, pages, names, results):
    """Bars of median start-up and PSS per browser, one colour per page,
    drawn with ImageMagick."""
    width, height, top, bottom = 1000, 460, 50, 110
    panel = (width - 60) // 2
    colours = ["#3465a4", "#f57900", "#73d216"]
    draw = []
    for index, (title, unit, key) in enumerate([("Start-up to load (median)", "ms", 0),
                                                ("PSS of the process tree (median)", "MB", 1)]):
        left = 40 + index * (panel + 20)
        values = [summary(results[(n, p)][key])[0] for n in names for p in pages
                  if results.get((n, p))]
        scale = max(values or [1]) * 1.15
        plot_h = height - top - bottom
        draw.append(f"fill none stroke #888 line {left},{height - bottom} "
                    f"{left + panel},{height - bottom}")
        draw.append(f"stroke none fill black text {left},{top - 20} '{title} [{unit}]'")
        slot = panel / max(len(names), 1)
        bar = min(40, slot / (len(pages) + 1))
        for i, name in enumerate(names):
            x0 = left + i * slot + (slot - bar * len(pages)) / 2
            for j, page in enumerate(pages):
                figures = results.get((name, page))
                if not figures:
                    continue
                value = summary(figures[key])[0]
                h = plot_h * value / scale
                x = x0 + j * bar
                draw.append(f"stroke none fill {colours[j % 3]} rectangle {x:.0f},"
                            f"{height - bottom - h:.0f} {x + bar - 3:.0f},{height - bottom}")
                draw.append(f"fill black text {x:.0f},{height - bottom - h - 4:.0f} "
                            f"'{value:.0f}'")
            draw.append(f"fill black text {left + i * slot + 4:.0f},{height - bottom + 18} "
                        f"'{name[:16]}'")
    for j, page in enumerate(pages):
        draw.append(f"fill {colours[j % 3]} rectangle {40 + j * 120},{height - 40} "
                    f"{52 + j * 120},{height - 28}")
        draw.append(f"fill black text {58 + j * 120},{height - 29} '{page} page'")
    render(path, width, height, draw)


def draw_walk_chart(path, walks):
    """PSS (solid) and USS (thin) of each browser's tree over the long run,
    drawn with ImageMagick."""
    width, height, left, right, top, bottom = 900, 420, 60, 40, 40, 70
    colours = ["#3465a4", "#f57900", "#73d216", "#75507b"]
    last = max(page for figures in walks.values() for page, _, _ in figures)
    most = max(pss for figures in walks.values() for _, pss, _ in figures) / 1024 * 1.1
    plot_w, plot_h = width - left - right, height - top - bottom

    def point(page, kb):
        return (f"{left + plot_w * page / last:.0f},"
                f"{height - bottom - plot_h * kb / 1024 / most:.0f}")

    draw = [f"fill none stroke #888 line {left},{height - bottom} {width - right},{height - bottom}",
            f"fill none stroke #888 line {left},{top} {left},{height - bottom}",
            "stroke none fill black text 60,24 'Memory of the process tree over the walk [MB]; "
            "solid PSS, thin USS'"]
    for mb in range(0, int(most) + 1, 50):
        y = height - bottom - plot_h * mb / most
        draw.append(f"stroke none fill black text 20,{y + 4:.0f} '{mb}'")
        draw.append(f"fill none stroke #ddd line {left + 1},{y:.0f} {width - right},{y:.0f}")
    step = 500 if last > 1000 else 50
    for page in range(0, last + 1, step):
        x = left + plot_w * page / last
        draw.append(f"stroke none fill black text {x - 10:.0f},{height - bottom + 16} '{page}'")
    for i, (name, figures) in enumerate(walks.items()):
        colour = colours[i % len(colours)]
        for key, stroke in ((1, 3), (2, 1)):
            # Segment by segment: ImageMagick 6 strokes wide polylines with a
            # stray chord.
            points = [point(figure[0], figure[key]) for figure in figures]
            draw += [f"fill none stroke {colour} stroke-width {stroke} line {a} {b}"
                     for a, b in zip(points, points[1:])]
        draw.append(f"stroke none fill {colour} rectangle {left + i * 180},{height - 30} "
                    f"{left + 12 + i * 180},{height - 18}")
        draw.append(f"stroke none fill black text {left + 18 + i * 180},{height - 19} '{name}'")
    render(path, width, height, draw)


# ------------------------------------------------------------------ main

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="measured runs per browser and page")
    parser.add_argument("--quick", action="store_true",
                        help="one run, no warm-up, trivial page only: checks the bench works")
    parser.add_argument("--only", default=",".join(ALL_BROWSERS),
                        help="comma-separated browsers (default: %(default)s)")
    parser.add_argument("--pages", default="trivial,heavy", help="trivial and/or heavy")
    parser.add_argument("--variant", action="append", default=[], metavar="NAME=BASE,...",
                        help="also run BASE as NAME with extra KEY=VALUE environment or "
                             "--arguments, e.g. floor-cairo=floor,GSK_RENDERER=cairo; "
                             "BASE:PROGRAM runs another build, e.g. before=corvalen:/tmp/corvalen")
    parser.add_argument("--walk", type=int, nargs="?", const=300, metavar="PAGES",
                        help="long run instead: walk through PAGES pages (300), PSS every 50 "
                             "(every 100 from 1,000 pages on)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--chart", help="bar chart PNG (default: BUILD/bench/startup.png)")
    parser.add_argument("--settle", type=float, default=2.0,
                        help="seconds after the load before PSS is read")
    parser.add_argument("--timeout", type=float, default=60.0)
    args = parser.parse_args()
    if args.quick:
        args.runs, args.pages = 1, "trivial"

    browsers = []
    for name in args.only.split(","):
        if name not in ALL_BROWSERS:
            parser.error(f"unknown browser {name}")
        browsers.append(Browser(name, name))
    browsers += [parse_variant(v) for v in args.variant]
    runnable = []
    for browser in browsers:
        reason = browser.available(args)
        if reason:
            print(f"skipped {browser.name}: {reason}")
        else:
            runnable.append(browser)
    if not runnable:
        print("nothing to run", file=sys.stderr)
        return 1

    print(machine())
    print(versions())
    # A signal ends the run through the finally clauses that end processes.
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))

    if args.walk:
        pages = args.walk
        every = 100 if pages >= 1000 else 50
        marks = list(range(every, pages + 1, every))
        pauses = {m: int(args.settle * 1000) + 500 for m in marks}
        walks = {}
        with PageServer(walk_pages=pages, walk_pauses=pauses) as server:
            for index, browser in enumerate(runnable):
                walks[browser.name] = run_once(args, server, browser, "/walk/1.html",
                                               f"walk{index}", walk_marks=marks)
        print(f"\nPSS / USS in MB after every {every} pages, {args.settle:g} s after the load")
        print("| browser | " + " | ".join(str(m) for m in marks) + " | last vs first (PSS / USS) |")
        print("|---" * (len(marks) + 2) + "|")
        for name, figures in walks.items():
            row = " | ".join(f"{pss / 1024:.1f} / {uss / 1024:.1f}" for _, pss, uss in figures)
            growth = [100.0 * (figures[-1][k] - figures[0][k]) / figures[0][k] for k in (1, 2)]
            print(f"| {name} | {row} | {growth[0]:+.1f} % / {growth[1]:+.1f} % |")
        chart = args.chart or os.path.join(args.build, "bench", "walk.png")
        os.makedirs(os.path.dirname(chart), exist_ok=True)
        draw_walk_chart(chart, walks)
        print(f"chart: {chart}")
        return 0

    pages = [p for p in args.pages.split(",") if p]
    results = {}
    token = 0
    with PageServer() as server:
        for page in pages:
            rounds = ([] if args.quick else [True]) + [False] * args.runs
            for warm_up in rounds:
                # Browsers take turns, so that a change in the machine's load
                # falls on all of them alike.
                for browser in runnable:
                    token += 1
                    ms, (pss, uss), names = run_once(args, server, browser, f"/{page}.html",
                                                     token)
                    label = "warm-up" if warm_up else "run"
                    print(f"  {page:7} {browser.name:16} {label:7} {ms:7.0f} ms "
                          f"PSS {pss / 1024:7.1f} MB USS {uss / 1024:7.1f} MB  "
                          f"{len(names)} processes", flush=True)
                    if not warm_up:
                        entry = results.setdefault((browser.name, page), ([], [], [], None))
                        entry[0].append(ms)
                        entry[1].append(pss / 1024)
                        entry[2].append(uss / 1024)
                        results[(browser.name, page)] = (*entry[:3], names)

    names = [b.name for b in runnable]
    floor = "floor" if "floor" in names else None
    print()
    print(f"{args.runs} run(s) each; start-up = spawn to the load handler's /done; "
          f"PSS and USS = whole process tree {args.settle:g} s after the load")
    print("| page | browser | start-up ms median (min-max) | × floor | "
          "PSS MB median (min-max) | × floor | USS MB median (min-max) | processes |")
    print("|---|---|---|---|---|---|---|---|")
    for page in pages:
        base = results.get((floor, page)) if floor else None
        for name in names:
            ms, mb, uss, procs = results[(name, page)]
            ms_med, ms_min, ms_max = summary(ms)
            mb_med, mb_min, mb_max = summary(mb)
            uss_med, uss_min, uss_max = summary(uss)
            ratio_ms = f"{ms_med / summary(base[0])[0]:.2f}" if base else "-"
            ratio_mb = f"{mb_med / summary(base[1])[0]:.2f}" if base else "-"
            print(f"| {page} | {name} | {ms_med:.0f} ({ms_min:.0f}-{ms_max:.0f}) | {ratio_ms} | "
                  f"{mb_med:.1f} ({mb_min:.1f}-{mb_max:.1f}) | {ratio_mb} | "
                  f"{uss_med:.1f} ({uss_min:.1f}-{uss_max:.1f}) | {len(procs)} |")
    print()
    for name in names:
        print(f"{name} processes: {' '.join(results[(name, pages[0])][3])}")
    chart = args.chart or os.path.join(args.build, "bench", "startup.png")
    os.makedirs(os.path.dirname(chart), exist_ok=True)
    draw_chart(chart, pages, names, {k: v[:2] for k, v in results.items()})
    print(f"chart: {chart}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
