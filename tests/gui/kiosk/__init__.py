# SPDX-License-Identifier: MIT
"""Test support: runs the real program as a visitor's terminal would, under a
private Xvfb display, against pages served on 127.0.0.1, with screenshots
read by pixel. Used by the GUI tests, the package test and the benches.

Only the Python standard library and Debian's xvfb, xdotool, x11-utils,
imagemagick, tesseract-ocr and dbus are used (openbox where a window manager
is wanted, cage for the Wayland kiosk session).
"""

from .display import ARTIFACTS, SCREEN_HEIGHT, SCREEN_WIDTH, Display
from .image import MAGENTA, Image, colour_close
from .program import (ASSETS, BUTTON_WIDTH, BUTTONS, PROGRAM, Kiosk, button_centre,
                      copy_program, picture_corner, toolbar_picture)
from .server import NOT_FOUND, Page, PageServer, redirect
from .wait import wait_until

__all__ = ["ARTIFACTS", "ASSETS", "BUTTONS", "BUTTON_WIDTH", "MAGENTA", "NOT_FOUND", "PROGRAM",
           "SCREEN_HEIGHT", "SCREEN_WIDTH", "Display", "Image", "Kiosk", "Page", "PageServer",
           "button_centre", "colour_close", "copy_program", "picture_corner", "redirect",
           "toolbar_picture", "wait_until"]
