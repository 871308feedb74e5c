// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/entrybuffer.h>
#include <string>

namespace corvalen::windows {

// A text buffer for a password field that keeps what is typed to itself.
// Whoever asks the buffer for its text through GTK (the field's accessible
// text, which a screen reader or any listener on the accessibility bus may
// read; an input method's surrounding text) gets one '*' per character; only
// secret_text() gives the characters. Freed memory is wiped.
Glib::RefPtr<Gtk::EntryBuffer> make_secret_buffer();

// The characters typed into a buffer from make_secret_buffer().
std::string secret_text(const Gtk::EntryBuffer& buffer);

} // namespace corvalen::windows
