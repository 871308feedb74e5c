// SPDX-License-Identifier: MIT
#include "toolbar.hpp"

#include <gtkmm/eventcontrollermotion.h>
#include <stdexcept>

#include "toolkit/access.hpp"
#include "toolkit/style.hpp"

namespace corvalen::widgets {
namespace {

constexpr int kPictureSize = 24;

// Buttons are exactly their picture plus a small margin, whatever the theme.
// A button reached with the keyboard keeps its mark for as long as it has the
// focus: GTK would hide it after a few seconds without a key.
void install_toolbar_style() {
    toolkit::install_style(
        ".corvalen-toolbar button { padding: 0; margin: 0; min-width: 0; min-height: 0; }"
        ".corvalen-toolbar button:focus { outline: 2px solid #1c71d8;"
        " outline-offset: -2px; }");
}

} // namespace

ToolbarButton::ToolbarButton(std::string key, Glib::RefPtr<Gdk::Texture> normal,
                             Glib::RefPtr<Gdk::Texture> hot)
    : m_key(std::move(key)), m_normal(std::move(normal)), m_hot(std::move(hot)) {
    m_picture.set(m_normal);
    m_picture.set_pixel_size(kPictureSize);
    // Centred by its own alignment the picture lands on whole pixels; centred
    // inside a wider allocation it would be drawn half a pixel off, blurred.
    m_picture.set_halign(Gtk::Align::CENTER);
    m_picture.set_valign(Gtk::Align::CENTER);
    set_child(m_picture);
    // The button carries the name; its picture would only repeat it.
    gtk_accessible_update_state(GTK_ACCESSIBLE(m_picture.gobj()), GTK_ACCESSIBLE_STATE_HIDDEN, TRUE,
                                -1);
    set_has_frame(false);
    set_focus_on_click(false);
    set_size_request(Toolbar::kButtonWidth, Toolbar::kButtonHeight);
    set_valign(Gtk::Align::CENTER);
    auto motion = Gtk::EventControllerMotion::create();
    motion->signal_enter().connect(sigc::mem_fun(*this, &ToolbarButton::on_pointer_enter));
    motion->signal_leave().connect(sigc::mem_fun(*this, &ToolbarButton::on_pointer_leave));
    add_controller(motion);
}

void ToolbarButton::AccessibleName(const std::string& name) {
    toolkit::set_accessible_name(*this, name);
}

void ToolbarButton::on_pointer_enter(double /*x*/, double /*y*/) {
    m_picture.set(m_hot);
}

void ToolbarButton::on_pointer_leave() {
    m_picture.set(m_normal);
}

Toolbar::Toolbar(const ImageList& normal, const ImageList& hot)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL), m_normal(normal), m_hot(hot) {
    install_toolbar_style();
    add_css_class("corvalen-toolbar");
    set_size_request(-1, kHeight);
}

void Toolbar::add_button(const std::string& key, int picture) {
    auto button = std::make_unique<ToolbarButton>(key, m_normal.ListImages(picture),
                                                  m_hot.ListImages(picture));
    button->signal_clicked().connect([this, key] { m_signal_button_click.emit(key); });
    append(*button);
    m_buttons.push_back(std::move(button));
}

std::vector<Gtk::Widget*> Toolbar::buttons_in_order() const {
    std::vector<Gtk::Widget*> buttons;
    for (const auto& button : m_buttons) {
        buttons.push_back(button.get());
    }
    return buttons;
}

controls::IToolbarButton& Toolbar::Buttons(const std::string& key) {
    for (const auto& button : m_buttons) {
        if (button->key() == key) {
            return *button;
        }
    }
    throw std::out_of_range("no toolbar button with key \"" + key + "\"");
}

} // namespace corvalen::widgets
