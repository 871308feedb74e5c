// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/window.h>

#include "controls/keyboard.hpp"

namespace corvalen::input {

// Keeps the pointer's cursor off the program's windows on a touch screen:
// always, or from a touch until the next move of a mouse. With Shown (the
// default) nothing changes.
class CursorHiding {
public:
    using Mode = controls::TouchSettings::Cursor;

    // For the program's windows from now on: `window`, every dialog and
    // every pop-up (menus, lists and tooltips over a window).
    static void configure(Mode mode, Gtk::Window& window);
    // A dialog about to be shown follows the cursor of the program.
    static void follow(Gtk::Window& window);
    // The web view sets the cursor a page asks for; it is kept hidden too.
    static void follow_view(GtkWidget* view);
};

} // namespace corvalen::input
