// SPDX-License-Identifier: MIT
#pragma once

#include <gdkmm/pixbuf.h>
#include <gdkmm/texture.h>
#include <string>
#include <vector>

namespace corvalen::platform {

// Makes the pictures and icons built into the program available; call once
// before any ImageList is loaded or the window icon is set.
void register_resources();

// The picture as a texture in which every magenta (255, 0, 255) pixel is
// transparent.
Glib::RefPtr<Gdk::Texture> keyed_texture(const Glib::RefPtr<Gdk::Pixbuf>& picture);

// A list of same-sized pictures, indexed from 1.
class ImageList {
public:
    // Loads NAME-1.png ... NAME-COUNT.png from the built-in pictures.
    ImageList(const std::string& name, int count);

    // The picture at index (1 to count); throws std::out_of_range otherwise.
    [[nodiscard]] const Glib::RefPtr<Gdk::Texture>& ListImages(int index) const;

private:
    std::vector<Glib::RefPtr<Gdk::Texture>> m_pictures;
};

} // namespace corvalen::platform
