// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/button.h>
#include <gtkmm/window.h>

namespace corvalen::platform {

// A small fixed-size modal window: centred on the screen each time it is
// shown, with and without a window manager; no taskbar entry; a close box but
// no minimise or maximise box; no owner window. Runs modally until hidden.
class DialogWindow : public Gtk::Window {
public:
    DialogWindow(const char* title, int width, int height);

    // Shows the window modally; returns when it is hidden. Meanwhile the
    // program's other windows take no input.
    void run_modal();

protected:
    // Makes the Escape key press `button`, as a cancel button.
    void press_on_escape(Gtk::Button& button);

private:
    void on_surface_realized();
    void on_surface_mapped();

    int m_width;
    int m_height;
};

// Keeps the toolkit's inspector shut: GTK opens it on Ctrl+Shift+I and
// Ctrl+Shift+D unless the window's enable-debugging signal is stopped.
void refuse_debugging(Gtk::Window& window);

// The geometry of the monitor that shows the program (the first one).
Gdk::Rectangle primary_monitor_geometry(const Glib::RefPtr<Gdk::Display>& display);

} // namespace corvalen::platform
