// SPDX-License-Identifier: MIT
#pragma once

// The on-screen keyboard for touch screens, as plain C++: its layouts, and
// what each key does to its state and to the text field it types into.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvalen::controls {

struct KeyCap {
    enum class Action {
        Type, // types `text`, in capitals while shifted
        Shift,
        Backspace,
        Enter,
        Space,
        Symbols, // to the page of digits and signs
        Letters, // back to the letters
        Hide,
    };
    Action action = Action::Type;
    std::string text; // for Type: one character, as typed unshifted; else the label
    int width = 2;    // in half keys
    bool operator==(const KeyCap&) const = default;
};

using KeyRow = std::vector<KeyCap>;

// The keys of a layout, row by row: letters, and digits with signs. Every
// printable ASCII character can be typed.
struct KeyboardLayout {
    std::vector<KeyRow> letters;
    std::vector<KeyRow> symbols;
    bool operator==(const KeyboardLayout&) const = default;
};

// "qwerty", "azerty" or "qwertz"; none for any other name. `with_hide` adds
// the key that hides the keyboard.
std::optional<KeyboardLayout> keyboard_layout(std::string_view name, bool with_hide);
// `layout` with the key that hides the keyboard at the end of each page.
KeyboardLayout with_hide_key(KeyboardLayout layout);

// [Touch]: how the program suits a terminal that has a touch screen and no
// keyboard. The defaults change nothing.
struct TouchSettings {
    enum class Cursor {
        Shown,
        Hidden,           // never drawn over the program's windows
        HiddenAfterTouch, // hidden by a touch, shown again by a mouse
    };
    bool keyboard = false; // an on-screen keyboard for text fields
    KeyboardLayout layout = *keyboard_layout("qwerty", false);
    Cursor cursor = Cursor::Shown;
    bool page_zoom = true; // pinch and Ctrl+scroll zoom pages
};

// The state of one on-screen keyboard: shown or not, Shift, which page.
class Keyboard {
public:
    struct Output {
        enum class Kind { None, Text, Backspace, Enter };
        Kind kind = Kind::None;
        std::string text;
        bool operator==(const Output&) const = default;
    };

    // A text field gained the focus; `digits` when it asks for digits, which
    // opens the page that has them.
    void focus_in(bool digits);
    void focus_out();
    // The page was touched while a text field has the focus: a keyboard
    // hidden by its key comes back. True when it is shown.
    bool touched();
    // Whether a text field has the focus, shown or not.
    [[nodiscard]] bool field() const { return m_field; }
    [[nodiscard]] bool shown() const { return m_shown; }
    [[nodiscard]] bool shifted() const { return m_shifted; }
    [[nodiscard]] bool on_symbols() const { return m_symbols; }

    // What pressing `key` types; changes Shift, the page or whether shown.
    // Shift holds for one character.
    Output press(const KeyCap& key);
    // The key's label as it shows now.
    [[nodiscard]] std::string label(const KeyCap& key) const;
    // What assistive technology says the key is: what it types, or what it
    // does ("Shift", "Backspace", "Hide keyboard", ...).
    [[nodiscard]] std::string name(const KeyCap& key) const;
    // A new visitor: letters, no Shift, hidden.
    void reset() { *this = Keyboard(); }

private:
    bool m_field = false;
    bool m_shown = false;
    bool m_shifted = false;
    bool m_symbols = false;
};

} // namespace corvalen::controls
