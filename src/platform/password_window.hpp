// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/fixed.h>
#include <gtkmm/label.h>
#include <string>

#include "controls/controls.hpp"
#include "dialog_window.hpp"

namespace corvalen::platform {

// The password dialog's window, built from its design.
class PasswordWindow : public DialogWindow, public controls::IPasswordWindow {
public:
    explicit PasswordWindow(Gtk::Window& owner);

    void show_modal() override;
    [[nodiscard]] bool closed() const override { return m_closed; }
    [[nodiscard]] std::string text() const override;

protected:
    bool on_close_request() override;

private:
    Gtk::Fixed m_layout;
    Gtk::Label Label1;
    Gtk::Entry txtPassword;
    Gtk::Button cmdOK;
    Gtk::Button cmdCancel;
    bool m_closed = false;
};

} // namespace corvalen::platform
