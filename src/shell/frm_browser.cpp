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

std::string value_of(cInifile& ini, const char* key, const char* fallback) {
    ini.Key(key);
    ini.Default(fallback);
    return ini.Value();
}

// One line on the log for a setting that is not taken.
void report(std::ostream& log, const char* section, const char* key, const std::string& value,
            const char* wanted, const char* outcome) {
    log << "corvalen: [" << section << "] " << key << "=\"" << value << "\" is not " << wanted
        << "; " << outcome << '\n';
}

// A switch: "1" on, "0" or empty off; anything else is reported and off.
bool switch_of(cInifile& ini, std::ostream& log, const char* section, const char* key,
               const char* outcome) {
    const std::string text = value_of(ini, key, "0");
    if (text != "1" && text != "0" && !text.empty()) {
        report(log, section, key, text, "0 or 1", outcome);
    }
    return text == "1";
}

} // namespace

frmBrowser::frmBrowser(corvalen::controls::IToolbar& toolbar,
                       corvalen::controls::IBrowserControl& browser,
                       corvalen::controls::IClientArea& client_area,
                       corvalen::controls::IRuntime& runtime, corvalen::controls::INotice& notice,
                       PasswordDialogFactory create_password_dialog,
                       std::string application_directory, std::ostream& log)
    : Toolbar1(toolbar), MozillaBrowser1(browser), m_client_area(client_area), m_runtime(runtime),
      m_notice(notice), m_create_password_dialog(std::move(create_password_dialog)),
      m_application_directory(std::move(application_directory)), m_log(log) {}

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
        read_session_settings(ini);
        read_texts(ini);
        read_allowed_sites(ini);
        read_touch_settings(ini);
    }
    MozillaBrowser1.HomePage(m_sHomePage);
    MozillaBrowser1.Navigate(m_sHomePage);
}

void frmBrowser::read_allowed_sites(cInifile& ini) {
    ini.Section("AllowedSites");
    std::vector<std::string> keys;
    std::int32_t count = 0;
    ini.EnumerateCurrentSection(keys, count);
    if (keys.empty()) {
        return;
    }
    // Listed but unreadable patterns narrow the list, never widen it: with
    // none left, only the home page's site remains.
    std::vector<corvalen::controls::SitePattern> patterns;
    for (const std::string& key : keys) {
        const std::string text = value_of(ini, key.c_str(), "");
        if (auto pattern = corvalen::controls::SitePattern::parse(text)) {
            patterns.push_back(std::move(*pattern));
        } else {
            m_log << "corvalen: [AllowedSites] " << key << "=\"" << text
                  << "\" is not a site pattern; ignored\n";
        }
    }
    MozillaBrowser1.AllowSites(corvalen::controls::SiteList(m_sHomePage, std::move(patterns)));
}

void frmBrowser::MozillaBrowser1_Refused() {
    m_notice.Flash(m_blocked);
}

void frmBrowser::read_session_settings(cInifile& ini) {
    using corvalen::shell::whole_seconds;
    ini.Section("Session");
    const std::string reset_text = value_of(ini, "IdleReset", "0");
    const std::optional<int> reset = whole_seconds(reset_text, 10, 86400);
    if (!reset && !reset_text.empty() && reset_text != "0") {
        report(m_log, "Session", "IdleReset", reset_text, "a whole number from 10 to 86400",
               "sessions do not end for lack of input");
    }
    const std::string warning_text = value_of(ini, "IdleWarning", "10");
    std::optional<int> warning = whole_seconds(warning_text, 0, 86400);
    if (!warning) {
        report(m_log, "Session", "IdleWarning", warning_text, "a whole number from 0 to 86400",
               "the notice stands for the default 10 seconds");
        warning = 10;
    }
    if (reset) {
        m_idle = corvalen::shell::IdleTimer(std::chrono::seconds(*reset),
                                            std::chrono::seconds(*warning));
    }
    m_clear_on_home =
        switch_of(ini, m_log, "Session", "ClearOnHome", "the home button keeps the session");
}

void frmBrowser::read_touch_settings(cInifile& ini) {
    using corvalen::controls::TouchSettings;
    ini.Section("Touch");
    m_touch.keyboard = switch_of(ini, m_log, "Touch", "Keyboard", "no on-screen keyboard");
    const std::string layout = value_of(ini, "KeyboardLayout", "qwerty");
    if (corvalen::controls::keyboard_layout(layout, false)) {
        m_touch.layout = layout;
    } else {
        report(m_log, "Touch", "KeyboardLayout", layout, "qwerty, azerty or qwertz",
               "the keyboard is qwerty");
    }
    const std::string cursor = value_of(ini, "HideCursor", "0");
    if (cursor == "1") {
        m_touch.cursor = TouchSettings::Cursor::Hidden;
    } else if (cursor == "2") {
        m_touch.cursor = TouchSettings::Cursor::HiddenAfterTouch;
    } else if (cursor != "0" && !cursor.empty()) {
        report(m_log, "Touch", "HideCursor", cursor, "0, 1 or 2", "the cursor is shown");
    }
    const std::string zoom = value_of(ini, "PageZoom", "1");
    m_touch.page_zoom = zoom != "0";
    if (zoom != "1" && zoom != "0" && !zoom.empty()) {
        report(m_log, "Touch", "PageZoom", zoom, "0 or 1", "pages can be zoomed");
    }
}

void frmBrowser::read_texts(cInifile& ini) {
    ini.Section("Texts");
    m_still_there = value_of(ini, "StillThere", "Are you still there?");
    m_continue = value_of(ini, "Continue", "Continue");
    m_blocked = value_of(ini, "Blocked", "This page is not available on this terminal.");
    MozillaBrowser1.UnreachableText(value_of(
        ini, "Unreachable",
        "This page cannot be reached at the moment. It will be tried again automatically."));
}

std::optional<frmBrowser::Clock::duration> frmBrowser::Visitor_Input(Clock::time_point now) {
    if (m_idle.input(now)) {
        m_notice.Hide();
    }
    return m_idle.next_tick(now);
}

std::optional<frmBrowser::Clock::duration> frmBrowser::Idle_Tick(Clock::time_point now) {
    const auto step = m_idle.tick(now);
    switch (step.action) {
    case corvalen::shell::IdleTimer::Action::None:
        break;
    case corvalen::shell::IdleTimer::Action::Notice:
        m_notice.Show(m_still_there, m_continue, step.seconds_left);
        break;
    case corvalen::shell::IdleTimer::Action::End:
        EndVisitorSession(now);
        break;
    }
    return m_idle.next_tick(now);
}

void frmBrowser::EndVisitorSession(Clock::time_point now) {
    ++m_session;
    m_idle.restart(now);
    m_notice.Hide();
    m_runtime.CloseDialogs();
    MozillaBrowser1.ClearSession();
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
        if (m_clear_on_home) {
            EndVisitorSession(Clock::now());
        } else {
            MozillaBrowser1.Navigate(m_sHomePage);
        }
    } else if (sKey == "end") {
        if (!m_password_dialog) {
            m_password_dialog = m_create_password_dialog();
        }
        const unsigned session = m_session;
        const bool right = m_password_dialog->AskPassword(m_sPassword);
        if (session != m_session) {
            return; // the session ended meanwhile and closed the dialog: no answer
        }
        if (right) {
            m_runtime.End();
            return;
        }
        m_runtime.MsgBoxCritical("Password incorrect", "Afsluiten");
    }
}
