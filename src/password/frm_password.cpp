// SPDX-License-Identifier: MIT
#include "frm_password.hpp"

frmPassword::frmPassword(WindowFactory create_window) : m_create_window(std::move(create_window)) {}

bool frmPassword::AskPassword(std::string sPassword) {
    const std::string password = std::move(sPassword);
    auto window = m_create_window();
    window->show_modal();
    // A window closed from its title bar lost its controls: it reads as a
    // text box built anew, that is, empty.
    const std::string typed = window->closed() ? std::string() : window->text();
    const bool result = typed == password;
    window.reset();
    return result;
}
