// SPDX-License-Identifier: MIT
// The on-screen keyboard's layouts and what its keys do.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "controls/keyboard.hpp"

namespace corvalen::test {
namespace {

using controls::Keyboard;
using controls::KeyCap;
using Kind = Keyboard::Output::Kind;

std::string first_letters(const controls::KeyboardLayout& layout) {
    std::string letters;
    for (const KeyCap& key : layout.letters.front()) {
        letters += key.text;
    }
    return letters.substr(0, 6);
}

TEST(KeyboardLayout, EachTypesEveryPrintableCharacter) {
    for (const char* name : {"qwerty", "azerty", "qwertz"}) {
        SCOPED_TRACE(name);
        const auto layout = controls::keyboard_layout(name, true);
        ASSERT_TRUE(layout);
        EXPECT_EQ(first_letters(*layout), name);
        Keyboard keyboard;
        std::set<std::string> typed;
        for (const auto* page : {&layout->letters, &layout->symbols}) {
            for (const auto& row : *page) {
                for (const KeyCap& key : row) {
                    for (const bool shift : {false, true}) {
                        if (keyboard.shifted() != shift) {
                            keyboard.press({KeyCap::Action::Shift, "⇧", 3});
                        }
                        typed.insert(keyboard.press(key).text);
                    }
                }
            }
        }
        for (char c = ' '; c <= '~'; ++c) {
            EXPECT_TRUE(typed.count(std::string(1, c))) << "cannot type '" << c << "'";
        }
    }
    EXPECT_FALSE(controls::keyboard_layout("dvorak", true));
    EXPECT_FALSE(controls::keyboard_layout("QWERTY", true));
    const auto without_hide = controls::keyboard_layout("qwerty", false);
    for (const auto& row : without_hide->letters) {
        for (const KeyCap& key : row) {
            EXPECT_NE(key.action, KeyCap::Action::Hide) << "the dialog's keypad cannot be hidden";
        }
    }
}

TEST(Keyboard, ShowsForAFieldAndTypesWithShiftForOneCharacter) {
    const KeyCap a{KeyCap::Action::Type, "a", 2};
    const KeyCap ue{KeyCap::Action::Type, "ü", 2};
    const KeyCap shift{KeyCap::Action::Shift, "⇧", 3};
    Keyboard keyboard;
    EXPECT_FALSE(keyboard.shown());
    keyboard.focus_in(false);
    EXPECT_TRUE(keyboard.shown());
    EXPECT_FALSE(keyboard.on_symbols());
    keyboard.press(shift);
    EXPECT_EQ(keyboard.label(a), "A");
    EXPECT_EQ(keyboard.press(ue), (Keyboard::Output{Kind::Text, "Ü"}));
    EXPECT_EQ(keyboard.press(a), (Keyboard::Output{Kind::Text, "a"})) << "Shift held for one";
    EXPECT_EQ(keyboard.press({KeyCap::Action::Space, " ", 12}),
              (Keyboard::Output{Kind::Text, " "}));
    EXPECT_EQ(keyboard.press({KeyCap::Action::Backspace, "⌫", 3}).kind, Kind::Backspace);
    EXPECT_EQ(keyboard.press({KeyCap::Action::Enter, "↵", 3}).kind, Kind::Enter);
    keyboard.press({KeyCap::Action::Symbols, "?123", 3});
    EXPECT_TRUE(keyboard.on_symbols());
    keyboard.press({KeyCap::Action::Hide, "⌨", 3});
    EXPECT_FALSE(keyboard.shown());
    EXPECT_TRUE(keyboard.touched()) << "touching the field again brings it back";
    keyboard.focus_in(true);
    EXPECT_TRUE(keyboard.shown());
    EXPECT_TRUE(keyboard.on_symbols()) << "a field for digits opens the digits";
    keyboard.press(shift);
    keyboard.focus_out();
    EXPECT_FALSE(keyboard.shown());
    EXPECT_FALSE(keyboard.touched()) << "no field, no keyboard";
    keyboard.reset();
    EXPECT_FALSE(keyboard.shown() || keyboard.shifted() || keyboard.on_symbols());
}

} // namespace
} // namespace corvalen::test
