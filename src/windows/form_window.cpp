// SPDX-License-Identifier: MIT
#include "form_window.hpp"

#include <cmath>
#include <gdkmm/display.h>
#include <gdkmm/monitor.h>
#include <gdkmm/toplevel.h>

#include "controls/controls.hpp"
#include "window_rules.hpp"
#include "x11_placement.hpp"

namespace corvalen::windows {
namespace {} // namespace

Gdk::Rectangle MonitorMetrics::geometry() const {
    const auto display = m_window.get_display();
    if (const auto surface = m_window.get_surface()) {
        if (const auto monitor = display->get_monitor_at_surface(surface)) {
            Gdk::Rectangle area;
            monitor->get_geometry(area);
            return area;
        }
    }
    return primary_monitor_geometry(display);
}

float MonitorMetrics::Width() const {
    return static_cast<float>(geometry().get_width()) * controls::kTwipsPerPixel;
}

float MonitorMetrics::Height() const {
    return static_cast<float>(geometry().get_height()) * controls::kTwipsPerPixel;
}

float MonitorMetrics::TwipsPerPixelX() const {
    return controls::kTwipsPerPixel;
}

float MonitorMetrics::TwipsPerPixelY() const {
    return controls::kTwipsPerPixel;
}

double FormWindow::WindowState() const {
    const auto toplevel = std::dynamic_pointer_cast<Gdk::Toplevel>(m_window.get_surface());
    if (toplevel && (toplevel->get_state() & Gdk::Toplevel::State::MINIMIZED) ==
                        Gdk::Toplevel::State::MINIMIZED) {
        return kMinimised;
    }
    return m_window.is_maximized() ? kMaximised : 0;
}

void FormWindow::WindowState(std::int32_t state) {
    if (state == kMaximised) {
        m_window.maximize();
    } else if (state == kMinimised) {
        m_window.minimize();
    } else {
        m_window.unmaximize();
    }
}

std::pair<int, int> FormWindow::origin() const {
    int x = 0;
    int y = 0;
    const auto surface = m_window.get_surface();
    if (!surface || !x11_window_origin(surface->gobj(), x, y)) {
        throw MissingOperation("Left");
    }
    return {x, y};
}

double FormWindow::Left() const {
    return origin().first * double{controls::kTwipsPerPixel};
}

double FormWindow::Top() const {
    return origin().second * double{controls::kTwipsPerPixel};
}

double FormWindow::Width() const {
    return m_window.get_width() * double{controls::kTwipsPerPixel};
}

double FormWindow::Height() const {
    return m_window.get_height() * double{controls::kTwipsPerPixel};
}

void FormWindow::Move(std::int32_t left, std::int32_t top, std::int32_t width,
                      std::int32_t height) {
    const auto surface = m_window.get_surface();
    if (!surface ||
        !x11_move(surface->gobj(), controls::to_pixels(left), controls::to_pixels(top))) {
        throw MissingOperation("Move");
    }
    m_window.set_default_size(controls::to_pixels(width), controls::to_pixels(height));
}

} // namespace corvalen::windows
