// SPDX-License-Identifier: MIT
#include "client_area.hpp"

#include <algorithm>
#include <gtk/gtk.h>

namespace corvalen::windows {
namespace {

// The client area as designed, for a window that is not full screen.
constexpr int kDesignWidth = 510;
constexpr int kDesignHeight = 399;

// GTK wants every child measured before it is allocated.
int minimum_size(GtkWidget* widget, GtkOrientation orientation) {
    int minimum = 0;
    gtk_widget_measure(widget, orientation, -1, &minimum, nullptr, nullptr, nullptr);
    return minimum;
}

} // namespace

ClientArea::ClientArea(widgets::Toolbar& toolbar, web::BrowserControl& browser)
    : m_toolbar(toolbar), m_browser(browser) {
    set_overflow(Gtk::Overflow::HIDDEN);
    gtk_widget_set_parent(m_browser.widget(), gobj());
    m_toolbar.set_parent(*this);
    m_browser.on_size_changed([this] {
        if (!m_allocating) {
            queue_allocate();
        }
    });
    m_view_replaced = m_browser.signal_view_replaced().connect([this](GtkWidget* old) {
        gtk_widget_unparent(old);
        gtk_widget_insert_before(m_browser.widget(), gobj(), GTK_WIDGET(m_toolbar.gobj()));
    });
}

ClientArea::~ClientArea() {
    m_browser.on_size_changed(nullptr);
    m_view_replaced.disconnect();
    m_toolbar.unparent();
    gtk_widget_unparent(m_browser.widget());
}

float ClientArea::ScaleWidth() const {
    return static_cast<float>(m_width) * controls::kTwipsPerPixel;
}

float ClientArea::ScaleHeight() const {
    return static_cast<float>(m_height) * controls::kTwipsPerPixel;
}

void ClientArea::measure_vfunc(Gtk::Orientation orientation, int /*for_size*/, int& minimum,
                               int& natural, int& minimum_baseline, int& natural_baseline) const {
    minimum = 0;
    natural = orientation == Gtk::Orientation::HORIZONTAL ? kDesignWidth : kDesignHeight;
    minimum_baseline = natural_baseline = -1;
}

void ClientArea::size_allocate_vfunc(int width, int height, int /*baseline*/) {
    m_allocating = true;
    if (width != m_width || height != m_height) {
        m_width = width;
        m_height = height;
        m_signal_resize.emit();
    }
    m_allocating = false;

    const int toolbar_width =
        std::max(width, minimum_size(GTK_WIDGET(m_toolbar.gobj()), GTK_ORIENTATION_HORIZONTAL));
    minimum_size(GTK_WIDGET(m_toolbar.gobj()), GTK_ORIENTATION_VERTICAL);
    const GtkAllocation toolbar{0, 0, toolbar_width, widgets::Toolbar::kHeight};
    gtk_widget_size_allocate(GTK_WIDGET(m_toolbar.gobj()), &toolbar, -1);

    GtkWidget* browser = m_browser.widget();
    const int browser_width =
        std::max(m_browser.pixel_width(), minimum_size(browser, GTK_ORIENTATION_HORIZONTAL));
    const int browser_height =
        std::max(m_browser.pixel_height(), minimum_size(browser, GTK_ORIENTATION_VERTICAL));
    const GtkAllocation page{0, widgets::Toolbar::kHeight, browser_width, browser_height};
    gtk_widget_size_allocate(browser, &page, -1);
}

} // namespace corvalen::windows
