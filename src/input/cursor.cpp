// SPDX-License-Identifier: MIT
#include "cursor.hpp"

#include <algorithm>
#include <vector>

#include "surface_events.hpp"

namespace corvalen::input {
namespace {

using Mode = CursorHiding::Mode;

struct State {
    Mode mode = Mode::Shown;
    bool hidden = false;
    std::vector<GtkWidget*> windows; // weak: each leaves the list when it goes
    GdkCursor* none = nullptr;
};

State& state() {
    static State instance;
    return instance;
}

constexpr const char* kSavedCursor = "corvalen-saved-cursor";
constexpr const char* kKept = "corvalen-cursor-kept";

void save_and_hide(GtkWidget* widget, GdkCursor* own) {
    g_object_set_data_full(G_OBJECT(widget), kSavedCursor, own ? g_object_ref(own) : nullptr,
                           own ? g_object_unref : nullptr);
    gtk_widget_set_cursor(widget, state().none);
}

// A widget that sets its own cursor again (a text field when its state
// changes, the page's view as the page asks) gets none instead while hidden.
void keep_hidden(GtkWidget* widget) {
    if (g_object_get_data(G_OBJECT(widget), kKept) != nullptr) {
        return;
    }
    g_object_set_data(G_OBJECT(widget), kKept, widget);
    g_signal_connect(widget, "notify::cursor",
                     G_CALLBACK(+[](GtkWidget* changed, GParamSpec*, gpointer) {
                         GdkCursor* cursor = gtk_widget_get_cursor(changed);
                         if (state().hidden && cursor != state().none) {
                             save_and_hide(changed, cursor);
                         }
                     }),
                     nullptr);
}

// The window, and every widget in it that has a cursor of its own, show
// none; each keeps the cursor it had, to get it back.
void hide_in(GtkWidget* widget, bool top) {
    GdkCursor* own = gtk_widget_get_cursor(widget);
    if (top || own != nullptr) {
        keep_hidden(widget);
        if (own != state().none) {
            save_and_hide(widget, own);
        }
    }
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
         child = gtk_widget_get_next_sibling(child)) {
        hide_in(child, false);
    }
}

void show_in(GtkWidget* widget) {
    if (gtk_widget_get_cursor(widget) == state().none) {
        gtk_widget_set_cursor(
            widget, static_cast<GdkCursor*>(g_object_get_data(G_OBJECT(widget), kSavedCursor)));
        g_object_set_data(G_OBJECT(widget), kSavedCursor, nullptr);
    }
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
         child = gtk_widget_get_next_sibling(child)) {
        show_in(child);
    }
}

// While another window runs modally, the toolkit gives a window no cursor
// of any widget's: the window's surface's own is what shows then.
void set_surface_cursor(GtkWidget* window) {
    if (GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window))) {
        gdk_surface_set_cursor(surface, state().hidden ? state().none : nullptr);
    }
}

void set_hidden(bool hidden) {
    State& s = state();
    if (s.hidden == hidden) {
        return;
    }
    s.hidden = hidden;
    for (GtkWidget* window : s.windows) {
        if (hidden) {
            hide_in(window, true);
        } else {
            show_in(window);
        }
        set_surface_cursor(window);
    }
}

void add_window(GtkWidget* window) {
    State& s = state();
    if (std::find(s.windows.begin(), s.windows.end(), window) != s.windows.end()) {
        return;
    }
    s.windows.push_back(window);
    g_object_weak_ref(
        G_OBJECT(window),
        [](gpointer, GObject* gone) {
            std::erase(state().windows, reinterpret_cast<GtkWidget*>(gone));
        },
        nullptr);
    g_signal_connect(
        window, "realize",
        G_CALLBACK(+[](GtkWidget* realized, gpointer) { set_surface_cursor(realized); }), nullptr);
    set_surface_cursor(window);
    if (s.hidden) {
        hide_in(window, true);
    }
}

// A pop-up (a page's select list, the context menu, a tooltip) is a surface
// of its own, which takes no cursor from the window it belongs to: each one
// follows the cursor of the program as a window does.
gboolean on_widget_realize(GSignalInvocationHint* /*hint*/, guint count, const GValue* values,
                           gpointer /*data*/) {
    auto* widget = count >= 1 ? static_cast<GtkWidget*>(g_value_get_object(&values[0])) : nullptr;
    if (widget != nullptr && GTK_IS_NATIVE(widget) && !GTK_IS_WINDOW(widget)) {
        add_window(widget);
    }
    return TRUE;
}

// A touch hides the cursor; a mouse that moves shows it again. A move that
// a touch makes as a pointer does not count.
void on_surface_event(GdkSurface* /*surface*/, GdkEvent* event) {
    switch (gdk_event_get_event_type(event)) {
    case GDK_TOUCH_BEGIN:
        set_hidden(true);
        break;
    case GDK_MOTION_NOTIFY: {
        GdkDevice* device = gdk_event_get_device(event);
        const bool touch =
            device != nullptr && gdk_device_get_source(device) == GDK_SOURCE_TOUCHSCREEN;
        if (!touch && !gdk_event_get_pointer_emulated(event)) {
            set_hidden(false);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

void CursorHiding::configure(Mode mode, Gtk::Window& window) {
    State& s = state();
    s.mode = mode;
    if (mode == Mode::Shown) {
        return;
    }
    s.none = gdk_cursor_new_from_name("none", nullptr);
    add_window(GTK_WIDGET(window.gobj()));
    g_signal_add_emission_hook(g_signal_lookup("realize", GTK_TYPE_WIDGET), 0, on_widget_realize,
                               nullptr, nullptr);
    if (mode == Mode::Hidden) {
        set_hidden(true);
    } else {
        SurfaceEvents::subscribe(on_surface_event);
    }
}

void CursorHiding::follow(Gtk::Window& window) {
    if (state().mode != Mode::Shown) {
        add_window(GTK_WIDGET(window.gobj()));
    }
}

void CursorHiding::follow_view(GtkWidget* view) {
    if (state().mode == Mode::Shown) {
        return;
    }
    keep_hidden(view);
    if (state().hidden) {
        hide_in(view, true);
    }
}

} // namespace corvalen::input
