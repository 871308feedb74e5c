// SPDX-License-Identifier: MIT
// The main window's start-up, resize and toolbar logic against fake controls.

#include <gtest/gtest.h>
#include <tuple>

#include "shell/fakes.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using Keys = std::vector<std::string>;

class FormTest : public ::testing::Test {
protected:
    void settings(const std::string& text) { write_bytes(dir.file("corvalen.ini"), text); }
    // The password the exit compares with, as the dialog is asked.
    std::string exit_password() {
        shell.password.answers = {false};
        shell.form.Toolbar1_ButtonClick("end");
        return shell.password.asked.empty() ? "(not asked)" : shell.password.asked.back();
    }

    TempDir dir;
    FakeShell shell{dir.path()};
};

TEST_F(FormTest, WithoutSettingsFileTheDefaultsApply) {
    shell.form.Form_Load();
    EXPECT_EQ(shell.browser.calls, Keys{"Navigate about:blank"});
    EXPECT_TRUE(shell.toolbar.hidden().empty());
    EXPECT_EQ(exit_password(), "");
}

TEST_F(FormTest, OnlyTheTextZeroHidesAButton) {
    const struct {
        const char* key_name;
        const char* button;
    } switches[] = {{"BackEnabled", "back"},
                    {"ForwardEnabled", "forward"},
                    {"StopEnabled", "stop"},
                    {"RefreshEnabled", "refresh"},
                    {"HomeEnabled", "home"}};
    for (const auto& row : switches) {
        for (const std::string value : {"0", "1", "", "00", "0x", " 0", "0 ", "O"}) {
            SCOPED_TRACE(std::string(row.key_name) + "=" + value);
            FakeShell fresh{dir.path()};
            // Quoted, so that the value read is exactly the text, blanks included.
            settings(std::string("[Toolbar]\n") + row.key_name + "=\"" + value + "\"\n");
            fresh.form.Form_Load();
            EXPECT_EQ(fresh.toolbar.hidden(), value == "0" ? Keys{row.button} : Keys{});
        }
    }
}

TEST_F(FormTest, AllSwitchesOffLeaveOnlyEnd) {
    settings("[Toolbar]\nBackEnabled=0\nForwardEnabled=0\nStopEnabled=0\nRefreshEnabled=0\n"
             "HomeEnabled=0\n[Options]\nHomepage=http://127.0.0.1/\nPassword= p w \n");
    shell.form.Form_Load();
    EXPECT_EQ(shell.toolbar.hidden(), (Keys{"back", "forward", "home", "refresh", "stop"}));
    EXPECT_EQ(shell.browser.calls, Keys{"Navigate http://127.0.0.1/"});
    EXPECT_EQ(exit_password(), "p w");
}

TEST_F(FormTest, HomePageAsRead) {
    const std::string long_page = "http://127.0.0.1/" + std::string(300 - 17, 'a');
    settings("[Options]\nHomepage=" + long_page + "\n");
    shell.form.Form_Load();
    EXPECT_EQ(shell.browser.calls, Keys{"Navigate " + long_page.substr(0, 254)});
    EXPECT_EQ(shell.browser.home_page, long_page.substr(0, 254)) << "where a crash comes back to";

    FakeShell empty{dir.path()};
    settings("[Options]\nHomepage=\n");
    empty.form.Form_Load();
    EXPECT_EQ(empty.browser.calls, Keys{"Navigate "}) << "an empty home page is not the default";
}

TEST_F(FormTest, BrowserFillsTheClientAreaBelowTheToolbar) {
    const struct {
        float width, height, browser_height;
    } sizes[] = {
        {1024 * 15.0F, 768 * 15.0F, 736 * 15.0F},
        {7650, 5985, 5505},
        {1920 * 15.0F, 1080 * 15.0F, 1048 * 15.0F},
        {150, 300, 0}, // smaller than the toolbar: nothing left for the page
    };
    for (const auto& size : sizes) {
        shell.area.width = size.width;
        shell.area.height = size.height;
        shell.form.Form_Resize();
        EXPECT_EQ(shell.browser.width, size.width);
        EXPECT_EQ(shell.browser.height, size.browser_height);
    }
    EXPECT_TRUE(shell.browser.calls.empty());
}

TEST_F(FormTest, EachKeyReachesExactlyOneOperation) {
    settings("[Options]\nHomepage=http://start.example/\nPassword=pw\n");
    shell.form.Form_Load();
    settings("[Options]\nHomepage=http://edited.example/\n");
    shell.browser.calls.clear();
    const struct {
        const char* key;
        Keys calls;
    } cases[] = {
        {"back", {"GoBack"}},
        {"forward", {"GoForward"}},
        {"stop", {"Stop"}},
        {"refresh", {"Refresh"}},
        {"home", {"Navigate http://start.example/"}},
        {"Back", {}},
        {"HOME", {}},
        {"", {}},
        {"end ", {}},
        {"exit", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        shell.browser.calls.clear();
        shell.form.Toolbar1_ButtonClick(c.key);
        EXPECT_EQ(shell.browser.calls, c.calls);
    }
    EXPECT_EQ(shell.password.dialogs_created, 0);
    EXPECT_TRUE(shell.runtime.message_boxes.empty());
    EXPECT_EQ(shell.runtime.ended, 0);
}

TEST_F(FormTest, ExitAsksForThePasswordEveryTimeWithOneSharedDialog) {
    settings("[Options]\nPassword=Geheim\n");
    shell.form.Form_Load();
    shell.browser.calls.clear();
    shell.password.answers = {false, false, true};

    shell.form.Toolbar1_ButtonClick("end");
    EXPECT_EQ(shell.runtime.message_boxes, Keys{"Afsluiten: Password incorrect"});
    EXPECT_EQ(shell.runtime.ended, 0);
    shell.form.Toolbar1_ButtonClick("end");
    EXPECT_EQ(shell.runtime.message_boxes.size(), 2U);
    shell.form.Toolbar1_ButtonClick("end");
    EXPECT_EQ(shell.runtime.ended, 1);
    EXPECT_EQ(shell.runtime.message_boxes.size(), 2U) << "no message after the right password";

    EXPECT_EQ(shell.password.asked, (Keys{"Geheim", "Geheim", "Geheim"}));
    EXPECT_EQ(shell.password.dialogs_created, 1);
    EXPECT_TRUE(shell.browser.calls.empty()) << "the browser is left as it was";
}

TEST_F(FormTest, AllowedSitesAreTheHomeSiteAndTheReadablePatterns) {
    const std::string options = "[Options]\nHomepage=http://127.0.0.1:8000/home.html\n";
    const struct {
        const char* section;
        const char* reported;  // in the one line logged, or nothing logged
        bool docs, elsewhere;  // whether these are allowed
        bool requests = false; // every request held to the list
    } cases[] = {
        {"", nullptr, true, true},
        {"[AllowedSites]\n1=localhost:8000/docs\ncatalogue=exa mple\n", "catalogue=\"exa mple\"",
         true, false},
        {"[AllowedSites]\nall=*\n", "all=\"*\"", false, false},
        {"AllowedRequests=all\n[AllowedSites]\n1=localhost:8000/docs\n", nullptr, true, false,
         true},
        {"AllowedRequests=All\n[AllowedSites]\n1=localhost:8000/docs\n", "AllowedRequests=\"All\"",
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        FakeShell fresh{dir.path()};
        settings(options + c.section);
        fresh.form.Form_Load();
        EXPECT_EQ(fresh.browser.calls.back(), "Navigate http://127.0.0.1:8000/home.html");
        EXPECT_EQ(fresh.browser.sites.enabled(), *c.section != '\0');
        EXPECT_EQ(fresh.browser.sites.scope() == controls::SiteList::Scope::Requests, c.requests);
        EXPECT_TRUE(fresh.browser.sites.allows("http://127.0.0.1:8000/a.html", true));
        EXPECT_EQ(fresh.browser.sites.allows("http://localhost:8000/docs/a.html", true), c.docs);
        EXPECT_EQ(fresh.browser.sites.allows("http://127.0.0.2:8000/", true), c.elsewhere);
        EXPECT_EQ(fresh.log.str().find(c.reported ? c.reported : "corvalen") != std::string::npos,
                  c.reported != nullptr)
            << fresh.log.str();
    }
    EXPECT_EQ(shell.browser.unreachable_text, "") << "before the settings are read";
    shell.form.Form_Load();
    EXPECT_EQ(shell.browser.unreachable_text,
              "This page cannot be reached at the moment. It will be tried again automatically.");
    settings(
        "[Texts]\nBlocked=Niet op deze zuil.\nUnreachable=Deze pagina is even niet bereikbaar.\n");
    FakeShell texts{dir.path()};
    texts.form.Form_Load();
    texts.form.MozillaBrowser1_Refused();
    EXPECT_EQ(texts.notice.flashed, Keys{"Niet op deze zuil."});
    EXPECT_EQ(texts.browser.unreachable_text, "Deze pagina is even niet bereikbaar.");
}

frmBrowser::Clock::time_point at(int seconds) {
    return frmBrowser::Clock::time_point(std::chrono::seconds(seconds));
}

TEST_F(FormTest, OperatorsOpenOnlyAllowedSitesAndShowMessages) {
    settings("[Options]\nHomepage=http://home.example/\n[AllowedSites]\nmore=more.example\n");
    shell.form.Form_Load();
    shell.browser.calls.clear();
    EXPECT_FALSE(shell.form.Open("http://elsewhere.example/"));
    EXPECT_TRUE(shell.form.Open("http://more.example/page"));
    shell.form.GoHome();
    EXPECT_EQ(shell.browser.calls,
              (Keys{"Navigate http://more.example/page", "Navigate http://home.example/"}));
    shell.form.ShowMessage("Closing soon", 30);
    EXPECT_EQ(shell.notice.flashed, (Keys{"Closing soon for 30 s"}));
}

TEST_F(FormTest, FleetSettingsAreTakenOrReported) {
    for (const auto& [text, file, interval, reported] :
         {std::tuple{"", "", 15U, false},
          std::tuple{"[Fleet]\nMetricsFile=/run/corvalen.prom\nMetricsInterval=60\n",
                     "/run/corvalen.prom", 60U, false},
          std::tuple{"[Fleet]\nMetricsFile=/run/corvalen.prom\nMetricsInterval=0\n",
                     "/run/corvalen.prom", 15U, true}}) {
        SCOPED_TRACE(text);
        FakeShell fresh{dir.path()};
        settings(text);
        fresh.form.Form_Load();
        EXPECT_EQ(fresh.form.fleet_settings().metrics_file, file);
        EXPECT_EQ(fresh.form.fleet_settings().metrics_interval, interval);
        EXPECT_EQ(fresh.log.str().find("MetricsInterval=\"0\"") != std::string::npos, reported);
    }
}

TEST_F(FormTest, SessionSettingsAreTakenOrReportedAndLeftAtTheirDefaults) {
    const Keys home{"Navigate about:blank"};
    const struct {
        const char* settings;
        int first_tick;       // seconds from the first input to the first tick; -1: none
        const char* reported; // in the one line logged, or nothing logged
        Keys home;            // what the home button does
    } cases[] = {
        {"", -1, nullptr, home},
        {"[Session]\nIdleReset=60\nIdleWarning=0\n", 60, nullptr, home},
        {"[Session]\nIdleReset=60\n", 40, nullptr, home},
        {"[Session]\nIdleReset=0\nIdleWarning=5\n", -1, nullptr, home},
        {"[Session]\nIdleReset=\n", -1, nullptr, home},
        {"[Session]\nIdleReset=9\n", -1, "IdleReset=\"9\"", home},
        {"[Session]\nIdleReset=1 min\n", -1, "IdleReset", home},
        {"[Session]\nIdleReset=30\nIdleWarning=-1\n", 10, "IdleWarning", home},
        {"[Session]\nIdleReset=30\nIdleWarning=\n", 10, "IdleWarning", home},
        {"[Session]\nClearOnHome=1\n", -1, nullptr, {"ClearSession", "Navigate about:blank"}},
        {"[Session]\nClearOnHome=yes\n", -1, "ClearOnHome", home},
        {"[Memory]\nWebProcessLimit=300\n", 0, nullptr, home},
        {"[Memory]\nWebProcessLimit=50\n", -1, "WebProcessLimit=\"50\"", home},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        FakeShell fresh{dir.path()};
        settings(c.settings);
        fresh.form.Form_Load();
        EXPECT_EQ(fresh.form.watches_input(), c.first_tick >= 0);
        const std::string log = fresh.log.str();
        if (c.reported == nullptr) {
            EXPECT_EQ(log, "");
        } else {
            EXPECT_NE(log.find(c.reported), std::string::npos) << log;
            EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        }
        fresh.browser.calls.clear();
        fresh.form.Toolbar1_ButtonClick("home");
        EXPECT_EQ(fresh.browser.calls, c.home);
        const auto first_tick = fresh.form.Visitor_Input(at(1000));
        EXPECT_EQ(first_tick ? std::chrono::duration_cast<std::chrono::seconds>(*first_tick).count()
                             : -1,
                  c.first_tick);
    }
}

TEST_F(FormTest, AWebProcessThatStaysTooLargeIsReplacedWhileNobodyIsThere) {
    settings("[Memory]\nWebProcessLimit=300\n[Session]\nIdleReset=600\n");
    FakeShell kiosk{dir.path()};
    kiosk.form.Form_Load();
    kiosk.browser.calls.clear();
    kiosk.browser.memory_kb = 300 * 1024 + 1;
    kiosk.form.Visitor_Input(at(1000));
    EXPECT_EQ(kiosk.form.Idle_Tick(at(1000)), std::chrono::seconds(30));
    EXPECT_EQ(kiosk.form.Idle_Tick(at(1030)), std::chrono::seconds(30));
    EXPECT_EQ(kiosk.browser.calls, Keys{}); // the visitor was here 30 s ago
    kiosk.browser.loading = true;           // not in the middle of a load
    EXPECT_EQ(kiosk.form.Idle_Tick(at(1060)), std::chrono::seconds(1));
    kiosk.browser.loading = false;
    EXPECT_EQ(kiosk.form.Idle_Tick(at(1061)), std::chrono::seconds(30));
    EXPECT_EQ(kiosk.browser.calls, (Keys{"RenewWebProcess", "RenewWebProcess"}));
}

TEST_F(FormTest, ALoadThatNeverEndsDoesNotKeepTheLimitOff) {
    settings("[Options]\nHomepage=http://home/\n[Memory]\nWebProcessLimit=300\n");
    FakeShell kiosk{dir.path()};
    kiosk.form.Form_Load();
    kiosk.browser.memory_kb = 300 * 1024 + 1;
    kiosk.browser.loading = true;
    kiosk.browser.calls.clear();
    // Above the limit at 0 and 30 s; the replacement then waits for the load
    // each second, until it has waited half a minute.
    for (int second = 0; second <= 60; second += second < 30 ? 30 : 1) {
        kiosk.form.Idle_Tick(at(second));
    }
    Keys expected(30, "RenewWebProcess");
    expected.emplace_back("ReplaceWebProcess http://home/");
    EXPECT_EQ(kiosk.browser.calls, expected);
}

TEST_F(FormTest, TouchSettingsAreTakenOrReported) {
    using Cursor = corvalen::controls::TouchSettings::Cursor;
    const struct {
        const char* settings;
        bool keyboard;
        const char* layout;
        Cursor cursor;
        bool zoom;
        const char* reported; // in the one line logged, or nothing logged
    } cases[] = {
        {"", false, "qwerty", Cursor::Shown, true, nullptr},
        {"[Touch]\nKeyboard=1\nKeyboardLayout=azerty\nHideCursor=2\nPageZoom=0\n", true, "azerty",
         Cursor::HiddenAfterTouch, false, nullptr},
        {"[Touch]\nHideCursor=1\nKeyboard=\n", false, "qwerty", Cursor::Hidden, true, nullptr},
        {"[Touch]\nKeyboard=yes\n", false, "qwerty", Cursor::Shown, true, "Keyboard=\"yes\""},
        {"[Touch]\nKeyboard=1\nKeyboardLayout=QWERTZ\n", true, "qwerty", Cursor::Shown, true,
         "KeyboardLayout"},
        {"[Touch]\nHideCursor=3\n", false, "qwerty", Cursor::Shown, true, "HideCursor"},
        {"[Touch]\nPageZoom=off\n", false, "qwerty", Cursor::Shown, true, "PageZoom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        FakeShell fresh{dir.path()};
        settings(c.settings);
        fresh.form.Form_Load();
        const auto& touch = fresh.form.touch_settings();
        EXPECT_EQ(touch.keyboard, c.keyboard);
        EXPECT_EQ(touch.layout, controls::keyboard_layout(c.layout, false));
        EXPECT_EQ(touch.cursor, c.cursor);
        EXPECT_EQ(touch.page_zoom, c.zoom);
        const std::string log = fresh.log.str();
        EXPECT_EQ(log.find(c.reported ? c.reported : "corvalen") != std::string::npos,
                  c.reported != nullptr)
            << log;
        EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 1) << log;
    }
}

TEST_F(FormTest, AnIdleSessionEndsAfterItsNoticeWithItsTexts) {
    settings("[Options]\nHomepage=http://127.0.0.1/\n[Session]\nIdleReset=60\n"
             "[Texts]\nStillThere=Bent u er nog?\n");
    shell.form.Form_Load();
    shell.browser.calls.clear();
    EXPECT_EQ(shell.form.Visitor_Input(at(0)), std::chrono::seconds(40));
    shell.form.Idle_Tick(at(57));
    EXPECT_EQ(shell.notice.shown, "Bent u er nog? [Continue] 3");
    shell.form.Visitor_Input(at(58));
    EXPECT_EQ(shell.notice.shown, "") << "input takes the notice away";
    EXPECT_TRUE(shell.browser.calls.empty());
    EXPECT_EQ(shell.form.Idle_Tick(at(118)), std::nullopt);
    EXPECT_EQ(shell.browser.calls, (Keys{"ClearSession", "Navigate http://127.0.0.1/"}));
    EXPECT_EQ(shell.runtime.dialogs_closed, 1);
}

TEST_F(FormTest, AnEndedSessionClosesTheExitDialogWithoutAnAnswer) {
    settings("[Session]\nIdleReset=10\n");
    shell.form.Form_Load();
    shell.form.Visitor_Input(at(0));
    // The right password is in the box as the session ends.
    shell.password.answers = {true};
    shell.password.while_open = [this] { shell.form.Idle_Tick(at(10)); };
    shell.form.Toolbar1_ButtonClick("end");
    EXPECT_EQ(shell.runtime.ended, 0);
    EXPECT_TRUE(shell.runtime.message_boxes.empty());
    EXPECT_EQ(shell.runtime.dialogs_closed, 1);
    EXPECT_EQ(shell.browser.calls,
              (Keys{"Navigate about:blank", "ClearSession", "Navigate about:blank"}));
}

// Speech as the form asks for it: what a speech service is told, in order.
class SpeechLog : public controls::ISpeechOutput {
public:
    explicit SpeechLog(std::vector<std::string>& said) : m_said(said) {}
    void Say(const std::string& text, bool queued) override {
        m_said.push_back((queued ? "queued " : "") + text);
    }
    void Character(const std::string& character) override { m_said.push_back("char " + character); }
    void Cancel() override { m_said.emplace_back("cancel"); }

private:
    std::vector<std::string>& m_said;
};

TEST_F(FormTest, SpeechSaysTheNoticeAndItsLastSecondsAndEachSessionStartsAsTheModeSays) {
    struct Case {
        const char* accessibility;
        bool on_at_start;
        bool on_after_session;
        int rate;
        const char* reported;
    } cases[] = {
        {"", false, false, 0, nullptr},
        {"Speech=1\nRate=-40\n", true, true, -40, nullptr},
        {"Speech=2\nRate=101\n", false, false, 0, "Rate=\"101\""},
        {"Speech=3\n", false, false, 0, "Speech=\"3\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.accessibility);
        FakeShell fresh{dir.path()};
        settings(std::string("[Session]\nIdleReset=60\nIdleWarning=10\n[Texts]\nSpeechOn=Aan\n"
                             "[Accessibility]\n") +
                 c.accessibility);
        std::vector<std::string> said;
        int opened = 0;
        fresh.form.SpeechService([&](const controls::AccessibilitySettings& settings) {
            ++opened;
            EXPECT_EQ(settings.rate, c.rate);
            return std::make_unique<SpeechLog>(said);
        });
        fresh.form.Form_Load();
        controls::Narrator& narrator = fresh.form.narrator();
        EXPECT_EQ(narrator.on(), c.on_at_start);
        if (!narrator.on()) {
            narrator.Toggle(); // the speech key: nothing with Speech=0
        }
        fresh.form.Visitor_Input(at(0));
        for (int second = 50; second <= 59; ++second) {
            fresh.form.Idle_Tick(at(second));
        }
        fresh.form.MozillaBrowser1_Refused();
        fresh.form.Idle_Tick(at(60));
        EXPECT_EQ(narrator.on(), c.on_after_session);
        std::vector<std::string> expected;
        if (c.on_at_start) {
            expected = {"queued Are you still there?"};
        } else if (std::string(c.accessibility).starts_with("Speech=2")) {
            expected = {"queued Aan", "queued Are you still there?"};
        }
        if (!expected.empty()) {
            for (const char* second : {"5", "4", "3", "2", "1"}) {
                expected.push_back(std::string("queued ") + second);
            }
            expected.emplace_back("queued This page is not available on this terminal.");
            expected.emplace_back("cancel"); // the session's end
        }
        EXPECT_EQ(said, expected);
        EXPECT_EQ(opened, expected.empty() ? 0 : 1);
        const std::string log = fresh.log.str();
        EXPECT_EQ(log.find(c.reported ? c.reported : "corvalen") != std::string::npos,
                  c.reported != nullptr)
            << log;
    }
}

TEST_F(FormTest, PrintingSettingsAreTakenOrReported) {
    FakePrinter printer;
    shell.form.PrintService(printer);
    settings("[Printing]\nEnabled=2\nPrinter=a/b\nPagesPerSession=-1\nPaperSize=A 4\n");
    shell.form.Form_Load();
    shell.form.FindPrinter();
    for (const char* line :
         {"Enabled=\"2\"", "Printer=\"a/b\"", "PagesPerSession=\"-1\"", "PaperSize=\"A 4\""}) {
        EXPECT_NE(shell.log.str().find(line), std::string::npos) << line;
    }
    EXPECT_FALSE(shell.form.print_settings().enabled);
    EXPECT_EQ(shell.form.print_settings().pages_per_session, 10U);
    EXPECT_FALSE(printer.looked_up) << "printing off: no printer is looked up";
}

// Each visitor session prints at most PagesPerSession pages, one print at a
// time; a print that would pass the limit is refused whole.
TEST_F(FormTest, PrintsAreHeldToTheSessionsPagesOneAtATime) {
    FakePrinter printer;
    shell.form.PrintService(printer);
    settings("[Printing]\nEnabled=1\nPrinter=hall\nPagesPerSession=3\nPaperSize=iso_a4\n");
    shell.form.Form_Load();
    EXPECT_FALSE(printer.looked_up) << "only when asked to";
    shell.form.FindPrinter();
    ASSERT_TRUE(printer.looked_up);
    EXPECT_EQ(printer.looked_up->printer, "hall");
    EXPECT_EQ(printer.looked_up->paper, "iso_a4");
    auto& browser = shell.browser;
    auto& flashed = shell.notice.flashed;
    browser.calls.clear();
    shell.form.MozillaBrowser1_Print();
    EXPECT_TRUE(browser.calls.empty()) << "refused until the printer is found";
    printer.found(controls::Paper{"iso_a4_210x297mm"});

    // (pages the document has, how the printer answers, what the visitor is
    // shown last, the most pages the page and the printer were asked for)
    enum class Answer { Printed, Failed, Over, NotRendered };
    const struct {
        unsigned pages;
        Answer answer;
        const char* shown;
        const char* asked;
        unsigned most;
    } prints[] = {
        {2, Answer::Printed, "Printed", "PrintPage iso_a4_210x297mm 4", 3},
        {2, Answer::Over, "Not printed: that is more pages than one visitor may print here.",
         "PrintPage iso_a4_210x297mm 2", 1},
        {1, Answer::NotRendered, "Printing failed", "PrintPage iso_a4_210x297mm 2", 1},
        {1, Answer::Failed, "Printing failed", "PrintPage iso_a4_210x297mm 2", 1},
    };
    for (const auto& print : prints) {
        SCOPED_TRACE(print.asked);
        browser.calls.clear();
        browser.prints.clear();
        shell.form.MozillaBrowser1_Print();
        shell.form.MozillaBrowser1_Print(); // ignored while the first is prepared
        ASSERT_EQ(browser.calls, Keys{print.asked});
        EXPECT_EQ(flashed.back(), "Printing…");
        if (print.answer == Answer::NotRendered) {
            browser.prints[0](std::nullopt);
        } else {
            browser.prints[0]("%PDF");
            ASSERT_FALSE(printer.jobs.empty());
            auto& job = printer.jobs.back();
            EXPECT_EQ(job.most, print.most);
            if (print.answer == Answer::Over) {
                job.job.over(print.pages);
            } else {
                job.job.queued(print.pages);
                job.job.done(print.answer == Answer::Printed);
            }
        }
        EXPECT_EQ(flashed.back(), print.shown);
    }
    // 3 pages printed (a failed job counts: it may have come out in part).
    flashed.clear();
    browser.calls.clear();
    shell.form.MozillaBrowser1_Print();
    shell.form.MozillaBrowser1_Print();
    EXPECT_TRUE(browser.calls.empty());
    EXPECT_TRUE(flashed.empty()) << "the limit was told a moment ago";
    printer.jobs.back().job.done(true);
    EXPECT_TRUE(flashed.empty()) << "an earlier print's end is not told over a later ask";

    // A print asked before the session ended is not printed for the next
    // visitor, who has all 3 pages.
    shell.form.EndVisitorSession(frmBrowser::Clock::now());
    browser.prints.clear();
    browser.calls.clear();
    const auto jobs = printer.jobs.size();
    shell.form.MozillaBrowser1_Print();
    EXPECT_EQ(browser.calls, Keys{"PrintPage iso_a4_210x297mm 4"});
    shell.form.EndVisitorSession(frmBrowser::Clock::now());
    browser.prints[0]("%PDF");
    EXPECT_EQ(printer.jobs.size(), jobs);
}

} // namespace
} // namespace corvalen::test
