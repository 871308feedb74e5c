// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>

#include "controls.hpp"

namespace corvalen::platform {

// The notice before a visitor's session ends: a dimmed layer over the whole
// main window with a large card in its middle. Being on top, the layer is
// what every click, touch and scroll lands on while it is shown; the main
// window keeps the keys from the page meanwhile (while it is visible).
class Notice : public Gtk::Box, public INotice {
public:
    Notice();
    ~Notice() override;

    void Show(const std::string& text, const std::string& button, int seconds_left) override;
    void Hide() override;

private:
    Gtk::Box m_card;
    Gtk::Label m_text;
    Gtk::Label m_countdown;
    // Any input ends the notice, a press of this button among them; it is
    // there so that visitors see what to do.
    Gtk::Button m_button;
    sigc::connection m_hiding;
};

} // namespace corvalen::platform
