// SPDX-License-Identifier: MIT
#include "frm_password.hpp"

#include "password_hash.hpp"

frmPassword::frmPassword(WindowFactory create_window) : m_create_window(std::move(create_window)) {}

bool frmPassword::AskPassword(std::string sPassword) {
    const std::string password = std::move(sPassword);
    return ask() == password;
}

bool frmPassword::AskPasswordHash(std::string sHash) {
    const std::string hash = std::move(sHash);
    return corvalen::password::matches_hash(ask(), hash);
}

std::string frmPassword::ask() {
    auto window = m_create_window();
    window->show_modal();
    // A window closed from its title bar lost its controls: it reads as a
    // text box built anew, that is, empty.
    std::string typed = window->closed() ? std::string() : window->text();
    window.reset();
    return typed;
}
