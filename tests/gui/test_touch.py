# SPDX-License-Identifier: MIT
"""The touch-screen settings on the real program: the on-screen keyboard
types into a page's fields, one in a frame of another site, and into the exit
dialog, clicks standing in for touches; the cursor stays hidden, over the
page's pop-ups too."""

import ctypes
import unittest

from kiosk import (SCREEN_HEIGHT, SCREEN_WIDTH, Display, Kiosk, PageServer, button_centre,
                   colour_close, wait_until)

PASSWORD = "ok"
KEYBOARD = (0xD8, 0xD8, 0xD8)  # the keyboard's background
KEY = (0xFF, 0xFF, 0xFF)
BAR = (0xFF, 0x00, 0xFF)  # fixed to the bottom of the page's view
FIELD_TOP = 600
FRAME = (500, 32 + 400)  # the top-left corner of a frame of another site
SELECT = (280, 32 + 115)  # a point on the page's select
MENU = (600, 32 + 200)  # where the context menu opens, on the page's blank
LIST_HOVER = (0x35, 0x84, 0xE4)  # the item under the pointer in a select's list
MENU_HOVER = (0xE8, 0xE6, 0xE3)  # the item under the pointer in a menu
WHITE = (0xFF, 0xFF, 0xFF)

PAGE = f"""<!doctype html><html><body style="margin: 0; height: 2000px">
<div style="position: fixed; bottom: 0; left: 0; right: 0; height: 8px; background: #ff00ff"></div>
<select style="position: absolute; top: 100px; left: 100px; width: 200px; font-size: 20px">
<option>one<option>two<option>three<option>four</select>
<form action="/sent"><input name="q" style="position: absolute; top: {FIELD_TOP}px; left: 100px;
 width: 300px; height: 30px; font-size: 20px"
 oninput="fetch('/value?' + encodeURIComponent(this.value))"></form>
<input type="number" style="position: absolute; top: {FIELD_TOP}px; left: 450px; width: 150px;
 height: 30px; font-size: 20px">
<iframe src="FRAME" style="position: absolute; top: {FRAME[1] - 32}px; left: {FRAME[0]}px;
 width: 400px; height: 100px; border: 0"></iframe>
<script>addEventListener('pointerdown', () => fetch('/down'));
addEventListener('wheel', e => fetch('/wheel?ctrl=' + e.ctrlKey), {{passive: true}});
addEventListener('load', () => fetch('/done'));</script></body></html>""".encode()
OTHER_SITE = b"""<!doctype html><html><body style="margin: 0"><form action="/sent">
<input name="f" style="width: 300px; height: 30px; font-size: 20px"
 oninput="fetch('/value?' + encodeURIComponent(this.value))"></form></body></html>"""


def bar_top(image):
    box = image.box_of(lambda rgb: colour_close(rgb, BAR), top=32)
    return box[1] if box else None


def shown_keyboard(display):
    """A screenshot with the on-screen keyboard, once it shows below the page
    drawn anew above it."""
    return wait_until(lambda: (lambda shot: shot if colour_close(
        shot.pixel(2, SCREEN_HEIGHT - 2), KEYBOARD) and bar_top(shot) else None)(
        display.screenshot("touch-keyboard")), 10)


def page_keys(shot):
    """The on-screen keyboard's keys below the page, row by row (none while
    the page is not drawn anew above them)."""
    top = bar_top(shot)
    return key_rows(shot, 0, SCREEN_WIDTH, top + 8) if top else []


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


def hover(display, left, x, y, shade):
    """Once a pop-up's item shows its text between left and x on row y, moves
    the pointer onto (x, y), again and again by a pixel, until the item is
    drawn as hovered: the program has taken the move."""
    if not wait_until(lambda: (lambda shot: any(not colour_close(shot.pixel(i, y), WHITE)
                                                 for i in range(left, x)))(
            display.screenshot("touch-popup")), 10):
        return False
    nudge = [0]

    def hovered():
        nudge[0] ^= 1
        display.move_pointer(x + nudge[0], y)
        return colour_close(display.screenshot("touch-hover").pixel(x, y), shade, 12)
    return wait_until(hovered, 10)


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
        with Display() as display, \
                PageServer({"/form.html": ("text/html", OTHER_SITE)}, host="127.0.0.2") as other, \
                PageServer({"/page.html": ("text/html", PAGE.replace(
                    b"FRAME", other.url("/form.html").encode()))}) as server:
            settings = (f"[Options]\nHomepage={server.url('/page.html')}\nPassword={PASSWORD}\n"
                        "[Touch]\nKeyboard=1\nHideCursor=1\nPageZoom=0\n")
            with Kiosk(display, settings) as kiosk:
                self.assertTrue(server.wait_for("/done", 60), kiosk.output())
                self.assertTrue(kiosk.toolbar_shown())
                full = bar_top(display.screenshot("touch-start"))
                self.assertGreater(full, SCREEN_HEIGHT - 20, "no keyboard yet")
                display.move_pointer(300, 300)
                self.assertEqual(cursor_alpha(display), 0, "no cursor over the page")
                # A select's list and the context menu are pop-ups, surfaces
                # of their own: no cursor over them either.
                for button, (x, y), item, shade in (
                        (1, SELECT, (105, SELECT[0], SELECT[1] + 77), LIST_HOVER),  # "three"
                        (3, MENU, (MENU[0] + 5, MENU[0] + 75, MENU[1] + 111), MENU_HOVER)):
                    display.run("xdotool", "mousemove", str(x), str(y), "click", str(button))
                    self.assertTrue(hover(display, *item, shade), "the pop-up shows")
                    self.assertEqual(cursor_alpha(display), 0, f"no cursor over pop-up {button}")
                    display.key("Escape")
                    self.assertTrue(wait_until(lambda: colour_close(
                        display.screenshot("touch-popup-gone").pixel(*item[1:]), WHITE), 10))
                # Ctrl with the wheel, which pages zoom with, does not reach the
                # page; the wheel alone does (down and up again). The pointer
                # moves first: a closed pop-up keeps the wheel until it does.
                display.move_pointer(300, 300)
                display.run("xdotool", "keydown", "ctrl", "click", "5", "keyup", "ctrl",
                            "click", "5", "click", "4")
                self.assertTrue(wait_until(lambda: server.count("/wheel?ctrl=false") == 2, 10),
                                server.requests)
                self.assertNotIn("/wheel?ctrl=true", server.requests)

                # A field in a frame of another site: the keyboard types into
                # it, and its Enter sends the frame's form.
                display.click(FRAME[0] + 100, FRAME[1] + 15)
                shot = shown_keyboard(display)
                self.assertTrue(shot, "the keyboard shows for the frame")
                rows = page_keys(shot)
                self.assertEqual([len(row) for row in rows], [10, 9, 11, 4], "qwerty")
                for key in (rows[0][8], rows[1][7]):  # o, k
                    display.click(*key)
                self.assertTrue(other.wait_for("/value?ok", 10), other.requests)
                display.click(*rows[3][2])  # Enter
                self.assertTrue(other.wait_for("/sent?f=ok", 10), other.requests)
                self.assertTrue(wait_until(lambda: not colour_close(
                    display.screenshot("touch-gone").pixel(2, SCREEN_HEIGHT - 2), KEYBOARD), 10),
                    "the frame's field is gone, and the keyboard")

                # A field with the focus brings the keyboard; the view gives
                # up its height and the field stays in sight.
                display.click(200, 32 + FIELD_TOP + 15)
                shot = shown_keyboard(display)
                self.assertTrue(shot, "the keyboard shows")
                rows = page_keys(shot)
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
                # Tab moves the focus straight on to a field for numbers, which
                # gets the digits; Shift+Tab goes back to the letters.
                for key, counts in (("Tab", [10, 11, 11, 12, 4]), ("shift+Tab", [10, 9, 11, 4])):
                    display.key(key)
                    self.assertTrue(wait_until(lambda: [len(row) for row in page_keys(
                        display.screenshot("touch-keys"))] == counts, 10), key)
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
