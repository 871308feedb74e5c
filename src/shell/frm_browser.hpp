// SPDX-License-Identifier: MIT
#pragma once

// frmBrowser: the main window's logic. It reads the settings at load, fits the
// browser control to the window on resize, and reaches its controls only
// through the interfaces of controls/controls.hpp.

#include <array>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "controls/controls.hpp"
#include "controls/keyboard.hpp"
#include "controls/memory.hpp"
#include "controls/speech.hpp"
#include "shell/idle_timer.hpp"

class cInifile;

struct FormDesign {
    static constexpr const char* kTitle = "Corvalen";
    static constexpr float kToolbarHeight = corvalen::controls::kToolbarHeight; // twips

    // Toolbar1's buttons, left to right.
    static constexpr std::array<corvalen::controls::ToolbarButtonDesign, 6> kButtons{{
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
        std::function<std::unique_ptr<corvalen::controls::IPasswordDialog>()>;

    frmBrowser(corvalen::controls::IToolbar& Toolbar1,
               corvalen::controls::IBrowserControl& MozillaBrowser1,
               corvalen::controls::IClientArea& client_area, corvalen::controls::IRuntime& runtime,
               corvalen::controls::INotice& notice, PasswordDialogFactory create_password_dialog,
               std::string application_directory, std::ostream& log = std::cerr);

    // Reads corvalen.ini beside the program, hides the buttons switched off
    // and starts loading the home page.
    void Form_Load();
    // Fits the browser control below the toolbar to the client area.
    void Form_Resize();
    // Turns a toolbar button's key into its command; the exit asks for the
    // password first. Keys compare exactly; an unknown key does nothing.
    void Toolbar1_ButtonClick(const std::string& key);

    // Visitor sessions. A session ends after the configured time without
    // input (and, if so configured, with the home button): everything the
    // visitor left is wiped, open dialogs close without ending the program,
    // and the home page loads afresh.
    //
    // A web process that stays above [Memory] WebProcessLimit is replaced,
    // with the same page, while nobody uses the terminal.
    using Clock = corvalen::shell::IdleTimer::Clock;
    [[nodiscard]] bool watches_input() const { return m_idle.enabled() || m_memory.enabled(); }
    // Input anywhere in the program's windows; returns when Idle_Tick is due.
    std::optional<Clock::duration> Visitor_Input(Clock::time_point now);
    // Shows, counts down, ends or replaces as due; returns when it is due
    // again.
    std::optional<Clock::duration> Idle_Tick(Clock::time_point now);
    // When Idle_Tick is due, before any input: at once to watch the memory,
    // never for the idle reset alone.
    [[nodiscard]] std::optional<Clock::duration> next_tick(Clock::time_point now) const;
    void EndVisitorSession(Clock::time_point now);

    // [Touch], as read by Form_Load: how the windows suit a touch screen.
    [[nodiscard]] const corvalen::controls::TouchSettings& touch_settings() const {
        return m_touch;
    }

    // Where speech goes, when [Accessibility] asks for it; set before
    // Form_Load. The notices and the session's end are said through it.
    void SpeechService(corvalen::controls::Narrator::Opener open) {
        m_open_speech = std::move(open);
    }
    // [Accessibility], as read by Form_Load, with the speech it asks for.
    [[nodiscard]] corvalen::controls::Narrator& narrator() { return m_narrator; }

    // What a fleet's operators ask from afar: the home page, the page again,
    // a visitor session's end, an address (false, and nothing happens, when
    // it is not one the kiosk may show) and a message over the page, said to
    // a visitor who has speech on.
    void GoHome();
    void Reload();
    bool Open(const std::string& url);
    void ShowMessage(const std::string& text, unsigned seconds);

    // [Fleet], as read by Form_Load.
    struct FleetSettings {
        std::string metrics_file; // none when empty
        unsigned metrics_interval = 15;
    };
    [[nodiscard]] const FleetSettings& fleet_settings() const { return m_fleet; }
    // Visitor sessions ended since the program started.
    [[nodiscard]] unsigned sessions_ended() const { return m_session; }
    // When the last input came; none before the first.
    [[nodiscard]] std::optional<Clock::time_point> last_input() const { return m_last_input; }

    // Where pages are printed when [Printing] asks for it; set before
    // Form_Load.
    void PrintService(corvalen::controls::IPrinter& printer) { m_printer = &printer; }
    // Looks the printer up, once, when [Printing] asks for it; until it is
    // found, printing is refused.
    void FindPrinter();
    // [Printing], as read by Form_Load.
    [[nodiscard]] const corvalen::controls::PrintSettings& print_settings() const {
        return m_print;
    }
    // A page, or the print key, asks to print the page. Once the printer is
    // found, the page goes to it with no dialog, unless a print is being
    // prepared (then the ask is ignored) or it would take the visitor
    // session past PagesPerSession (then nothing is printed, and the
    // visitor is told). Before the printer is found, or without one, the
    // ask is refused as with printing off.
    void MozillaBrowser1_Print();

    // The browser kept a frame from a site that [AllowedSites] does not list:
    // a notice says so over the page, which stays.
    void MozillaBrowser1_Refused();

private:
    // [Session]. A value a key cannot take is reported in one line on the
    // log, and the key keeps its default (for IdleReset: never).
    void read_session_settings(cInifile& ini);
    // [Texts]: the texts of ours that visitors read.
    void read_texts(cInifile& ini);
    // [AllowedSites]: one pattern per key; an unreadable one is reported and
    // left out.
    void read_allowed_sites(cInifile& ini, corvalen::controls::SiteList::Scope scope);
    // [Touch] and [Memory], reported as [Session] is.
    void read_touch_settings(cInifile& ini);
    void read_memory_settings(cInifile& ini);
    void read_accessibility_settings(cInifile& ini);
    void read_fleet_settings(cInifile& ini);
    void read_printing_settings(cInifile& ini);
    // Shows `text` over the page for a while, and says it.
    void tell(const std::string& text);
    // Tells the visitor that the page limit was reached, unless that was
    // just told: a page that prints in a loop gets one notice at a time.
    void tell_print_limit();
    // What the printer makes of the page's document.
    void print_document(unsigned print, unsigned session, unsigned most,
                        std::optional<std::string> pdf);
    // Print number `print` is no longer being prepared.
    void print_prepared(unsigned print);
    // Whether print number `print`, asked in visitor session `session`, is
    // the last the visitor asked for: only its outcome is told.
    [[nodiscard]] bool latest(unsigned print, unsigned session) const;

    corvalen::controls::IToolbar& Toolbar1;
    corvalen::controls::IBrowserControl& MozillaBrowser1;
    corvalen::controls::IClientArea& m_client_area;
    corvalen::controls::IRuntime& m_runtime;
    corvalen::controls::INotice& m_notice;
    PasswordDialogFactory m_create_password_dialog;
    // The shared password dialog, created on the first exit attempt.
    std::unique_ptr<corvalen::controls::IPasswordDialog> m_password_dialog;
    std::string m_application_directory;
    std::ostream& m_log;
    std::string m_sHomePage;
    std::string m_sPassword;
    std::string m_sPasswordHash; // [Options] PasswordHash; when set, Password is not used
    corvalen::shell::IdleTimer m_idle;
    corvalen::controls::MemoryWatch m_memory;
    bool m_clear_on_home = false;
    std::string m_still_there;
    std::string m_continue;
    std::string m_blocked;
    unsigned m_session = 0; // counts the sessions ended
    corvalen::controls::TouchSettings m_touch;
    corvalen::controls::Narrator::Opener m_open_speech;
    corvalen::controls::Narrator m_narrator;
    bool m_notice_said = false; // the idle notice's text was said
    FleetSettings m_fleet;
    std::optional<Clock::time_point> m_last_input;
    corvalen::controls::IPrinter* m_printer = nullptr;
    corvalen::controls::PrintSettings m_print;
    bool m_printer_sought = false;
    std::optional<corvalen::controls::Paper> m_paper; // once the printer was found
    unsigned m_printed = 0;                           // pages, this visitor session
    std::optional<Clock::time_point> m_print_asked;   // while a print is being prepared
    unsigned m_prints = 0;                            // asks, numbered
    std::optional<Clock::time_point> m_limit_told;
    std::string m_printing_text;
    std::string m_printed_text;
    std::string m_printing_failed_text;
    std::string m_print_limit_text;
};
