// SPDX-License-Identifier: MIT
#include "access.hpp"

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/togglebutton.h>

namespace corvalen::toolkit {
namespace {

constexpr const char* kName = "corvalen-name";
constexpr const char* kLabel = "corvalen-label";
constexpr const char* kIntro = "corvalen-intro";

void keep_text(Glib::ObjectBase& object, const char* key, const std::string& text) {
    g_object_set_data_full(object.gobj(), key, g_strdup(text.c_str()), g_free);
}

std::string kept_text(Glib::ObjectBase& object, const char* key) {
    const auto* text = static_cast<const char*>(g_object_get_data(object.gobj(), key));
    return text != nullptr ? text : "";
}

std::string name_of(Gtk::Widget& widget) {
    if (std::string name = kept_text(widget, kName); !name.empty()) {
        return name;
    }
    if (auto* label = static_cast<GtkLabel*>(g_object_get_data(G_OBJECT(widget.gobj()), kLabel))) {
        return gtk_label_get_text(label);
    }
    if (auto* button = dynamic_cast<Gtk::Button*>(&widget)) {
        return button->get_label();
    }
    return "";
}

std::string kind_of(Gtk::Widget& widget) {
    if (auto* toggle = dynamic_cast<Gtk::ToggleButton*>(&widget)) {
        return toggle->get_active() ? "toggle button, pressed" : "toggle button, not pressed";
    }
    if (dynamic_cast<Gtk::Button*>(&widget) != nullptr) {
        return "button";
    }
    if (auto* entry = dynamic_cast<Gtk::Entry*>(&widget)) {
        return entry->get_visibility() ? "text" : "password text";
    }
    return "";
}

} // namespace

void set_accessible_name(Gtk::Widget& widget, const std::string& name) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   name.c_str(), -1);
    keep_text(widget, kName, name);
}

void set_labelled_by(Gtk::Widget& widget, Gtk::Label& label) {
    gtk_accessible_update_relation(GTK_ACCESSIBLE(widget.gobj()),
                                   GTK_ACCESSIBLE_RELATION_LABELLED_BY, label.gobj(), nullptr, -1);
    g_object_set_data(G_OBJECT(widget.gobj()), kLabel, label.gobj());
}

std::string spoken_description(Gtk::Widget& widget) {
    std::string said = name_of(widget);
    if (const std::string kind = kind_of(widget); !kind.empty()) {
        said += said.empty() ? kind : ", " + kind;
    }
    return said;
}

void set_spoken_intro(Gtk::Window& window, const std::string& intro) {
    keep_text(window, kIntro, intro);
}

std::string spoken_intro(Gtk::Window& window) {
    return kept_text(window, kIntro);
}

} // namespace corvalen::toolkit
