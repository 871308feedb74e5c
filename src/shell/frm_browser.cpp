// SPDX-License-Identifier: MIT
#include "frm_browser.hpp"

#include <algorithm>

#include "inifile/cinifile.hpp"
#include "shell/settings.hpp"

namespace {

namespace settings = corvalen::shell::settings;
using corvalen::shell::whole_number;

struct ButtonSwitch {
    const settings::Key& key;
    const char* button_key;
};

constexpr std::array<ButtonSwitch, 5> kButtonSwitches{{
    {settings::kBackEnabled, "back"},
    {settings::kForwardEnabled, "forward"},
    {settings::kStopEnabled, "stop"},
    {settings::kRefreshEnabled, "refresh"},
    {settings::kHomeEnabled, "home"},
}};

// The idle notice's last seconds, each said.
constexpr int kSecondsSaid = 5;
// As long as a notice stands: the page limit is told again after that.
constexpr auto kNoticeTime = std::chrono::seconds(4);
// A print that is still being prepared after this has been lost on its way
// (the engine never answered): the next ask goes ahead.
constexpr auto kLongestPreparation = std::chrono::minutes(2);

std::string value_of(cInifile& ini, const settings::Key& key) {
    return settings::value_of(ini, key.name, key.fallback);
}

// One line on the log for a setting that is not taken.
void report(std::ostream& log, const char* section, const settings::Key& key,
            const std::string& value) {
    log << "corvalen: " << settings::refusal(section, key.name, key, value) << '\n';
}

// The key's value; one it does not take is reported and read as its default.
std::string checked_value_of(cInifile& ini, std::ostream& log, const char* section,
                             const settings::Key& key) {
    std::string value = value_of(ini, key);
    if (!settings::accepts(key, value)) {
        report(log, section, key, value);
        value = key.fallback;
    }
    return value;
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
        ini.Key(settings::kHomepage.name);
        ini.Default(settings::kHomepage.fallback);
        m_sHomePage = ini.Value();
        ini.Key(settings::kPassword.name);
        ini.Default(settings::kPassword.fallback);
        m_sPassword = ini.Value();
        // A hash, when there is one, stands in for the password; one that is
        // not recognised lets nobody out, and never falls back to Password.
        m_sPasswordHash = value_of(ini, settings::kPasswordHash);
        if (!settings::accepts(settings::kPasswordHash, m_sPasswordHash)) {
            report(m_log, "Options", settings::kPasswordHash, m_sPasswordHash);
        }
        const auto site_scope =
            checked_value_of(ini, m_log, "Options", settings::kAllowedRequests) == "all"
                ? corvalen::controls::SiteList::Scope::Requests
                : corvalen::controls::SiteList::Scope::Pages;
        ini.Section("Toolbar");
        for (const ButtonSwitch& row : kButtonSwitches) {
            ini.Key(row.key.name);
            ini.Default("1");
            const std::string value = ini.Value();
            if (value == "0") {
                Toolbar1.Buttons(row.button_key).Visible(false);
            } else if (!settings::accepts(row.key, value)) {
                report(m_log, "Toolbar", row.key, value);
            }
        }
        read_session_settings(ini);
        read_texts(ini);
        read_allowed_sites(ini, site_scope);
        read_touch_settings(ini);
        read_memory_settings(ini);
        read_accessibility_settings(ini);
        read_fleet_settings(ini);
        read_printing_settings(ini);
    }
    MozillaBrowser1.HomePage(m_sHomePage);
    MozillaBrowser1.Navigate(m_sHomePage);
}

void frmBrowser::read_allowed_sites(cInifile& ini, corvalen::controls::SiteList::Scope scope) {
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
        const std::string text = settings::value_of(ini, key, "");
        if (auto pattern = corvalen::controls::SitePattern::parse(text)) {
            patterns.push_back(std::move(*pattern));
        } else {
            m_log << "corvalen: "
                  << settings::refusal("AllowedSites", key, settings::kAllowedSite, text) << '\n';
        }
    }
    MozillaBrowser1.AllowSites(
        corvalen::controls::SiteList(m_sHomePage, std::move(patterns), scope));
}

void frmBrowser::MozillaBrowser1_Refused() {
    tell(m_blocked);
}

void frmBrowser::read_session_settings(cInifile& ini) {
    ini.Section("Session");
    // "0" or empty, like a refused value, leaves IdleReset off.
    const settings::Key& reset_key = settings::kIdleReset;
    const std::optional<int> reset = whole_number(
        checked_value_of(ini, m_log, "Session", reset_key), reset_key.least, reset_key.most);
    const settings::Key& warning_key = settings::kIdleWarning;
    const std::optional<int> warning = whole_number(
        checked_value_of(ini, m_log, "Session", warning_key), warning_key.least, warning_key.most);
    if (reset && warning) {
        m_idle = corvalen::shell::IdleTimer(std::chrono::seconds(*reset),
                                            std::chrono::seconds(*warning));
    }
    m_clear_on_home = checked_value_of(ini, m_log, "Session", settings::kClearOnHome) == "1";
}

void frmBrowser::read_texts(cInifile& ini) {
    ini.Section("Texts");
    m_still_there = value_of(ini, settings::kStillThere);
    m_continue = value_of(ini, settings::kContinue);
    m_blocked = value_of(ini, settings::kBlocked);
    MozillaBrowser1.UnreachableText(value_of(ini, settings::kUnreachable));
    const std::pair<const char*, const settings::Key&> names[] = {
        {"back", settings::kBack},       {"forward", settings::kForward}, {"stop", settings::kStop},
        {"refresh", settings::kRefresh}, {"home", settings::kHome},       {"end", settings::kExit}};
    for (const auto& [button, key] : names) {
        Toolbar1.Buttons(button).AccessibleName(value_of(ini, key));
    }
}

void frmBrowser::read_touch_settings(cInifile& ini) {
    using Cursor = corvalen::controls::TouchSettings::Cursor;
    ini.Section("Touch");
    m_touch.keyboard = checked_value_of(ini, m_log, "Touch", settings::kKeyboard) == "1";
    // Parsed once, here: the windows get the layout itself.
    const std::string layout_name = value_of(ini, settings::kKeyboardLayout);
    auto layout = corvalen::controls::keyboard_layout(layout_name, false);
    if (!layout) {
        report(m_log, "Touch", settings::kKeyboardLayout, layout_name);
        layout = corvalen::controls::keyboard_layout(settings::kKeyboardLayout.fallback, false);
    }
    m_touch.layout = std::move(*layout);
    const std::string cursor = checked_value_of(ini, m_log, "Touch", settings::kHideCursor);
    m_touch.cursor = cursor == "1"   ? Cursor::Hidden
                     : cursor == "2" ? Cursor::HiddenAfterTouch
                                     : Cursor::Shown;
    m_touch.page_zoom = checked_value_of(ini, m_log, "Touch", settings::kPageZoom) != "0";
}

void frmBrowser::read_memory_settings(cInifile& ini) {
    ini.Section("Memory");
    const settings::Key& key = settings::kWebProcessLimit;
    if (const auto megabytes =
            whole_number(checked_value_of(ini, m_log, "Memory", key), key.least, key.most)) {
        m_memory = corvalen::controls::MemoryWatch(static_cast<std::uint64_t>(*megabytes) * 1024);
    }
}

void frmBrowser::read_fleet_settings(cInifile& ini) {
    ini.Section("Fleet");
    m_fleet.metrics_file = value_of(ini, settings::kMetricsFile);
    const settings::Key& key = settings::kMetricsInterval;
    m_fleet.metrics_interval = static_cast<unsigned>(
        *whole_number(checked_value_of(ini, m_log, "Fleet", key), key.least, key.most));
}

void frmBrowser::read_printing_settings(cInifile& ini) {
    ini.Section("Printing");
    m_print.enabled = checked_value_of(ini, m_log, "Printing", settings::kPrintingEnabled) == "1";
    m_print.printer = checked_value_of(ini, m_log, "Printing", settings::kPrinter);
    const settings::Key& pages = settings::kPagesPerSession;
    m_print.pages_per_session = static_cast<unsigned>(
        *whole_number(checked_value_of(ini, m_log, "Printing", pages), pages.least, pages.most));
    m_print.paper = checked_value_of(ini, m_log, "Printing", settings::kPaperSize);
    ini.Section("Texts");
    m_printing_text = value_of(ini, settings::kPrinting);
    m_printed_text = value_of(ini, settings::kPrinted);
    m_printing_failed_text = value_of(ini, settings::kPrintingFailed);
    m_print_limit_text = value_of(ini, settings::kPrintLimit);
}

void frmBrowser::FindPrinter() {
    if (m_print.enabled && m_printer != nullptr && !m_printer_sought) {
        m_printer_sought = true;
        m_printer->Find(m_print, [this](std::optional<corvalen::controls::Paper> paper) {
            m_paper = std::move(paper);
        });
    }
}

void frmBrowser::tell(const std::string& text) {
    m_notice.Flash(text);
    m_narrator.Announce(text);
}

void frmBrowser::tell_print_limit() {
    const auto now = Clock::now();
    if (!m_limit_told || now - *m_limit_told >= kNoticeTime) {
        m_limit_told = now;
        tell(m_print_limit_text);
    }
}

void frmBrowser::MozillaBrowser1_Print() {
    const auto now = Clock::now();
    if (!m_paper || (m_print_asked && now - *m_print_asked < kLongestPreparation)) {
        return;
    }
    const unsigned limit = m_print.pages_per_session;
    // Each ask is numbered: what becomes of an earlier print is not shown
    // over what the visitor was told of a later one.
    ++m_prints;
    if (limit != 0 && m_printed >= limit) {
        tell_print_limit();
        return;
    }
    m_print_asked = now;
    tell(m_printing_text);
    // One page more than is left tells whether the document would pass the
    // limit, without laying out all of a long page.
    const unsigned most = limit != 0 ? limit - m_printed : 0;
    MozillaBrowser1.PrintPage(
        *m_paper, most != 0 ? most + 1 : 0,
        [this, print = m_prints, session = m_session, most](std::optional<std::string> pdf) {
            print_document(print, session, most, std::move(pdf));
        });
}

void frmBrowser::print_prepared(unsigned print) {
    if (print == m_prints) {
        m_print_asked.reset();
    }
}

bool frmBrowser::latest(unsigned print, unsigned session) const {
    return print == m_prints && session == m_session;
}

void frmBrowser::print_document(unsigned print, unsigned session, unsigned most,
                                std::optional<std::string> pdf) {
    // What was asked before a session ended is not printed for the next.
    if (!pdf || session != m_session) {
        print_prepared(print);
        if (latest(print, session)) {
            tell(m_printing_failed_text);
        }
        return;
    }
    corvalen::controls::IPrinter::Job job;
    job.over = [this, print, session](unsigned /*pages*/) {
        print_prepared(print);
        if (latest(print, session)) {
            tell_print_limit();
        }
    };
    job.queued = [this, print, session](unsigned pages) {
        print_prepared(print);
        if (session == m_session) {
            m_printed += pages;
        }
    };
    job.done = [this, print, session](bool printed) {
        print_prepared(print);
        if (latest(print, session)) {
            tell(printed ? m_printed_text : m_printing_failed_text);
        }
    };
    m_printer->Print(*pdf, most, std::move(job));
}

void frmBrowser::read_accessibility_settings(cInifile& ini) {
    using Mode = corvalen::controls::AccessibilitySettings::Mode;
    corvalen::controls::AccessibilitySettings accessibility;
    ini.Section("Accessibility");
    const std::string mode = checked_value_of(ini, m_log, "Accessibility", settings::kSpeech);
    accessibility.mode = mode == "1" ? Mode::Always : mode == "2" ? Mode::OnRequest : Mode::Never;
    accessibility.key = value_of(ini, settings::kSpeechKey);
    accessibility.read_key = value_of(ini, settings::kReadKey);
    accessibility.voice = value_of(ini, settings::kVoice);
    for (auto [key, field] : {std::pair{&settings::kRate, &accessibility.rate},
                              std::pair{&settings::kZoom, &accessibility.zoom}}) {
        *field = *whole_number(checked_value_of(ini, m_log, "Accessibility", *key), key->least,
                               key->most);
    }
    ini.Section("Texts");
    accessibility.said_on = value_of(ini, settings::kSpeechOn);
    accessibility.said_off = value_of(ini, settings::kSpeechOff);
    m_narrator = corvalen::controls::Narrator(std::move(accessibility), m_open_speech);
}

std::optional<frmBrowser::Clock::duration> frmBrowser::next_tick(Clock::time_point now) const {
    const auto idle = m_idle.next_tick(now);
    const auto memory = m_memory.next_tick(now);
    if (idle && memory) {
        return std::min(*idle, *memory);
    }
    return idle ? idle : memory;
}

std::optional<frmBrowser::Clock::duration> frmBrowser::Visitor_Input(Clock::time_point now) {
    m_last_input = now;
    if (m_idle.input(now)) {
        m_notice.Hide();
        m_notice_said = false;
    }
    m_memory.input(now);
    return next_tick(now);
}

std::optional<frmBrowser::Clock::duration> frmBrowser::Idle_Tick(Clock::time_point now) {
    const auto step = m_idle.tick(now);
    switch (step.action) {
    case corvalen::shell::IdleTimer::Action::None:
        break;
    case corvalen::shell::IdleTimer::Action::Notice:
        m_notice.Show(m_still_there, m_continue, step.seconds_left);
        // Said once, and then its last seconds.
        if (!m_notice_said) {
            m_narrator.Announce(m_still_there);
            m_notice_said = true;
        } else if (step.seconds_left <= kSecondsSaid) {
            m_narrator.Announce(std::to_string(step.seconds_left));
        }
        break;
    case corvalen::shell::IdleTimer::Action::End:
        EndVisitorSession(now);
        break;
    }
    if (m_memory.due(now) && m_memory.check(now, MozillaBrowser1.WebProcessMemory())) {
        // A page whose load never ends would only load that way again: the
        // terminal goes home instead.
        if (m_memory.overdue(now)) {
            MozillaBrowser1.ReplaceWebProcess(m_sHomePage);
        } else if (!MozillaBrowser1.RenewWebProcess()) {
            m_memory.postpone(now);
        }
    }
    return next_tick(now);
}

void frmBrowser::EndVisitorSession(Clock::time_point now) {
    ++m_session;
    m_idle.restart(now);
    m_notice.Hide();
    m_notice_said = false;
    m_narrator.SessionEnded();
    m_printed = 0;
    m_limit_told.reset();
    m_runtime.CloseDialogs();
    MozillaBrowser1.ClearSession();
    MozillaBrowser1.Navigate(m_sHomePage);
}

void frmBrowser::GoHome() {
    MozillaBrowser1.Navigate(m_sHomePage);
}

void frmBrowser::Reload() {
    MozillaBrowser1.Refresh();
}

bool frmBrowser::Open(const std::string& url) {
    if (!MozillaBrowser1.Allows(url)) {
        return false;
    }
    MozillaBrowser1.Navigate(url);
    return true;
}

void frmBrowser::ShowMessage(const std::string& text, unsigned seconds) {
    m_notice.Message(text, seconds);
    m_narrator.Announce(text);
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
        const bool right = m_sPasswordHash.empty()
                               ? m_password_dialog->AskPassword(m_sPassword)
                               : m_password_dialog->AskPasswordHash(m_sPasswordHash);
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
