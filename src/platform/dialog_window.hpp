// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/headerbar.h>
#include <gtkmm/window.h>
#include <vector>

namespace corvalen::platform {

// A small fixed-size modal window over its owner: centred on the screen each
// time it is shown, with and without a window manager; no taskbar entry; a
// title bar of its own with a close box but no minimise or maximise box.
// Runs modally until hidden.
class DialogWindow : public Gtk::Window {
public:
    // `width` x `height` is the client area, below the title bar.
    DialogWindow(Gtk::Window& owner, const char* title, int width, int height);

    // Shows the window modally; returns when it is hidden. Meanwhile the
    // program's other windows take no input, and a close request to the
    // owner ends the program as it would without the dialog.
    void run_modal();
    // Hides every dialog that runs modally, so that each run_modal returns.
    static void close_open_dialogs();

protected:
    // Sets the client area's content, at the client area's size.
    void set_content(Gtk::Widget& content);
    // Makes the Escape key press `button`, as a cancel button.
    void press_on_escape(Gtk::Button& button);

private:
    void on_surface_realized();
    void on_surface_mapped();
    void place_centred();

    Gtk::Window& m_owner;
    Gtk::Box m_frame;
    Gtk::HeaderBar m_title_bar;
    int m_width;
    int m_height;
};

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

} // namespace corvalen::platform
