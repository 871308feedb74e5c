// SPDX-License-Identifier: MIT
// Kept apart from the gtkmm code: Xlib's macros (None, Window, Status) clash
// with C++ names.
#include "x11_placement.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <gdk/x11/gdkx.h>

namespace corvalen::windows {
namespace {

// The Motif hints that window managers read for the frame's functions.
struct MotifHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long input_mode;
    unsigned long status;
};
constexpr unsigned long kHintsFunctions = 1;
constexpr unsigned long kFunctionMove = 4;
constexpr unsigned long kFunctionClose = 32;

} // namespace

void x11_place_centred(GdkSurface* surface, int width, int height, int monitor_x, int monitor_y,
                       int monitor_width, int monitor_height) {
    if (surface == nullptr || !GDK_IS_X11_SURFACE(surface)) {
        return;
    }
    ::Display* display = gdk_x11_display_get_xdisplay(gdk_surface_get_display(surface));
    const ::Window window = gdk_x11_surface_get_xid(surface);
    const int x = monitor_x + (monitor_width - width) / 2;
    const int y = monitor_y + (monitor_height - height) / 2;

    XSizeHints hints{};
    long supplied = 0;
    XGetWMNormalHints(display, window, &hints, &supplied);
    hints.flags |= PPosition | USPosition;
    hints.x = x;
    hints.y = y;
    XSetWMNormalHints(display, window, &hints);
    XMoveWindow(display, window, x, y);
    XFlush(display);
}

void x11_set_dialog_hints(GdkSurface* surface) {
    if (surface == nullptr || !GDK_IS_X11_SURFACE(surface)) {
        return;
    }
    gdk_x11_surface_set_skip_taskbar_hint(surface, TRUE);
    gdk_x11_surface_set_skip_pager_hint(surface, TRUE);
    ::Display* display = gdk_x11_display_get_xdisplay(gdk_surface_get_display(surface));
    const ::Window window = gdk_x11_surface_get_xid(surface);
    const Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    MotifHints hints{};
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, motif, 0, 5, False, AnyPropertyType, &type, &format,
                           &count, &remaining, &data) == Success &&
        data != nullptr) {
        if (format == 32 && count == 5) {
            const auto* current = reinterpret_cast<const unsigned long*>(data);
            hints = {current[0], current[1], current[2], static_cast<long>(current[3]), current[4]};
        }
        XFree(data);
    }
    hints.flags |= kHintsFunctions;
    hints.functions = kFunctionMove | kFunctionClose;
    XChangeProperty(display, window, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&hints), 5);
    XFlush(display);
}

} // namespace corvalen::windows

namespace corvalen::windows {

bool x11_window_origin(GdkSurface* surface, int& x, int& y) {
    if (surface == nullptr || !GDK_IS_X11_SURFACE(surface)) {
        return false;
    }
    ::Display* display = gdk_x11_display_get_xdisplay(gdk_surface_get_display(surface));
    ::Window child = 0;
    return XTranslateCoordinates(display, gdk_x11_surface_get_xid(surface),
                                 DefaultRootWindow(display), 0, 0, &x, &y, &child) != 0;
}

bool x11_move(GdkSurface* surface, int x, int y) {
    if (surface == nullptr || !GDK_IS_X11_SURFACE(surface)) {
        return false;
    }
    ::Display* display = gdk_x11_display_get_xdisplay(gdk_surface_get_display(surface));
    XMoveWindow(display, gdk_x11_surface_get_xid(surface), x, y);
    XFlush(display);
    return true;
}

} // namespace corvalen::windows
