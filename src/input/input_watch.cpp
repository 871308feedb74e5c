// SPDX-License-Identifier: MIT
#include "input_watch.hpp"

#include <gdk/gdk.h>
#include <glibmm/main.h>

#include "surface_events.hpp"

namespace corvalen::input {
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

InputWatch::InputWatch(Callback on_input, Callback on_timer,
                       std::optional<Clock::duration> first_tick)
    : m_on_input(std::move(on_input)), m_on_timer(std::move(on_timer)),
      m_events(
          SurfaceEvents::subscribe([this](GdkSurface*, GdkEvent* event) { on_event(event); })) {
    schedule(first_tick);
}

InputWatch::~InputWatch() {
    m_events.disconnect();
    m_timer.disconnect();
    m_input.disconnect();
}

void InputWatch::on_event(GdkEvent* event) {
    if (!is_visitor_input(event, m_pointer_x, m_pointer_y)) {
        return;
    }
    // Told once the event has been handled: the notice it dismisses is still
    // there to take it, so a click meant to dismiss it reaches nothing else.
    m_input_time = Clock::now();
    if (!m_input.connected()) {
        m_input = Glib::signal_idle().connect([this] {
            const auto delay = m_on_input(m_input_time);
            if (!m_timer.connected()) {
                schedule(delay);
            }
            return false;
        });
    }
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

} // namespace corvalen::input
