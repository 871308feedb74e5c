// SPDX-License-Identifier: MIT
#include "dialog_window.hpp"

#include <gdkmm/monitor.h>
#include <glibmm/main.h>
#include <gtkmm/shortcutcontroller.h>

#include "cursor.hpp"
#include "errors.hpp"
#include "input_watch.hpp"
#include "runtime.hpp"
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

// While a modal window runs, GTK drops every close request to the other
// windows. Seen before GTK's own handlers, a close request to the owner ends
// the program as it would without the dialog, so the terminal never hangs.
gboolean on_surface_event(GSignalInvocationHint* /*hint*/, guint count, const GValue* values,
                          gpointer owner) {
    if (count < 2) {
        return TRUE;
    }
    auto* surface = static_cast<GdkSurface*>(g_value_get_object(&values[0]));
    auto* event = static_cast<GdkEvent*>(g_value_get_pointer(&values[1]));
    if (event != nullptr && gdk_event_get_event_type(event) == GDK_DELETE &&
        surface == gtk_native_get_surface(GTK_NATIVE(owner))) {
        end_program(1);
    }
    return TRUE;
}

using TabOrder = std::function<std::vector<Gtk::Widget*>()>;

GQuark tab_order_quark() {
    static const GQuark quark = g_quark_from_static_string("corvalen-tab-order");
    return quark;
}

// One step of the focus along `order`; false when nothing in it takes the focus.
bool move_focus_in_order(GtkWindow* window, const std::vector<Gtk::Widget*>& order,
                         GtkDirectionType direction) {
    const int count = static_cast<int>(order.size());
    int current = -1;
    if (GtkWidget* focus = gtk_window_get_focus(window)) {
        for (int i = 0; i < count && current < 0; ++i) {
            if (focus == order[i]->gobj() || gtk_widget_is_ancestor(focus, order[i]->gobj())) {
                current = i;
            }
        }
    }
    const int step = direction == GTK_DIR_TAB_FORWARD ? 1 : -1;
    int next = current >= 0 ? current + step : (step > 0 ? 0 : count - 1);
    for (int tried = 0; tried < count; ++tried, next += step) {
        if (order[(next % count + count) % count]->child_focus(
                static_cast<Gtk::DirectionType>(direction))) {
            return true;
        }
    }
    return false;
}

// The focus handler of every window: GTK calls it for Tab and Shift+Tab, when
// a window is first shown, and when the page hands the focus back.
gboolean on_window_focus(GtkWidget* widget, GtkDirectionType direction) {
    const auto* order =
        static_cast<const TabOrder*>(g_object_get_qdata(G_OBJECT(widget), tab_order_quark()));
    if (order != nullptr &&
        (direction == GTK_DIR_TAB_FORWARD || direction == GTK_DIR_TAB_BACKWARD) &&
        guard_callback(
            [&] { return move_focus_in_order(GTK_WINDOW(widget), (*order)(), direction); },
            false)) {
        return TRUE;
    }
    auto* window_class = static_cast<GtkWidgetClass*>(g_type_class_peek(GTK_TYPE_WINDOW));
    return window_class->focus(widget, direction);
}

} // namespace

void set_tab_order(Gtk::Window& window, std::function<std::vector<Gtk::Widget*>()> order) {
    g_object_set_qdata_full(G_OBJECT(window.gobj()), tab_order_quark(),
                            new TabOrder(std::move(order)),
                            [](gpointer data) { delete static_cast<TabOrder*>(data); });
    // gtkmm does not offer the focus handler; the window's class gets ours,
    // which falls back to GtkWindow's for windows without an order.
    auto* widget_class = GTK_WIDGET_GET_CLASS(window.gobj());
    if (G_OBJECT_TYPE(window.gobj()) != GTK_TYPE_WINDOW) {
        widget_class->focus = on_window_focus;
    }
}

void refuse_debugging(Gtk::Window& window) {
    g_signal_connect(window.gobj(), "enable-debugging", G_CALLBACK(on_enable_debugging), nullptr);
}

DialogWindow::DialogWindow(Gtk::Window& owner, const char* title, int width, int height)
    : m_owner(owner), m_frame(Gtk::Orientation::VERTICAL), m_width(width), m_height(height) {
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
    const guint event_signal = surface_event_signal();
    const gulong hook =
        g_signal_add_emission_hook(event_signal, 0, on_surface_event, m_owner.gobj(), nullptr);
    CursorHiding::follow(*this);
    present();
    loop->run();
    g_signal_remove_emission_hook(event_signal, hook);
    hidden.disconnect();
    std::erase(open_dialogs(), this);
}

} // namespace corvalen::platform
