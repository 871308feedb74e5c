// SPDX-License-Identifier: MIT
#include "main_window.hpp"

#include "dialog_window.hpp"

#include <gtkmm/icontheme.h>

namespace corvalen::platform {
namespace {

constexpr int kPictureCount = 6;
constexpr const char* kIconName = "corvalen";

} // namespace

MainWindow::MainWindow(const std::string& title, const std::vector<ToolbarButtonDesign>& buttons)
    : m_normal_pictures("normal", kPictureCount), m_hot_pictures("hot", kPictureCount),
      m_toolbar(m_normal_pictures, m_hot_pictures), m_client_area(m_toolbar, m_browser) {
    for (const ToolbarButtonDesign& button : buttons) {
        m_toolbar.add_button(button.key, button.picture);
    }
    Gtk::IconTheme::get_for_display(get_display())
        ->add_resource_path("/org/corvalen/icons/hicolor");
    set_icon_name(kIconName);
    set_title(title);
    set_decorated(false);
    set_child(m_client_area);
    refuse_debugging(*this);
}

void MainWindow::show_full_screen() {
    const Gdk::Rectangle monitor = primary_monitor_geometry(get_display());
    if (monitor.get_width() > 0 && monitor.get_height() > 0) {
        set_default_size(monitor.get_width(), monitor.get_height());
    }
    fullscreen();
    present();
    gtk_widget_grab_focus(m_browser.widget());
}

} // namespace corvalen::platform
