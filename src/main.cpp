// SPDX-License-Identifier: MIT
// Corvalen: a locked-down web browser for public terminals. Takes no
// command-line arguments; everything is configured in corvalen.ini beside it.

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/application.h>
#include <iostream>
#include <memory>

#include "controls/drawing.hpp"
#include "fleet/control.hpp"
#include "fleet/health.hpp"
#include "fleet/metrics.hpp"
#include "inifile/application.hpp"
#include "input/input_watch.hpp"
#include "password/frm_password.hpp"
#include "print/printer.hpp"
#include "shell/frm_browser.hpp"
#include "speech/speech_dispatcher.hpp"
#include "toolkit/errors.hpp"
#include "web/browser_control.hpp"
#include "windows/focus_speech.hpp"
#include "windows/main_window.hpp"
#include "windows/password_window.hpp"
#include "windows/runtime.hpp"

int main() {
    // Before anything starts a process of its own.
    corvalen::fleet::Health health;
    const std::int64_t start_time = std::time(nullptr);
    const auto started = frmBrowser::Clock::now();
    using corvalen::input::InputWatch;
    using corvalen::toolkit::report_handler_errors;
    using corvalen::toolkit::run_handler;
    using corvalen::web::BrowserControl;
    using corvalen::windows::MainWindow;
    using corvalen::windows::PasswordWindow;
    using corvalen::windows::Runtime;
    // Without graphics hardware everything is drawn on the CPU: the web view
    // composites without GL (see BrowserControl), so neither GTK nor WebKit's
    // side of this process needs to load a GL driver. On software GL, loading
    // and starting one costs start-up time and memory (bench/RESULTS.md has
    // the figures). With hardware, GTK and WebKit choose GL as they would.
    // What the operator set in the environment is not overwritten.
    const auto drawing = corvalen::controls::choose_drawing("/");
    if (drawing == corvalen::controls::Drawing::Cpu) {
        if (std::getenv("GSK_RENDERER") == nullptr) {
            setenv("GSK_RENDERER", "cairo", 1);
            setenv("GDK_DEBUG", "gl-disable", 0);
        }
        // Pages reach this process in shared memory, not as GPU buffers, so no
        // render device is needed; naming one spares WebKit starting EGL only
        // to look one up.
        setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
        setenv("WEBKIT_WEB_RENDER_DEVICE_FILE", "/dev/null", 0);
    }
    // The toolkit's pickers (emoji, colours) remember what a visitor chose in
    // GSettings; kept in memory, nothing of it reaches the next visitor.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    auto app =
        Gtk::Application::create("org.corvalen.Corvalen", Gio::Application::Flags::NON_UNIQUE);
    // The web view comes first, before the application registers and before
    // any window: making it starts the network process, and the web process
    // follows as soon as the home page is asked for, so that their start
    // (each loads the engine's libraries anew) overlaps with building the
    // windows here (bench/RESULTS.md).
    gtk_init();
    BrowserControl browser(drawing);
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Runtime> runtime;
    std::unique_ptr<frmBrowser> form;
    std::unique_ptr<InputWatch> input_watch;
    std::unique_ptr<corvalen::windows::FocusSpeech> focus_speech;
    std::unique_ptr<corvalen::fleet::MetricsFile> metrics;
    std::unique_ptr<corvalen::fleet::Control> control;
    // Started only for a print, and to find the printer when printing is on.
    corvalen::print::Printer printer(corvalen::application_directory() + "/corvalen-print",
                                     std::cerr);
    // The printer is looked up a little after the first page shows:
    // corvalen-print would otherwise take the machine from the page's start.
    bool printer_sought = false;
    browser.on_shown([&](const std::string& uri) {
        health.shown(uri);
        if (form && !printer_sought) {
            printer_sought = true;
            Glib::signal_timeout().connect_seconds_once([&] { form->FindPrinter(); }, 3);
        }
    });
    app->signal_activate().connect([&] {
        report_handler_errors();
        window = std::make_unique<MainWindow>(FormDesign::kTitle, FormDesign::kButtons, browser);
        runtime = std::make_unique<Runtime>(*window);
        auto create_password_dialog = [&] {
            return std::make_unique<frmPassword>(
                [&] { return std::make_unique<PasswordWindow>(*window, window->keypad()); });
        };
        form = std::make_unique<frmBrowser>(
            window->toolbar(), window->browser(), window->client_area(), *runtime, window->notice(),
            create_password_dialog, corvalen::application_directory());
        window->client_area().signal_resize().connect([&] { form->Form_Resize(); });
        window->browser().on_refused([&] { form->MozillaBrowser1_Refused(); });
        window->toolbar().signal_button_click().connect(
            [&](const std::string& key) { form->Toolbar1_ButtonClick(key); });
        form->SpeechService([](const corvalen::controls::AccessibilitySettings& settings) {
            return corvalen::speech::open_speech_dispatcher(settings, std::cerr);
        });
        form->PrintService(printer);
        run_handler([&] { form->Form_Load(); });
        if (form->print_settings().enabled) {
            window->browser().on_print([&] { form->MozillaBrowser1_Print(); });
        }
        window->use_touch(form->touch_settings());
        window->use_accessibility(form->narrator());
        if (form->narrator().settings().mode !=
            corvalen::controls::AccessibilitySettings::Mode::Never) {
            focus_speech = std::make_unique<corvalen::windows::FocusSpeech>(form->narrator());
        }
        // Input is watched also where no idle reset or memory limit needs it:
        // the time since the last input is a figure for the fleet's operators.
        input_watch = std::make_unique<InputWatch>(
            [&](InputWatch::Clock::time_point now) { return form->Visitor_Input(now); },
            [&](InputWatch::Clock::time_point now) { return form->Idle_Tick(now); },
            form->next_tick(InputWatch::Clock::now()));
        auto read = [&](bool memory) {
            using namespace std::chrono;
            corvalen::fleet::Reading reading;
            reading.browser = browser.figures();
            reading.sessions_ended = form->sessions_ended();
            const auto last_input = form->last_input();
            const auto idle = frmBrowser::Clock::now() - last_input.value_or(started);
            reading.idle_seconds = duration_cast<seconds>(idle).count();
            reading.in_use = last_input && idle < minutes(1);
            if (const auto kb = memory ? browser.WebProcessMemory() : std::nullopt) {
                reading.web_process_memory = *kb * 1024;
            }
            reading.start_time = start_time;
            return reading;
        };
        health.activity([read] {
            const corvalen::fleet::Reading reading = read(false);
            return reading.in_use ? std::string("in use")
                                  : "idle " + std::to_string(reading.idle_seconds / 60) + " min";
        });
        if (const auto& fleet = form->fleet_settings(); !fleet.metrics_file.empty()) {
            metrics = std::make_unique<corvalen::fleet::MetricsFile>(
                fleet.metrics_file, fleet.metrics_interval, read, std::cerr);
        }
        control = std::make_unique<corvalen::fleet::Control>(
            corvalen::fleet::Commands{
                .go_home = [&] { form->GoHome(); },
                .reload = [&] { form->Reload(); },
                .end_session = [&] { form->EndVisitorSession(frmBrowser::Clock::now()); },
                .open = [&](const std::string& url) { return form->Open(url); },
                .show_message = [&](const std::string& text,
                                    unsigned seconds) { form->ShowMessage(text, seconds); },
                .screenshot = [&](int fd) { return window->screenshot(fd); },
                .read = read},
            std::cerr);
        app->add_window(*window);
        window->show_full_screen();
    });
    app->run(0, nullptr);
    // Only the exit password ends the program with status 0 (it never gets
    // here); an end through the windowing system is reported, so that a kiosk
    // session restarts.
    return 1;
}
