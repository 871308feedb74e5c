#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Draws the toolbar pictures and the window icon.

Toolbar pictures are 24 x 24, opaque, on a magenta (255, 0, 255) background
that the image list keys to transparent: the normal set, and a darker set for
the pointer-over ("hot") state. Edges are drawn anti-aliased on transparency
and then snapped to either the colour or magenta, so that no pinkish fringe
survives the keying. The icons: the main window's blue-and-green globe and the password dialog's
padlock at 32 and 16 pixels, and the message box's error sign at 32.

Run from anywhere: /usr/bin/python3 assets/draw_pictures.py (Debian python3-cairo).
"""

import math
import os

import cairo

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 24
MAGENTA = (255, 0, 255)
GREEN = (0.16, 0.62, 0.24)
RED = (0.83, 0.18, 0.18)
WHITE = (1, 1, 1)
YELLOW = (0.96, 0.78, 0.05)
DARKEN = 0.65


def disc(ctx, colour):
    ctx.arc(12, 12, 10.5, 0, 2 * math.pi)
    ctx.set_source_rgb(*colour)
    ctx.fill()


def arrow(ctx, pointing_left):
    ctx.save()
    if pointing_left:
        ctx.translate(24, 0)
        ctx.scale(-1, 1)
    ctx.move_to(6, 10)
    ctx.line_to(12, 10)
    ctx.line_to(12, 6)
    ctx.line_to(18.5, 12)
    ctx.line_to(12, 18)
    ctx.line_to(12, 14)
    ctx.line_to(6, 14)
    ctx.close_path()
    ctx.set_source_rgb(*WHITE)
    ctx.fill()
    ctx.restore()


def cross(ctx, colour, inset, width):
    ctx.set_line_width(width)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.move_to(inset, inset)
    ctx.line_to(24 - inset, 24 - inset)
    ctx.move_to(24 - inset, inset)
    ctx.line_to(inset, 24 - inset)
    ctx.set_source_rgb(*colour)
    ctx.stroke()


def draw_back(ctx):
    disc(ctx, GREEN)
    arrow(ctx, True)


def draw_forward(ctx):
    disc(ctx, GREEN)
    arrow(ctx, False)


def draw_stop(ctx):
    disc(ctx, RED)
    cross(ctx, WHITE, 8, 3)


def draw_refresh(ctx):
    # A sheet of paper with a folded corner.
    ctx.move_to(4, 2)
    ctx.line_to(15, 2)
    ctx.line_to(20, 7)
    ctx.line_to(20, 22)
    ctx.line_to(4, 22)
    ctx.close_path()
    ctx.set_source_rgb(*WHITE)
    ctx.fill_preserve()
    ctx.set_source_rgb(0.35, 0.35, 0.35)
    ctx.set_line_width(1)
    ctx.stroke()
    ctx.move_to(15, 2)
    ctx.line_to(15, 7)
    ctx.line_to(20, 7)
    ctx.stroke()
    # Two green arrows chasing each other round a circle.
    ctx.set_source_rgb(*GREEN)
    ctx.set_line_width(2)
    for start in (math.radians(200), math.radians(20)):
        ctx.arc(12, 13.5, 5, start, start + math.radians(130))
        ctx.stroke()
        end = start + math.radians(130)
        tip_x = 12 + 5 * math.cos(end)
        tip_y = 13.5 + 5 * math.sin(end)
        tangent = end + math.pi / 2
        ctx.move_to(tip_x + 3 * math.cos(tangent), tip_y + 3 * math.sin(tangent))
        ctx.line_to(tip_x + 2.5 * math.cos(end), tip_y + 2.5 * math.sin(end))
        ctx.line_to(tip_x - 2.5 * math.cos(end), tip_y - 2.5 * math.sin(end))
        ctx.close_path()
        ctx.fill()


def draw_home(ctx):
    # Walls and door.
    ctx.rectangle(6, 11, 12, 10)
    ctx.set_source_rgb(0.96, 0.93, 0.85)
    ctx.fill_preserve()
    ctx.set_source_rgb(0.45, 0.3, 0.15)
    ctx.set_line_width(1)
    ctx.stroke()
    ctx.rectangle(10.5, 15, 3, 6)
    ctx.fill()
    # Yellow roof.
    ctx.move_to(2.5, 12)
    ctx.line_to(12, 3)
    ctx.line_to(21.5, 12)
    ctx.close_path()
    ctx.set_source_rgb(*YELLOW)
    ctx.fill_preserve()
    ctx.set_source_rgb(0.6, 0.45, 0.0)
    ctx.stroke()


def draw_end(ctx):
    cross(ctx, RED, 4, 4)


PICTURES = [draw_back, draw_forward, draw_stop, draw_refresh, draw_home, draw_end]


def keyed_png(draw, path, shade):
    """Draws on transparency, then writes an opaque RGB picture on magenta."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, SIZE, SIZE)
    draw(cairo.Context(surface))
    surface.flush()
    data = surface.get_data()
    stride = surface.get_stride()
    out = cairo.ImageSurface(cairo.FORMAT_RGB24, SIZE, SIZE)
    out_data = out.get_data()
    out_stride = out.get_stride()
    for y in range(SIZE):
        for x in range(SIZE):
            i = y * stride + 4 * x
            b, g, r, a = data[i], data[i + 1], data[i + 2], data[i + 3]
            if a < 128:
                rgb = MAGENTA
            else:
                rgb = tuple(min(255, round(c * 255 / a * shade)) for c in (r, g, b))
                if rgb == MAGENTA:
                    rgb = (254, 0, 255)
            j = y * out_stride + 4 * x
            out_data[j], out_data[j + 1], out_data[j + 2] = rgb[2], rgb[1], rgb[0]
    out.mark_dirty()
    out.write_to_png(path)


def icon_png(draw, size, path, design_size=32):
    """Draws an icon designed on a design_size grid at size pixels, with alpha."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    ctx = cairo.Context(surface)
    ctx.scale(size / design_size, size / design_size)
    draw(ctx)
    surface.write_to_png(path)


def draw_globe(ctx):
    """The main window's icon: a blue-and-green globe."""
    ctx.arc(16, 16, 14.5, 0, 2 * math.pi)
    ctx.set_source_rgb(0.12, 0.42, 0.85)
    ctx.fill_preserve()
    ctx.save()
    ctx.clip()
    ctx.set_source_rgb(0.2, 0.68, 0.25)
    # Two continents.
    ctx.move_to(6, 7)
    ctx.curve_to(12, 3, 17, 8, 14, 13)
    ctx.curve_to(12, 17, 15, 22, 10, 26)
    ctx.curve_to(6, 22, 3, 14, 6, 7)
    ctx.fill()
    ctx.move_to(19, 9)
    ctx.curve_to(25, 7, 30, 13, 27, 18)
    ctx.curve_to(25, 22, 21, 20, 20, 16)
    ctx.curve_to(18, 13, 17, 11, 19, 9)
    ctx.fill()
    ctx.restore()
    # Meridian and equator.
    ctx.set_source_rgba(1, 1, 1, 0.55)
    ctx.set_line_width(1)
    ctx.move_to(1.5, 16)
    ctx.line_to(30.5, 16)
    ctx.stroke()
    ctx.save()
    ctx.translate(16, 16)
    ctx.scale(0.45, 1)
    ctx.arc(0, 0, 14.5, 0, 2 * math.pi)
    ctx.restore()
    ctx.stroke()
    ctx.arc(16, 16, 14.5, 0, 2 * math.pi)
    ctx.set_source_rgb(0.05, 0.25, 0.55)
    ctx.stroke()


def draw_padlock(ctx):
    """The password dialog's icon: a padlock."""
    ctx.set_line_width(3.5)
    ctx.set_source_rgb(0.45, 0.47, 0.5)
    ctx.arc(16, 13, 7, math.pi, 2 * math.pi)
    ctx.line_to(23, 16)
    ctx.move_to(9, 16)
    ctx.line_to(9, 13)
    ctx.stroke()
    ctx.rectangle(5, 15, 22, 15)
    ctx.set_source_rgb(0.93, 0.7, 0.1)
    ctx.fill_preserve()
    ctx.set_source_rgb(0.6, 0.42, 0.0)
    ctx.set_line_width(1.2)
    ctx.stroke()
    ctx.arc(16, 21, 2.5, 0, 2 * math.pi)
    ctx.rectangle(15, 21, 2, 5)
    ctx.set_source_rgb(0.3, 0.2, 0.0)
    ctx.fill()


def draw_error(ctx):
    """The message box's error icon: a white cross on a red disc."""
    disc(ctx, RED)
    cross(ctx, WHITE, 8, 3)


def main():
    pictures = os.path.join(HERE, "pictures")
    os.makedirs(pictures, exist_ok=True)
    for index, draw in enumerate(PICTURES, start=1):
        keyed_png(draw, os.path.join(pictures, f"normal-{index}.png"), 1.0)
        keyed_png(draw, os.path.join(pictures, f"hot-{index}.png"), DARKEN)
    for size in (16, 32):
        directory = os.path.join(HERE, "icons", "hicolor", f"{size}x{size}", "apps")
        os.makedirs(directory, exist_ok=True)
        icon_png(draw_globe, size, os.path.join(directory, "corvalen.png"))
        icon_png(draw_padlock, size, os.path.join(directory, "corvalen-password.png"))
    directory = os.path.join(HERE, "icons", "hicolor", "32x32", "status")
    os.makedirs(directory, exist_ok=True)
    icon_png(draw_error, 32, os.path.join(directory, "corvalen-error.png"), design_size=24)


if __name__ == "__main__":
    main()
