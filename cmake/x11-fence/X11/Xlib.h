// SPDX-License-Identifier: MIT
// Found before Xlib's own header by every layer but windows, and by every
// X11 header that includes Xlib's (gdkx.h among them).
#error "X11 is included only in src/windows"
