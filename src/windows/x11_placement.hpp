// SPDX-License-Identifier: MIT
#pragma once

typedef struct _GdkSurface GdkSurface;

namespace corvalen::windows {

// On X11, moves the surface's window so that a width x height window is
// centred on the monitor at (monitor_x, monitor_y, monitor_width,
// monitor_height), and tells the window manager that the program chose that
// position. GTK 4 has no call for this; without a window manager nobody else
// would place the window. Does nothing on other backends.
void x11_place_centred(GdkSurface* surface, int width, int height, int monitor_x, int monitor_y,
                       int monitor_width, int monitor_height);

// On X11, keeps the window out of the taskbar and lets the window manager
// offer only moving and closing: no minimising or maximising. Call it before
// the window is mapped, after GTK has set its own frame hints, which it keeps.
// Does nothing on other backends.
void x11_set_dialog_hints(GdkSurface* surface);

} // namespace corvalen::windows

namespace corvalen::windows {

// On X11, the top-left corner of the surface's window on the screen; false on
// other backends, which do not tell windows where they are.
bool x11_window_origin(GdkSurface* surface, int& x, int& y);

// On X11, moves the surface's window to (x, y) on the screen; false on other
// backends.
bool x11_move(GdkSurface* surface, int x, int y);

} // namespace corvalen::windows
