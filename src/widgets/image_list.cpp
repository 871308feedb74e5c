// SPDX-License-Identifier: MIT
#include "image_list.hpp"

#include <gdkmm/pixbuf.h>
#include <gio/gio.h>
#include <gtkmm/icontheme.h>
#include <stdexcept>

extern "C" void corvalen_register_resource(void);

namespace corvalen::widgets {
namespace {

// The pictures and icons built into the program, registered on first use.
void register_resources() {
    static const bool registered = [] {
        corvalen_register_resource();
        return true;
    }();
    static_cast<void>(registered);
}

Glib::RefPtr<Gdk::Texture> keyed_texture(const Glib::RefPtr<Gdk::Pixbuf>& picture) {
    return Gdk::Texture::create_for_pixbuf(picture->add_alpha(true, 255, 0, 255));
}

} // namespace

void install_builtin_icons(const Glib::RefPtr<Gdk::Display>& display) {
    register_resources();
    Gtk::IconTheme::get_for_display(display)->add_resource_path("/org/corvalen/icons/hicolor");
}

ImageList::ImageList(const std::string& name, int count) {
    register_resources();
    for (int index = 1; index <= count; ++index) {
        m_pictures.push_back(keyed_texture(Gdk::Pixbuf::create_from_resource(
            "/org/corvalen/pictures/" + name + "-" + std::to_string(index) + ".png")));
    }
}

const Glib::RefPtr<Gdk::Texture>& ImageList::ListImages(int index) const {
    if (index < 1 || static_cast<std::size_t>(index) > m_pictures.size()) {
        throw std::out_of_range("no picture " + std::to_string(index) + " in the image list");
    }
    return m_pictures[static_cast<std::size_t>(index) - 1];
}

} // namespace corvalen::widgets
