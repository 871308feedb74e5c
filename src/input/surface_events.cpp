// SPDX-License-Identifier: MIT
#include "surface_events.hpp"

#include <gdk/gdk.h>
#include <sigc++/signal.h>

#include "toolkit/errors.hpp"

namespace corvalen::input {
namespace {

sigc::signal<void(GdkSurface*, GdkEvent*)>& subscribers() {
    static sigc::signal<void(GdkSurface*, GdkEvent*)> signal;
    return signal;
}

gboolean on_surface_event(GSignalInvocationHint* /*hint*/, guint count, const GValue* values,
                          gpointer /*data*/) {
    if (count >= 2) {
        auto* surface = static_cast<GdkSurface*>(g_value_get_object(&values[0]));
        auto* event = static_cast<GdkEvent*>(g_value_get_pointer(&values[1]));
        if (event != nullptr) {
            toolkit::guard_callback([&] { subscribers().emit(surface, event); });
        }
    }
    return TRUE; // stays for every later event
}

} // namespace

sigc::connection SurfaceEvents::subscribe(Handler handler) {
    static const bool hooked = [] {
        // On Wayland no surface exists yet at start-up: the class is made here.
        g_type_class_unref(g_type_class_ref(GDK_TYPE_SURFACE));
        g_signal_add_emission_hook(g_signal_lookup("event", GDK_TYPE_SURFACE), 0, on_surface_event,
                                   nullptr, nullptr);
        return true;
    }();
    static_cast<void>(hooked);
    return subscribers().connect(std::move(handler));
}

} // namespace corvalen::input
