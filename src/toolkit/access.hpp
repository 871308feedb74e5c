// SPDX-License-Identifier: MIT
#pragma once

// What assistive technology and the program's own speech say of a control.

#include <gtkmm/label.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>
#include <string>

namespace corvalen::toolkit {

// Names `widget`, for the accessibility bus and for speech.
void set_accessible_name(Gtk::Widget& widget, const std::string& name);
// `widget` is named by what `label` shows.
void set_labelled_by(Gtk::Widget& widget, Gtk::Label& label);
// What speech says when `widget` takes the focus: its name, what it is and
// its state ("Back, button"; "Shift, toggle button, pressed"). Never the
// text of a field.
[[nodiscard]] std::string spoken_description(Gtk::Widget& widget);
// What speech says first when `window` is entered ("Afsluiten, dialog").
void set_spoken_intro(Gtk::Window& window, const std::string& intro);
[[nodiscard]] std::string spoken_intro(Gtk::Window& window);

} // namespace corvalen::toolkit
