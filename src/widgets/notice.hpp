// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/overlay.h>

#include "controls/controls.hpp"

namespace corvalen::widgets {

// The main window's notices, drawn over its content.
//
// The idle notice is a dimmed layer over the whole window with a large card
// in its middle. Being on top, the layer is what every click, touch and
// scroll lands on while it stands; the main window keeps the keys from the
// page meanwhile (takes_input). The banner is a line of text near the bottom
// edge that shows for a few seconds and lets everything through.
class Notice : public controls::INotice {
public:
    explicit Notice(Gtk::Overlay& overlay);
    ~Notice() override;
    Notice(const Notice&) = delete;
    Notice& operator=(const Notice&) = delete;

    void Show(const std::string& text, const std::string& button, int seconds_left) override;
    void Hide() override;
    void Flash(const std::string& text) override;
    void Message(const std::string& text, unsigned seconds) override;

    // Whether the idle notice takes the visitor's input now.
    [[nodiscard]] bool takes_input() const { return m_layer.get_visible(); }

private:
    // A centred line of text over the page, hidden until shown, that takes
    // no input.
    static void float_over_page(Gtk::Label& label, int width_chars, Gtk::Align valign);
    // Shows `text` in `label` for `seconds`, from now on.
    static void show_for(Gtk::Label& label, sigc::connection& timer, const std::string& text,
                         unsigned seconds);

    Gtk::Overlay& m_overlay;
    Gtk::Box m_layer;
    Gtk::Box m_card;
    Gtk::Label m_text;
    Gtk::Label m_countdown;
    // Any input ends the notice, a press of this button among them; it is
    // there so that visitors see what to do.
    Gtk::Button m_button;
    Gtk::Label m_banner;
    Gtk::Label m_message;
    sigc::connection m_hiding;
    sigc::connection m_banner_timer;
    sigc::connection m_message_timer;
};

} // namespace corvalen::widgets
