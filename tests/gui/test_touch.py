# SPDX-License-Identifier: MIT
"""The touch-screen settings on the real program: the on-screen keyboard
types into a page's field and into the exit dialog, clicks standing in for
touches; the cursor stays hidden."""

import ctypes
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, PageServer, button_centre,
                   colour_close, wait_until)

PASSWORD = "ok"
KEYBOARD = (0xD8, 0xD8, 0xD8)  # the keyboard's background
KEY = (0xFF, 0xFF, 0xFF)
BAR = (0xFF, 0x00, 0xFF)  # fixed to the bottom of the page's view
FIELD_TOP = 600

PAGE = f"""<!doctype html><html><body style="margin: 0; height: 2000px">
<div style="position: fixed; bottom: 0; left: 0; right: 0; height: 8px; background: #ff00ff"></div>
<form action="/sent"><input name="q" style="position: absolute; top: {FIELD_TOP}px; left: 100px;
 width: 300px; height: 30px; font-size: 20px"
 oninput="fetch('/value?' + encodeURIComponent(this.value))"></form>
<script>addEventListener('pointerdown', () => fetch('/down'));
addEventListener('wheel', e => fetch('/wheel?ctrl=' + e.ctrlKey), {{passive: true}});
addEventListener('load', () => fetch('/done'));</script></body></html>""".encode()


def bar_top(image):
    box = image.box_of(lambda rgb: colour_close(rgb, BAR), top=32)
    return box[1] if box else None


def key_rows(image, left, right, top):
    """The keys (white boxes) below top between left and right, row by row,
    each row a list of centres. Each row is read along its keys' top edge,
    above their labels."""
    rows, y = [], top
    while y < SCREEN_HEIGHT:
        spans, start = [], None
        for x in range(left, right + 1):
            white = x < right and colour_close(image.pixel(x, y), KEY, 4)
            if white and start is None:
                start = x
            elif not white and start is not None:
                if x - start > 20:
                    spans.append((start, x))
                start = None
        if len(spans) > 2:
            rows.append([((a + b) // 2, y + 20) for a, b in spans])
            while y < SCREEN_HEIGHT and colour_close(image.pixel(spans[0][0] + 2, y), KEY, 4):
                y += 1  # down the first key's left edge, past its label
        y += 1
    return rows


def cursor_alpha(display):
    """The highest alpha of the cursor image the X server shows (XFixes)."""
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")

    class CursorImage(ctypes.Structure):
        _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                    ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort),
                    ("yhot", ctypes.c_ushort), ("serial", ctypes.c_ulong),
                    ("pixels", ctypes.POINTER(ctypes.c_ulong)), ("atom", ctypes.c_ulong),
                    ("name", ctypes.c_char_p)]

    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.name.encode())
    try:
        image = xfixes.XFixesGetCursorImage(connection).contents
        return max((image.pixels[i] >> 24) & 0xFF for i in range(image.width * image.height))
    finally:
        x11.XCloseDisplay(connection)


class TouchTest(unittest.TestCase):
    def test_keyboard_for_page_and_exit_dialog_and_hidden_cursor(self):
        with Display() as display, PageServer({"/page.html": ("text/html", PAGE)}) as server:
            settings = (f"[Options]\nHomepage={server.url('/page.html')}\nPassword={PASSWORD}\n"
                        "[Touch]\nKeyboard=1\nHideCursor=1\nPageZoom=0\n")
            with Kiosk(display, settings) as kiosk:
                self.assertTrue(server.wait_for("/done", 60), kiosk.output())
                self.assertTrue(kiosk.toolbar_shown())
                full = bar_top(display.screenshot("touch-start"))
                self.assertGreater(full, SCREEN_HEIGHT - 20, "no keyboard yet")
                display.move_pointer(300, 300)
                self.assertEqual(cursor_alpha(display), 0, "no cursor over the page")
                # Ctrl with the wheel, which pages zoom with, does not reach the
                # page; the wheel alone does (down and up again).
                display.run("xdotool", "keydown", "ctrl", "click", "5", "keyup", "ctrl",
                            "click", "5", "click", "4")
                self.assertTrue(wait_until(lambda: server.count("/wheel?ctrl=false") == 2, 10),
                                server.requests)
                self.assertNotIn("/wheel?ctrl=true", server.requests)

                # A field with the focus brings the keyboard; the view gives
                # up its height and the field stays in sight.
                display.click(200, 32 + FIELD_TOP + 15)
                shot = wait_until(lambda: (lambda s: s if colour_close(
                    s.pixel(2, SCREEN_HEIGHT - 2), KEYBOARD) else None)(
                    display.screenshot("touch-keyboard")), 10)
                self.assertTrue(shot, "the keyboard shows")
                rows = key_rows(shot, 0, SCREEN_WIDTH, bar_top(shot) + 8)
                self.assertEqual([len(row) for row in rows], [10, 9, 11, 4], "qwerty")
                self.assertLess(bar_top(shot), rows[0][0][1] - 20, "the view is less high")
                downs = server.count("/down")

                # Shift, h, i: "Hi" reaches the page.
                for key in (rows[2][0], rows[1][5], rows[0][7]):
                    display.click(*key)
                self.assertTrue(server.wait_for("/value?Hi", 10), server.requests)
                self.assertEqual(server.count("/down"), downs, "keys are no clicks on the page")
                display.click(*rows[2][-1])  # backspace
                self.assertTrue(server.wait_for("/value?H", 10), server.requests)
                display.click(*rows[3][2])  # Enter sends the form
                self.assertTrue(server.wait_for("/sent?q=H", 10), server.requests)
                self.assertTrue(wait_until(lambda: not colour_close(
                    display.screenshot("touch-gone").pixel(2, SCREEN_HEIGHT - 2), KEYBOARD), 10),
                    "no field, no keyboard")

                # The exit dialog's keypad types the password.
                display.click(*button_centre("end"))
                dialog = wait_until(lambda: display.window_geometry("Afsluiten"), 10)
                self.assertTrue(dialog, "the exit dialog")
                x, y, width, height = dialog
                shot = display.screenshot("touch-dialog")
                self.assertEqual(cursor_alpha(display), 0, "no cursor over the dialog")
                keys = key_rows(shot, x, x + width, y + 90)
                self.assertEqual([len(row) for row in keys], [10, 9, 11, 3], "no hide key")
                for key in (keys[0][8], keys[1][7], keys[3][2]):  # o, k, Enter
                    display.click(*key)
                self.assertEqual(kiosk.exit_status(), 0)


if __name__ == "__main__":
    unittest.main()
