// SPDX-License-Identifier: MIT
#include "keyboard.hpp"

#include <glib.h>

namespace corvalen::controls {
namespace {

using Action = KeyCap::Action;

// The keys of a row given as characters separated by blanks.
KeyRow typed(std::string_view keys) {
    KeyRow row;
    gchar** parts = g_strsplit(std::string(keys).c_str(), " ", -1);
    for (gchar** part = parts; *part != nullptr; ++part) {
        row.push_back({Action::Type, *part, 2});
    }
    g_strfreev(parts);
    return row;
}

KeyRow with(KeyCap first, KeyRow row, KeyCap last) {
    if (first.width > 0) {
        row.insert(row.begin(), std::move(first));
    }
    if (last.width > 0) {
        row.push_back(std::move(last));
    }
    return row;
}

const KeyCap kNone{Action::Type, "", 0};

KeyboardLayout make_layout(std::string_view row1, std::string_view row2, std::string_view row3,
                           bool with_hide) {
    KeyRow letters_bottom{
        {Action::Symbols, "?123", 3}, {Action::Space, " ", 12}, {Action::Enter, "↵", 3}};
    KeyRow symbols_bottom{
        {Action::Letters, "ABC", 3}, {Action::Space, " ", 12}, {Action::Enter, "↵", 3}};
    KeyboardLayout layout{
        .letters = {typed(row1), typed(row2),
                    with({Action::Shift, "⇧", 3}, typed(row3), {Action::Backspace, "⌫", 3}),
                    letters_bottom},
        .symbols = {typed("1 2 3 4 5 6 7 8 9 0"), typed("@ # $ % & * - + = / €"),
                    typed("( ) [ ] { } < > \\ | ^"),
                    with(kNone, typed("! ? , . : ; ' \" _ ~ `"), {Action::Backspace, "⌫", 3}),
                    symbols_bottom},
    };
    return with_hide ? with_hide_key(std::move(layout)) : layout;
}

} // namespace

std::optional<KeyboardLayout> keyboard_layout(std::string_view name, bool with_hide) {
    if (name == "qwerty") {
        return make_layout("q w e r t y u i o p", "a s d f g h j k l", "z x c v b n m , .",
                           with_hide);
    }
    if (name == "azerty") {
        return make_layout("a z e r t y u i o p", "q s d f g h j k l m", "w x c v b n , .",
                           with_hide);
    }
    if (name == "qwertz") {
        return make_layout("q w e r t z u i o p ü", "a s d f g h j k l ö ä", "y x c v b n m , .",
                           with_hide);
    }
    return std::nullopt;
}

KeyboardLayout with_hide_key(KeyboardLayout layout) {
    for (auto* page : {&layout.letters, &layout.symbols}) {
        page->back().push_back({Action::Hide, "⌨", 3});
    }
    return layout;
}

void Keyboard::focus_in(bool digits) {
    m_field = true;
    m_shown = true;
    m_symbols = digits;
}

void Keyboard::focus_out() {
    m_field = false;
    m_shown = false;
}

bool Keyboard::touched() {
    m_shown = m_shown || m_field;
    return m_shown;
}

Keyboard::Output Keyboard::press(const KeyCap& key) {
    switch (key.action) {
    case Action::Type: {
        Output out{Output::Kind::Text, label(key)};
        m_shifted = false;
        return out;
    }
    case Action::Space:
        return {Output::Kind::Text, " "};
    case Action::Shift:
        m_shifted = !m_shifted;
        return {};
    case Action::Backspace:
        return {Output::Kind::Backspace, {}};
    case Action::Enter:
        return {Output::Kind::Enter, {}};
    case Action::Symbols:
        m_symbols = true;
        return {};
    case Action::Letters:
        m_symbols = false;
        return {};
    case Action::Hide:
        m_shown = false;
        return {};
    }
    return {};
}

std::string Keyboard::name(const KeyCap& key) const {
    switch (key.action) {
    case Action::Type:
        return label(key);
    case Action::Shift:
        return "Shift";
    case Action::Backspace:
        return "Backspace";
    case Action::Enter:
        return "Enter";
    case Action::Space:
        return "Space";
    case Action::Symbols:
        return "Digits and symbols";
    case Action::Letters:
        return "Letters";
    case Action::Hide:
        return "Hide keyboard";
    }
    return key.text;
}

std::string Keyboard::label(const KeyCap& key) const {
    if (key.action != Action::Type || !m_shifted) {
        return key.text;
    }
    gchar* upper = g_utf8_strup(key.text.c_str(), -1);
    std::string text = upper;
    g_free(upper);
    return text;
}

} // namespace corvalen::controls
