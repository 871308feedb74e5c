// SPDX-License-Identifier: MIT
#include "frm_browser.hpp"

#include <algorithm>

#include "inifile/cinifile.hpp"

namespace {

struct ButtonSwitch {
    const char* key_name;
    const char* button_key;
};

constexpr std::array<ButtonSwitch, 5> kButtonSwitches{{
    {"BackEnabled", "back"},
    {"ForwardEnabled", "forward"},
    {"StopEnabled", "stop"},
    {"RefreshEnabled", "refresh"},
    {"HomeEnabled", "home"},
}};

} // namespace

frmBrowser::frmBrowser(corvalen::platform::IToolbar& toolbar,
                       corvalen::platform::IBrowserControl& browser,
                       corvalen::platform::IClientArea& client_area,
                       corvalen::platform::IRuntime& runtime,
                       PasswordDialogFactory create_password_dialog,
                       std::string application_directory)
    : Toolbar1(toolbar), MozillaBrowser1(browser), m_client_area(client_area), m_runtime(runtime),
      m_create_password_dialog(std::move(create_password_dialog)),
      m_application_directory(std::move(application_directory)) {}

void frmBrowser::Form_Load() {
    {
        cInifile ini;
        // The separator is always added, even after a directory that ends in one.
        ini.Path(m_application_directory + "/corvalen.ini");
        ini.Section("Options");
        ini.Key("Homepage");
        ini.Default("about:blank");
        m_sHomePage = ini.Value();
        ini.Key("Password");
        ini.Default("");
        m_sPassword = ini.Value();
        ini.Section("Toolbar");
        for (const ButtonSwitch& row : kButtonSwitches) {
            ini.Key(row.key_name);
            ini.Default("1");
            if (ini.Value() == "0") {
                Toolbar1.Buttons(row.button_key).Visible(false);
            }
        }
    }
    MozillaBrowser1.Navigate(m_sHomePage);
}

void frmBrowser::Form_Resize() {
    MozillaBrowser1.Width(m_client_area.ScaleWidth());
    // The control starts below the toolbar, so it is that much less high than
    // the client area: nothing of the page may lie below the screen edge.
    MozillaBrowser1.Height(
        std::max(0.0F, m_client_area.ScaleHeight() - FormDesign::kToolbarHeight));
}

void frmBrowser::Toolbar1_ButtonClick(const std::string& key) {
    const std::string sKey = key;
    if (sKey == "back") {
        MozillaBrowser1.GoBack();
    } else if (sKey == "forward") {
        MozillaBrowser1.GoForward();
    } else if (sKey == "stop") {
        MozillaBrowser1.Stop();
    } else if (sKey == "refresh") {
        MozillaBrowser1.Refresh();
    } else if (sKey == "home") {
        MozillaBrowser1.Navigate(m_sHomePage);
    } else if (sKey == "end") {
        if (!m_password_dialog) {
            m_password_dialog = m_create_password_dialog();
        }
        if (m_password_dialog->AskPassword(m_sPassword)) {
            m_runtime.End();
            return;
        }
        m_runtime.MsgBoxCritical("Password incorrect", "Afsluiten");
    }
}
