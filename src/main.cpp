// SPDX-License-Identifier: MIT
// Corvalen: a locked-down web browser for public terminals. Takes no
// command-line arguments; everything is configured in corvalen.ini beside it.

#include <cstdlib>
#include <gtkmm/application.h>
#include <memory>
#include <vector>

#include "password/frm_password.hpp"
#include "platform/application.hpp"
#include "platform/errors.hpp"
#include "platform/main_window.hpp"
#include "platform/password_window.hpp"
#include "platform/runtime.hpp"
#include "shell/frm_browser.hpp"

int main() {
    using namespace corvalen::platform;
    // GTK's cairo renderer: a toolbar and a web view need no GL, and GTK's GL
    // renderer on the software GL most terminals end up with costs about a
    // second of start-up and 90 MB (bench/RESULTS.md). Not overwritten, so
    // that a terminal with a GPU can still choose its renderer.
    setenv("GSK_RENDERER", "cairo", 0);
    auto app =
        Gtk::Application::create("org.corvalen.Corvalen", Gio::Application::Flags::NON_UNIQUE);
    Runtime runtime;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<frmBrowser> form;
    app->signal_activate().connect([&] {
        report_handler_errors();
        std::vector<ToolbarButtonDesign> buttons;
        for (const auto& button : FormDesign::kButtons) {
            buttons.push_back({button.key, button.picture});
        }
        window = std::make_unique<MainWindow>(FormDesign::kTitle, buttons);
        auto create_password_dialog = [] {
            return std::make_unique<frmPassword>([] { return std::make_unique<PasswordWindow>(); });
        };
        form = std::make_unique<frmBrowser>(window->toolbar(), window->browser(),
                                            window->client_area(), runtime, create_password_dialog,
                                            application_directory());
        window->client_area().signal_resize().connect([&] { form->Form_Resize(); });
        window->toolbar().signal_button_click().connect(
            [&](const std::string& key) { form->Toolbar1_ButtonClick(key); });
        run_handler([&] { form->Form_Load(); });
        window->browser().set_home_page(form->home_page());
        app->add_window(*window);
        window->show_full_screen();
    });
    app->run(0, nullptr);
    // Only the exit password ends the program with status 0 (it never gets
    // here); an end through the windowing system is reported, so that a kiosk
    // session restarts.
    return 1;
}
