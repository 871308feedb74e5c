// SPDX-License-Identifier: MIT
#include "notice.hpp"

#include <string>

#include "style.hpp"

namespace corvalen::platform {

Notice::Notice() : m_card(Gtk::Orientation::VERTICAL, 24) {
    install_style(".corvalen-notice { background: rgba(0, 0, 0, 0.6); }"
                  ".corvalen-notice-card { background: #ffffff; color: #1a1a1a;"
                  " border-radius: 12px; padding: 40px 56px; }"
                  ".corvalen-notice-text { font-size: 32px; }"
                  ".corvalen-notice-countdown { font-size: 72px; font-weight: bold; }"
                  ".corvalen-notice-card button { font-size: 28px; padding: 12px 40px; }");
    add_css_class("corvalen-notice");
    m_card.add_css_class("corvalen-notice-card");
    m_text.add_css_class("corvalen-notice-text");
    m_text.set_wrap(true);
    m_text.set_max_width_chars(40);
    m_text.set_justify(Gtk::Justification::CENTER);
    m_countdown.add_css_class("corvalen-notice-countdown");
    m_button.set_halign(Gtk::Align::CENTER);
    m_button.set_focusable(false);
    m_card.append(m_text);
    m_card.append(m_countdown);
    m_card.append(m_button);
    m_card.set_halign(Gtk::Align::CENTER);
    m_card.set_valign(Gtk::Align::CENTER);
    m_card.set_hexpand(true);
    append(m_card);
    set_visible(false);
}

void Notice::Show(const std::string& text, const std::string& button, int seconds_left) {
    m_text.set_text(text);
    m_countdown.set_text(std::to_string(seconds_left));
    m_button.set_label(button);
    set_visible(true);
}

void Notice::Hide() {
    set_visible(false);
}

} // namespace corvalen::platform
