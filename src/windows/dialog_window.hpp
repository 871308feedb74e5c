// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/headerbar.h>
#include <gtkmm/window.h>
#include <vector>

namespace corvalen::windows {

// A small fixed-size modal window over its owner: centred on the screen each
// time it is shown, with and without a window manager; no taskbar entry; a
// title bar of its own with a close box but no minimise or maximise box.
// Runs modally until hidden.
class DialogWindow : public Gtk::Window {
public:
    // `width` x `height` is the client area, below the title bar. `role` is
    // what assistive technology calls the window: a dialog, or an alert for
    // a message that interrupts.
    DialogWindow(Gtk::Window& owner, const char* title, int width, int height,
                 Gtk::Accessible::Role role = Gtk::Accessible::Role::DIALOG);

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

} // namespace corvalen::windows
