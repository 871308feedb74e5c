// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <memory>
#include <sigc++/signal.h>
#include <string>
#include <vector>

#include "controls/controls.hpp"
#include "image_list.hpp"

namespace corvalen::widgets {

// A flat push button known by its key and seen only as its picture; it shows
// the hot picture while the pointer is over it.
class ToolbarButton : public Gtk::Button, public controls::IToolbarButton {
public:
    ToolbarButton(std::string key, Glib::RefPtr<Gdk::Texture> normal,
                  Glib::RefPtr<Gdk::Texture> hot);

    [[nodiscard]] const std::string& key() const { return m_key; }
    void Visible(bool visible) override { set_visible(visible); }
    void AccessibleName(const std::string& name) override;

private:
    void on_pointer_enter(double x, double y);
    void on_pointer_leave();

    std::string m_key;
    Glib::RefPtr<Gdk::Texture> m_normal;
    Glib::RefPtr<Gdk::Texture> m_hot;
    Gtk::Image m_picture;
};

// A row of keyed picture buttons. Hidden buttons take no room.
class Toolbar : public Gtk::Box, public controls::IToolbar {
public:
    static constexpr int kHeight =
        static_cast<int>(controls::kToolbarHeight / controls::kTwipsPerPixel);
    static constexpr int kButtonWidth = 31;
    static constexpr int kButtonHeight = 30;

    Toolbar(const ImageList& normal, const ImageList& hot);

    // Adds a button at the right end, showing picture `picture` of the lists.
    void add_button(const std::string& key, int picture);

    controls::IToolbarButton& Buttons(const std::string& key) override;

    // The buttons from left to right, hidden ones included.
    [[nodiscard]] std::vector<Gtk::Widget*> buttons_in_order() const;

    // Emitted with the key of the clicked button.
    sigc::signal<void(const std::string&)>& signal_button_click() { return m_signal_button_click; }

private:
    const ImageList& m_normal;
    const ImageList& m_hot;
    std::vector<std::unique_ptr<ToolbarButton>> m_buttons;
    sigc::signal<void(const std::string&)> m_signal_button_click;
};

} // namespace corvalen::widgets
