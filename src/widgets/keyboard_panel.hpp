// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <gtkmm/button.h>
#include <gtkmm/grid.h>
#include <memory>
#include <vector>

#include "controls/keyboard.hpp"

namespace corvalen::widgets {

// An on-screen keyboard: large keys in rows, drawn from a layout. Its keys
// never take the focus, so the text field being typed into keeps it; what a
// key types goes to on_output.
class KeyboardPanel : public Gtk::Grid {
public:
    // What the keys do where they type.
    struct Typing {
        std::function<void(const std::string& text)> text;
        std::function<void()> backspace;
        std::function<void()> enter;
    };

    // Keys `key_height` pixels high; the panel is at least `key_width` per key
    // wide (0: as wide as it is given), and its keys share that width.
    KeyboardPanel(controls::KeyboardLayout layout, int key_width, int key_height);
    ~KeyboardPanel() override;
    KeyboardPanel(const KeyboardPanel&) = delete;
    KeyboardPanel& operator=(const KeyboardPanel&) = delete;

    void type_into(Typing typing) { m_typing = std::move(typing); }
    // Called when a key hid the keyboard.
    void on_hidden(std::function<void()> callback) { m_hidden = std::move(callback); }
    // Called when the keys were drawn anew (another page may be less high).
    void on_redrawn(std::function<void()> callback) { m_redrawn = std::move(callback); }

    controls::Keyboard& state() { return m_state; }
    // Draws the keys of the state's page and Shift anew.
    void refresh();

private:
    void press(const controls::KeyCap& key);

    controls::KeyboardLayout m_layout;
    controls::Keyboard m_state;
    int m_key_height;
    std::vector<std::unique_ptr<Gtk::Button>> m_keys;
    Typing m_typing;
    std::function<void()> m_hidden;
    std::function<void()> m_redrawn;
    sigc::connection m_refresh;
};

} // namespace corvalen::widgets
