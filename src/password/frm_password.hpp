// SPDX-License-Identifier: MIT
#pragma once

// frmPassword: asks for the exit password and answers whether it matched. Its
// window exists only while AskPassword runs, so every call starts afresh.

#include <functional>
#include <memory>
#include <string>

#include "controls/controls.hpp"

class frmPassword : public corvalen::controls::IPasswordDialog {
public:
    using WindowFactory = std::function<std::unique_ptr<corvalen::controls::IPasswordWindow>()>;

    explicit frmPassword(WindowFactory create_window);

    // Shows the dialog and compares the entry with sPassword exactly: character
    // by character, case-sensitive, no trimming. Whichever way the dialog was
    // left the comparison is made; a window closed from its title bar counts
    // as an empty entry.
    bool AskPassword(std::string sPassword) override;
    // The same dialog, with the entry checked against a crypt(3) hash; an
    // unrecognised hash matches no entry.
    bool AskPasswordHash(std::string sHash) override;

private:
    // Shows the dialog and returns the text to compare, as AskPassword
    // describes.
    std::string ask();

    WindowFactory m_create_window;
};
