// SPDX-License-Identifier: MIT
#include "dialog_window.hpp"

#include <gdkmm/monitor.h>
#include <glibmm/main.h>
#include <gtkmm/shortcutcontroller.h>

#include "x11_placement.hpp"

namespace corvalen::platform {

Gdk::Rectangle primary_monitor_geometry(const Glib::RefPtr<Gdk::Display>& display) {
    Gdk::Rectangle geometry(0, 0, 0, 0);
    const auto monitors = display->get_monitors();
    if (monitors && monitors->get_n_items() > 0) {
        if (auto monitor = std::dynamic_pointer_cast<Gdk::Monitor>(monitors->get_object(0))) {
            monitor->get_geometry(geometry);
        }
    }
    return geometry;
}

namespace {

gboolean on_enable_debugging(GtkWindow* window, gboolean /*toggle*/, gpointer /*data*/) {
    g_signal_stop_emission_by_name(window, "enable-debugging");
    return FALSE;
}

} // namespace

void refuse_debugging(Gtk::Window& window) {
    g_signal_connect(window.gobj(), "enable-debugging", G_CALLBACK(on_enable_debugging), nullptr);
}

DialogWindow::DialogWindow(const char* title, int width, int height)
    : m_width(width), m_height(height) {
    refuse_debugging(*this);
    set_title(title);
    set_modal(true);
    set_resizable(false);
    set_deletable(true);
    set_default_size(width, height);
    set_size_request(width, height);
    signal_realize().connect(sigc::mem_fun(*this, &DialogWindow::on_surface_realized), true);
    signal_map().connect(sigc::mem_fun(*this, &DialogWindow::on_surface_mapped), true);
}

void DialogWindow::on_surface_realized() {
    // Before the window is first shown: without a window manager this is
    // where it appears.
    const Gdk::Rectangle monitor = primary_monitor_geometry(get_display());
    x11_place_centred(get_surface()->gobj(), m_width, m_height, monitor.get_x(), monitor.get_y(),
                      monitor.get_width(), monitor.get_height());
}

void DialogWindow::on_surface_mapped() {
    // A window manager places new windows by its own rules; ask again now
    // that it manages this one, and set the frame's hints after GTK's own.
    on_surface_realized();
    x11_set_dialog_hints(get_surface()->gobj());
}

void DialogWindow::press_on_escape(Gtk::Button& button) {
    auto shortcuts = Gtk::ShortcutController::create();
    shortcuts->add_shortcut(Gtk::Shortcut::create(
        Gtk::KeyvalTrigger::create(GDK_KEY_Escape),
        Gtk::CallbackAction::create([&button](Gtk::Widget&, const Glib::VariantBase&) {
            button.activate();
            return true;
        })));
    add_controller(shortcuts);
}

void DialogWindow::run_modal() {
    auto loop = Glib::MainLoop::create();
    auto hidden = signal_hide().connect([&loop] { loop->quit(); });
    present();
    loop->run();
    hidden.disconnect();
}

} // namespace corvalen::platform
