// SPDX-License-Identifier: MIT
#include "window_rules.hpp"

#include <gdkmm/monitor.h>

#include "input/surface_events.hpp"
#include "toolkit/errors.hpp"

namespace corvalen::windows {

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
        // Each widget of the order takes the focus as a whole, as a click
        // would give it: the web view holds a hidden text view of the engine's,
        // which entering it backwards would otherwise focus.
        Gtk::Widget* item = order[(next % count + count) % count];
        if (item->get_mapped() && item->grab_focus()) {
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
        toolkit::guard_callback(
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

sigc::connection end_program_on_close(Gtk::Window& window) {
    GtkWindow* owner = window.gobj();
    return input::SurfaceEvents::subscribe([owner](GdkSurface* surface, GdkEvent* event) {
        if (gdk_event_get_event_type(event) == GDK_DELETE &&
            surface == gtk_native_get_surface(GTK_NATIVE(owner))) {
            toolkit::end_program(1);
        }
    });
}

} // namespace corvalen::windows
