// SPDX-License-Identifier: MIT
#pragma once

#include <gdkmm/display.h>
#include <gdkmm/texture.h>
#include <string>
#include <vector>

namespace corvalen::widgets {

// Makes the icons built into the program (the window icon, the error sign)
// available by name on `display`.
void install_builtin_icons(const Glib::RefPtr<Gdk::Display>& display);

// A list of same-sized pictures built into the program, indexed from 1; every
// magenta (255, 0, 255) pixel is transparent.
class ImageList {
public:
    // Loads NAME-1.png ... NAME-COUNT.png from the built-in pictures.
    ImageList(const std::string& name, int count);

    // The picture at index (1 to count); throws std::out_of_range otherwise.
    [[nodiscard]] const Glib::RefPtr<Gdk::Texture>& ListImages(int index) const;

private:
    std::vector<Glib::RefPtr<Gdk::Texture>> m_pictures;
};

} // namespace corvalen::widgets
