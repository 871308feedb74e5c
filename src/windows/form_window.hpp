// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/window.h>

#include "inifile/placement.hpp"

namespace corvalen::windows {

// The screen metrics of the monitor that shows a window (the first monitor
// before the window is shown), at 15 twips per logical pixel.
class MonitorMetrics : public IScreenMetrics {
public:
    explicit MonitorMetrics(Gtk::Window& window) : m_window(window) {}
    [[nodiscard]] float Width() const override;
    [[nodiscard]] float Height() const override;
    [[nodiscard]] float TwipsPerPixelX() const override;
    [[nodiscard]] float TwipsPerPixelY() const override;

private:
    [[nodiscard]] Gdk::Rectangle geometry() const;
    Gtk::Window& m_window;
};

// A GTK window as the placement operations of cInifile reach it. Its position
// is known and settable only on X11; elsewhere Left, Top and Move raise.
class FormWindow : public IFormWindow {
public:
    explicit FormWindow(Gtk::Window& window) : m_window(window), m_screen(window) {}

    [[nodiscard]] double WindowState() const override;
    void WindowState(std::int32_t state) override;
    [[nodiscard]] double Left() const override;
    [[nodiscard]] double Top() const override;
    [[nodiscard]] double Width() const override;
    [[nodiscard]] double Height() const override;
    void Move(std::int32_t left, std::int32_t top, std::int32_t width,
              std::int32_t height) override;
    [[nodiscard]] const IScreenMetrics& Screen() const override { return m_screen; }

private:
    [[nodiscard]] std::pair<int, int> origin() const;
    Gtk::Window& m_window;
    MonitorMetrics m_screen;
};

} // namespace corvalen::windows
