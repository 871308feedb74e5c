// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/window.h>

#include "controls/controls.hpp"

namespace corvalen::platform {

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

// Ends the program at once with `status`: no further handler, no destructor,
// nothing written. The web engine's helper processes end when their
// connection to us closes.
[[noreturn]] void end_program(int status);

} // namespace corvalen::platform
