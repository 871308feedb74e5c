// SPDX-License-Identifier: MIT
#include "input_watch.hpp"

#include <gdk/gdk.h>
#include <glibmm/main.h>

#include "errors.hpp"

namespace corvalen::platform {
namespace {

bool is_visitor_input(GdkEvent* event, double& pointer_x, double& pointer_y) {
    switch (gdk_event_get_event_type(event)) {
    case GDK_KEY_PRESS:
    case GDK_BUTTON_PRESS:
    case GDK_SCROLL:
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_UPDATE:
    case GDK_TOUCHPAD_SWIPE:
    case GDK_TOUCHPAD_PINCH:
    case GDK_PAD_BUTTON_PRESS:
    case GDK_PAD_RING:
    case GDK_PAD_STRIP:
        return true;
    case GDK_MOTION_NOTIFY: {
        // Only a move: a window shown or hidden under a still pointer may be
        // reported as motion to where it already was.
        double x = 0;
        double y = 0;
        gdk_event_get_position(event, &x, &y);
        const bool moved = x != pointer_x || y != pointer_y;
        pointer_x = x;
        pointer_y = y;
        return moved;
    }
    default:
        return false;
    }
}

} // namespace

guint surface_event_signal() {
    // On Wayland no surface exists yet at start-up: the class is made here.
    g_type_class_unref(g_type_class_ref(GDK_TYPE_SURFACE));
    return g_signal_lookup("event", GDK_TYPE_SURFACE);
}

InputWatch::InputWatch(Callback on_input, Callback on_timer,
                       std::optional<Clock::duration> first_tick)
    : m_on_input(std::move(on_input)), m_on_timer(std::move(on_timer)),
      m_signal(surface_event_signal()),
      m_hook(g_signal_add_emission_hook(m_signal, 0, on_surface_event, this, nullptr)) {
    schedule(first_tick);
}

InputWatch::~InputWatch() {
    g_signal_remove_emission_hook(m_signal, m_hook);
    m_timer.disconnect();
    m_input.disconnect();
}

gboolean InputWatch::on_surface_event(GSignalInvocationHint* /*hint*/, guint count,
                                      const GValue* values, gpointer data) {
    auto* watch = static_cast<InputWatch*>(data);
    auto* event = count >= 2 ? static_cast<GdkEvent*>(g_value_get_pointer(&values[1])) : nullptr;
    if (event == nullptr || !is_visitor_input(event, watch->m_pointer_x, watch->m_pointer_y)) {
        return TRUE;
    }
    // Told once the event has been handled: the notice it dismisses is still
    // there to take it, so a click meant to dismiss it reaches nothing else.
    watch->m_input_time = Clock::now();
    if (!watch->m_input.connected()) {
        guard_callback([watch] {
            watch->m_input = Glib::signal_idle().connect([watch] {
                const auto delay = watch->m_on_input(watch->m_input_time);
                if (!watch->m_timer.connected()) {
                    watch->schedule(delay);
                }
                return false;
            });
        });
    }
    return TRUE;
}

void InputWatch::schedule(std::optional<Clock::duration> delay) {
    m_timer.disconnect();
    if (!delay) {
        return;
    }
    // Rounded up, so that the timer is not due a moment before its time.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*delay);
    m_timer = Glib::signal_timeout().connect(
        [this] {
            m_timer = sigc::connection(); // this one ends as it returns
            schedule(m_on_timer(Clock::now()));
            return false;
        },
        static_cast<unsigned>(ms.count()));
}

} // namespace corvalen::platform
