// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/widget.h>
#include <sigc++/signal.h>

#include "controls/controls.hpp"
#include "web/browser_control.hpp"
#include "widgets/toolbar.hpp"

namespace corvalen::windows {

// The main window's client area: the toolbar along the top edge at full width,
// the browser control at (0, toolbar height) with the size set on it. Reports
// every change of its own size, in which the browser control may be resized.
// The tab order (the browser control, then the toolbar) is the main window's.
class ClientArea : public Gtk::Widget, public controls::IClientArea {
public:
    ClientArea(widgets::Toolbar& toolbar, web::BrowserControl& browser);
    ~ClientArea() override;

    [[nodiscard]] float ScaleWidth() const override;
    [[nodiscard]] float ScaleHeight() const override;

    sigc::signal<void()>& signal_resize() { return m_signal_resize; }

protected:
    void measure_vfunc(Gtk::Orientation orientation, int for_size, int& minimum, int& natural,
                       int& minimum_baseline, int& natural_baseline) const override;
    void size_allocate_vfunc(int width, int height, int baseline) override;

private:
    widgets::Toolbar& m_toolbar;
    web::BrowserControl& m_browser;
    int m_width = -1;
    int m_height = -1;
    bool m_allocating = false;
    sigc::signal<void()> m_signal_resize;
    sigc::connection m_view_replaced;
};

} // namespace corvalen::windows
