// SPDX-License-Identifier: MIT
#include "keyboard_panel.hpp"

#include <gtkmm/togglebutton.h>

#include <algorithm>
#include <glibmm/main.h>

#include "toolkit/access.hpp"
#include "toolkit/style.hpp"

namespace corvalen::widgets {
namespace {

using controls::KeyCap;

int row_width(const controls::KeyRow& row) {
    int width = 0;
    for (const KeyCap& key : row) {
        width += key.width;
    }
    return width;
}

int widest_row(const std::vector<controls::KeyRow>& rows) {
    int widest = 0;
    for (const auto& row : rows) {
        widest = std::max(widest, row_width(row));
    }
    return widest;
}

} // namespace

KeyboardPanel::KeyboardPanel(controls::KeyboardLayout layout, int key_width, int key_height)
    : m_layout(std::move(layout)), m_key_height(key_height) {
    toolkit::install_style(".corvalen-keyboard { background: #d8d8d8; padding: 4px; }"
                           ".corvalen-keyboard button { font-size: 22px; min-width: 0; padding: 0;"
                           " background: #ffffff; color: #202020; border: 1px solid #a0a0a0; }"
                           ".corvalen-keyboard button.corvalen-key-on { background: #1c71d8;"
                           " color: #ffffff; }"
                           ".corvalen-keyboard button:active { background: #99c1f1; }");
    add_css_class("corvalen-keyboard");
    set_row_spacing(4);
    set_column_spacing(4);
    set_column_homogeneous(true);
    set_focusable(false);
    const int widest = std::max(widest_row(m_layout.letters), widest_row(m_layout.symbols));
    set_size_request(widest * key_width / 2, -1);
    refresh();
}

KeyboardPanel::~KeyboardPanel() {
    m_refresh.disconnect();
}

void KeyboardPanel::refresh() {
    for (const auto& key : m_keys) {
        remove(*key);
    }
    m_keys.clear();
    const auto& rows = m_state.on_symbols() ? m_layout.symbols : m_layout.letters;
    const int widest = widest_row(rows);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        // Shorter rows are centred, as on a keyboard.
        int column = (widest - row_width(rows[r])) / 2;
        for (const KeyCap& key : rows[r]) {
            // Shift is a toggle, and says whether it is on.
            std::unique_ptr<Gtk::Button> button;
            if (key.action == KeyCap::Action::Shift) {
                auto shift = std::make_unique<Gtk::ToggleButton>(m_state.label(key));
                shift->set_active(m_state.shifted());
                button = std::move(shift);
            } else {
                button = std::make_unique<Gtk::Button>(m_state.label(key));
            }
            toolkit::set_accessible_name(*button, m_state.name(key));
            button->set_focusable(false);
            button->set_focus_on_click(false);
            button->set_size_request(-1, m_key_height);
            if (key.action == KeyCap::Action::Shift && m_state.shifted()) {
                button->add_css_class("corvalen-key-on");
            }
            button->signal_clicked().connect([this, key] { press(key); });
            attach(*button, column, r, key.width, 1);
            column += key.width;
            m_keys.push_back(std::move(button));
        }
    }
    if (m_redrawn) {
        m_redrawn();
    }
}

void KeyboardPanel::press(const KeyCap& key) {
    const bool was_shifted = m_state.shifted();
    const bool was_symbols = m_state.on_symbols();
    const controls::Keyboard::Output output = m_state.press(key);
    // Drawn anew only when the keys change, after the key's own handler has
    // returned: the button pressed is among those removed.
    if (m_state.shifted() != was_shifted || m_state.on_symbols() != was_symbols) {
        m_refresh.disconnect();
        m_refresh = Glib::signal_idle().connect([this] {
            refresh();
            return false;
        });
    }
    switch (output.kind) {
    case controls::Keyboard::Output::Kind::Text:
        if (m_typing.text) {
            m_typing.text(output.text);
        }
        break;
    case controls::Keyboard::Output::Kind::Backspace:
        if (m_typing.backspace) {
            m_typing.backspace();
        }
        break;
    case controls::Keyboard::Output::Kind::Enter:
        if (m_typing.enter) {
            m_typing.enter();
        }
        break;
    case controls::Keyboard::Output::Kind::None:
        break;
    }
    if (!m_state.shown() && m_hidden) {
        m_hidden();
    }
}

} // namespace corvalen::widgets
