// SPDX-License-Identifier: MIT
#include "dialog_window.hpp"

#include <glibmm/main.h>
#include <gtkmm/shortcutcontroller.h>

#include "input/cursor.hpp"
#include "toolkit/access.hpp"
#include "window_rules.hpp"
#include "x11_placement.hpp"

namespace corvalen::windows {

DialogWindow::DialogWindow(Gtk::Window& owner, const char* title, int width, int height,
                           Gtk::Accessible::Role role)
    : m_owner(owner), m_frame(Gtk::Orientation::VERTICAL), m_width(width), m_height(height) {
    // Before anything reads the window's accessible role, which fixes it.
    g_object_set(gobj(), "accessible-role", static_cast<GtkAccessibleRole>(role), nullptr);
    toolkit::set_spoken_intro(*this,
                              std::string(title) +
                                  (role == Gtk::Accessible::Role::DIALOG ? ", dialog" : ", alert"));
    add_css_class("corvalen-dialog");
    refuse_debugging(*this);
    set_title(title);
    // Owned by the main window: a window manager keeps it above its owner and
    // cage centres it over the owner instead of showing it as a view of its own.
    set_transient_for(owner);
    set_modal(true);
    set_resizable(false);
    set_deletable(true);
    // The frame is the program's own everywhere: the title and the close box
    // are there also where nobody else draws them (a bare X server, cage), and
    // the window has no invisible margin around it, which cage would count
    // when centring it.
    set_decorated(false);
    m_title_bar.set_decoration_layout(":close");
    m_title_bar.set_can_focus(false);
    m_frame.append(m_title_bar);
    set_child(m_frame);
    signal_realize().connect(sigc::mem_fun(*this, &DialogWindow::on_surface_realized), true);
    signal_map().connect(sigc::mem_fun(*this, &DialogWindow::on_surface_mapped), true);
}

void DialogWindow::set_content(Gtk::Widget& content) {
    content.set_size_request(m_width, m_height);
    content.add_css_class("corvalen-dialog-content");
    m_frame.append(content);
}

void DialogWindow::place_centred() {
    int minimum = 0;
    int width = 0;
    int height = 0;
    int baseline = 0;
    measure(Gtk::Orientation::HORIZONTAL, -1, minimum, width, baseline, baseline);
    measure(Gtk::Orientation::VERTICAL, width, minimum, height, baseline, baseline);
    const Gdk::Rectangle monitor = primary_monitor_geometry(get_display());
    x11_place_centred(get_surface()->gobj(), width, height, monitor.get_x(), monitor.get_y(),
                      monitor.get_width(), monitor.get_height());
}

void DialogWindow::on_surface_realized() {
    // Before the window is first shown: without a window manager this is
    // where it appears, and a window manager reads the frame's hints now.
    place_centred();
    x11_set_dialog_hints(get_surface()->gobj());
}

void DialogWindow::on_surface_mapped() {
    // A window manager places new windows by its own rules; ask again now
    // that it manages this one.
    place_centred();
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

namespace {

// The dialogs running modally, innermost last.
std::vector<DialogWindow*>& open_dialogs() {
    static std::vector<DialogWindow*> dialogs;
    return dialogs;
}

} // namespace

void DialogWindow::close_open_dialogs() {
    // Hiding one returns from its run_modal, which takes it off the list.
    const std::vector<DialogWindow*> dialogs = open_dialogs();
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) {
        (*it)->hide();
    }
}

void DialogWindow::run_modal() {
    open_dialogs().push_back(this);
    auto loop = Glib::MainLoop::create();
    auto hidden = signal_hide().connect([&loop] { loop->quit(); });
    auto closing = end_program_on_close(m_owner);
    input::CursorHiding::follow(*this);
    present();
    loop->run();
    closing.disconnect();
    hidden.disconnect();
    std::erase(open_dialogs(), this);
}

} // namespace corvalen::windows
