// SPDX-License-Identifier: MIT
#pragma once

// frmBrowser: the main window's logic. It reads the settings at load, fits the
// browser control to the window on resize, and reaches its controls only
// through the interfaces of platform/controls.hpp.

#include <array>
#include <string>

#include "platform/controls.hpp"

struct FormDesign {
    static constexpr const char* kTitle = "Corvalen";
    static constexpr float kToolbarHeight = 480.0F; // twips

    struct Button {
        const char* key;
        int picture;
    };
    // Toolbar1's buttons, left to right.
    static constexpr std::array<Button, 6> kButtons{{
        {"back", 1},
        {"forward", 2},
        {"stop", 3},
        {"refresh", 4},
        {"home", 5},
        {"end", 6},
    }};
};

class frmBrowser {
public:
    frmBrowser(corvalen::platform::IToolbar& Toolbar1,
               corvalen::platform::IBrowserControl& MozillaBrowser1,
               corvalen::platform::IClientArea& client_area, std::string application_directory);

    // Reads corvalen.ini beside the program, hides the buttons switched off
    // and starts loading the home page.
    void Form_Load();
    // Fits the browser control below the toolbar to the client area.
    void Form_Resize();

    [[nodiscard]] const std::string& home_page() const { return m_sHomePage; }
    [[nodiscard]] const std::string& exit_password() const { return m_sPassword; }

private:
    corvalen::platform::IToolbar& Toolbar1;
    corvalen::platform::IBrowserControl& MozillaBrowser1;
    corvalen::platform::IClientArea& m_client_area;
    std::string m_application_directory;
    std::string m_sHomePage;
    std::string m_sPassword;
};
