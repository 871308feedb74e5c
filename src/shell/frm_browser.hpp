// SPDX-License-Identifier: MIT
#pragma once

// frmBrowser: the main window's logic. It reads the settings at load, fits the
// browser control to the window on resize, and reaches its controls only
// through the interfaces of platform/controls.hpp.

#include <array>
#include <functional>
#include <memory>
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
    using PasswordDialogFactory =
        std::function<std::unique_ptr<corvalen::platform::IPasswordDialog>()>;

    frmBrowser(corvalen::platform::IToolbar& Toolbar1,
               corvalen::platform::IBrowserControl& MozillaBrowser1,
               corvalen::platform::IClientArea& client_area, corvalen::platform::IRuntime& runtime,
               PasswordDialogFactory create_password_dialog, std::string application_directory);

    // Reads corvalen.ini beside the program, hides the buttons switched off
    // and starts loading the home page.
    void Form_Load();
    // Fits the browser control below the toolbar to the client area.
    void Form_Resize();
    // Turns a toolbar button's key into its command; the exit asks for the
    // password first. Keys compare exactly; an unknown key does nothing.
    void Toolbar1_ButtonClick(const std::string& key);

    [[nodiscard]] const std::string& home_page() const { return m_sHomePage; }
    [[nodiscard]] const std::string& exit_password() const { return m_sPassword; }

private:
    corvalen::platform::IToolbar& Toolbar1;
    corvalen::platform::IBrowserControl& MozillaBrowser1;
    corvalen::platform::IClientArea& m_client_area;
    corvalen::platform::IRuntime& m_runtime;
    PasswordDialogFactory m_create_password_dialog;
    // The shared password dialog, created on the first exit attempt.
    std::unique_ptr<corvalen::platform::IPasswordDialog> m_password_dialog;
    std::string m_application_directory;
    std::string m_sHomePage;
    std::string m_sPassword;
};
