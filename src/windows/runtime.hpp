// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/window.h>

#include "controls/controls.hpp"

namespace corvalen::windows {

// The runtime services of the windows; message boxes are owned by `owner`.
class Runtime : public controls::IRuntime {
public:
    explicit Runtime(Gtk::Window& owner) : m_owner(owner) {}

    void MsgBoxCritical(const std::string& prompt, const std::string& title) override;
    [[noreturn]] void End() override;
    void CloseDialogs() override;

private:
    Gtk::Window& m_owner;
};

} // namespace corvalen::windows
