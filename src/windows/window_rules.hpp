// SPDX-License-Identifier: MIT
#pragma once

// Rules that the program's windows follow, whatever kind they are: Tab
// order, no inspector, the monitor they cover, and a close request that
// always ends the program.

#include <functional>
#include <gtkmm/window.h>
#include <sigc++/connection.h>
#include <vector>

namespace corvalen::windows {

// Makes Tab and Shift+Tab in `window` visit the widgets that `order` lists,
// in that order whatever their places, wrapping around at either end and
// passing over those that cannot take the focus now (hidden or insensitive).
// The focus never leaves the list. A widget that moves the focus within
// itself (the page) asks the window for the next one at its ends. The window
// also starts with the focus on the first widget that takes it.
void set_tab_order(Gtk::Window& window, std::function<std::vector<Gtk::Widget*>()> order);

// Keeps the toolkit's inspector shut: GTK opens it on Ctrl+Shift+I and
// Ctrl+Shift+D unless the window's enable-debugging signal is stopped.
void refuse_debugging(Gtk::Window& window);

// The geometry of the monitor that shows the program (the first one).
Gdk::Rectangle primary_monitor_geometry(const Glib::RefPtr<Gdk::Display>& display);

// While a modal window runs, GTK drops every close request to the other
// windows. Seen before GTK's own handlers, a close request to `window` ends
// the program as it would without the dialog, so that the terminal never
// hangs; until the connection is disconnected.
sigc::connection end_program_on_close(Gtk::Window& window);

} // namespace corvalen::windows
