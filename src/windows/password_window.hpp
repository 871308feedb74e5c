// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/fixed.h>
#include <gtkmm/label.h>
#include <memory>
#include <string>

#include "controls/controls.hpp"
#include "dialog_window.hpp"
#include "widgets/keyboard_panel.hpp"

namespace corvalen::windows {

// The password dialog's window, built from its design. With a `keypad`, an
// on-screen keyboard lies below the controls, which keep their places, and
// types into the text box.
class PasswordWindow : public DialogWindow, public controls::IPasswordWindow {
public:
    explicit PasswordWindow(Gtk::Window& owner, const controls::KeyboardLayout* keypad = nullptr);

    void show_modal() override;
    [[nodiscard]] bool closed() const override { return m_closed; }
    [[nodiscard]] std::string text() const override;

protected:
    bool on_close_request() override;

private:
    // The keypad's keys, as keys on a keyboard would edit the field.
    void type(const std::string& text);
    void backspace();

    Gtk::Box m_content;
    std::unique_ptr<widgets::KeyboardPanel> m_keypad;
    Gtk::Fixed m_layout;
    Gtk::Label Label1;
    Gtk::Entry txtPassword;
    Gtk::Button cmdOK;
    Gtk::Button cmdCancel;
    bool m_closed = false;
};

} // namespace corvalen::windows
