// SPDX-License-Identifier: MIT
#include "notice.hpp"

#include <glibmm/main.h>
#include <string>

#include "toolkit/access.hpp"
#include "toolkit/style.hpp"

namespace corvalen::widgets {
namespace {

// How long a hidden idle notice still takes input, unseen.
constexpr unsigned kShieldMs = 400;
// How long the banner shows.
constexpr unsigned kBannerSeconds = 4;

} // namespace

Notice::Notice(Gtk::Overlay& overlay) : m_overlay(overlay), m_card(Gtk::Orientation::VERTICAL, 24) {
    // Both are alerts to assistive technology: a screen reader reads out an
    // alert when it shows. (Set before anything reads the roles, which fixes
    // them.)
    g_object_set(m_card.gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_ALERT, nullptr);
    g_object_set(m_banner.gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_ALERT, nullptr);
    g_object_set(m_message.gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_ALERT, nullptr);
    toolkit::set_labelled_by(m_card, m_text);
    toolkit::install_style(".corvalen-notice { background: rgba(0, 0, 0, 0.6); }"
                           ".corvalen-notice-card { background: #ffffff; color: #1a1a1a;"
                           " border-radius: 12px; padding: 40px 56px; }"
                           ".corvalen-notice-text { font-size: 32px; }"
                           ".corvalen-notice-countdown { font-size: 72px; font-weight: bold; }"
                           ".corvalen-notice-card button { font-size: 28px; padding: 12px 40px; }"
                           ".corvalen-notice-gone { opacity: 0; }"
                           ".corvalen-banner { background: rgba(20, 20, 20, 0.9); color: #ffffff;"
                           " font-size: 24px; border-radius: 8px; padding: 16px 32px; }");
    m_layer.add_css_class("corvalen-notice");
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
    m_layer.append(m_card);
    m_layer.set_visible(false);

    m_banner.add_css_class("corvalen-banner");
    float_over_page(m_banner, 60, Gtk::Align::END);
    m_banner.set_margin_bottom(48);

    // An operator's message: the card's look, without its dimmed layer.
    m_message.add_css_class("corvalen-notice-card");
    m_message.add_css_class("corvalen-notice-text");
    float_over_page(m_message, 40, Gtk::Align::CENTER);

    m_overlay.add_overlay(m_banner);
    m_overlay.add_overlay(m_message);
    m_overlay.add_overlay(m_layer);
}

Notice::~Notice() {
    m_hiding.disconnect();
    m_banner_timer.disconnect();
    m_message_timer.disconnect();
    m_overlay.remove_overlay(m_layer);
    m_overlay.remove_overlay(m_message);
    m_overlay.remove_overlay(m_banner);
}

void Notice::Show(const std::string& text, const std::string& button, int seconds_left) {
    m_hiding.disconnect();
    m_layer.remove_css_class("corvalen-notice-gone");
    m_text.set_text(text);
    m_countdown.set_text(std::to_string(seconds_left));
    m_button.set_label(button);
    m_layer.set_visible(true);
}

void Notice::Hide() {
    if (!m_layer.get_visible() || m_hiding.connected()) {
        return;
    }
    // Gone from sight at once, but still taking input for a moment: a move
    // of the pointer ends the notice, and the click that follows it at once
    // (on the button, say) belongs to the same gesture, not to the page.
    m_layer.add_css_class("corvalen-notice-gone");
    m_hiding = Glib::signal_timeout().connect(
        [this] {
            m_layer.set_visible(false);
            m_layer.remove_css_class("corvalen-notice-gone");
            return false;
        },
        kShieldMs);
}

void Notice::Flash(const std::string& text) {
    show_for(m_banner, m_banner_timer, text, kBannerSeconds);
}

void Notice::Message(const std::string& text, unsigned seconds) {
    show_for(m_message, m_message_timer, text, seconds);
}

void Notice::float_over_page(Gtk::Label& label, int width_chars, Gtk::Align valign) {
    label.set_wrap(true);
    label.set_max_width_chars(width_chars);
    label.set_justify(Gtk::Justification::CENTER);
    label.set_halign(Gtk::Align::CENTER);
    label.set_valign(valign);
    label.set_can_target(false); // everything passes through to the page
    label.set_visible(false);
}

void Notice::show_for(Gtk::Label& label, sigc::connection& timer, const std::string& text,
                      unsigned seconds) {
    label.set_text(text);
    label.set_visible(true);
    timer.disconnect();
    timer = Glib::signal_timeout().connect_seconds(
        [&label] {
            label.set_visible(false);
            return false;
        },
        seconds);
}

} // namespace corvalen::widgets
