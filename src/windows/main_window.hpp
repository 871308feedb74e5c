// SPDX-License-Identifier: MIT
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "client_area.hpp"
#include "controls/keyboard.hpp"
#include "controls/speech.hpp"
#include "web/browser_control.hpp"
#include "web/input_method.hpp"
#include "widgets/image_list.hpp"
#include "widgets/keyboard_panel.hpp"
#include "widgets/notice.hpp"
#include "widgets/toolbar.hpp"

namespace corvalen::windows {

// A frameless window covering the whole screen: the toolbar on top, the
// browser control below it, and the notices over both.
class MainWindow : public Gtk::Window {
public:
    MainWindow(const std::string& title, std::span<const controls::ToolbarButtonDesign> buttons,
               web::BrowserControl& browser);

    widgets::Toolbar& toolbar() { return m_toolbar; }
    web::BrowserControl& browser() { return m_browser; }
    ClientArea& client_area() { return m_client_area; }
    widgets::Notice& notice() { return m_notice; }

    // Suits the window to a touch screen as `touch` says: an on-screen keyboard
    // docked below the page while a text field of the page has the focus, the
    // cursor hidden, no page zoom. Called before the window is shown.
    void use_touch(const controls::TouchSettings& touch);
    // The password dialog's keypad, when the on-screen keyboard is on.
    [[nodiscard]] const controls::KeyboardLayout* keypad() const {
        return m_keypad ? &*m_keypad : nullptr;
    }

    // For visitors who cannot see or need bigger text, as `narrator`'s
    // settings say: the speech key and the read key, the page's own speech,
    // and the page zoom each session starts with. Called after use_touch,
    // before the window is shown.
    void use_accessibility(controls::Narrator& narrator);

    // Shows the window over the whole monitor and gives the browser control
    // the keyboard focus. A window manager is asked for full screen; without
    // one, the window sizes itself to the monitor at its top-left corner.
    void show_full_screen();
    // Writes a PNG of the window as it shows now to `fd`; false when it could
    // not.
    bool screenshot(int fd);

private:
    // A key press as the page saw it: key and time.
    struct PageKey {
        guint keyval = 0;
        guint32 time = 0;
        bool operator==(const PageKey&) const = default;
    };

    bool on_key_captured(const Gtk::EventControllerKey& keys, guint keyval,
                         Gdk::ModifierType state);
    void use_keyboard(const controls::KeyboardLayout& layout);
    void show_keyboard(bool shown);
    // Ctrl with plus, minus or 0: the page zoom a step up or down, or back
    // to where the session started. False for any other key.
    bool zoom_key(guint keyval, Gdk::ModifierType state);
    // The speech key and the read key; any key stops a reading. False for
    // any other key.
    bool speech_key(guint keyval, Gdk::ModifierType state);

    // A key as gtk_accelerator_parse reads one.
    struct Accelerator {
        guint key = 0;
        Gdk::ModifierType modifiers{};
        [[nodiscard]] bool matches(guint keyval, Gdk::ModifierType state) const;
    };

    widgets::ImageList m_normal_pictures;
    widgets::ImageList m_hot_pictures;
    widgets::Toolbar m_toolbar;
    web::BrowserControl& m_browser;
    ClientArea m_client_area;
    Gtk::Box m_content;
    Gtk::Overlay m_overlay;
    widgets::Notice m_notice;
    std::unique_ptr<widgets::KeyboardPanel> m_keyboard;
    std::unique_ptr<web::InputMethod> m_input_method;
    std::optional<controls::KeyboardLayout> m_keypad;
    sigc::connection m_view_replaced;
    PageKey m_last_page_key;
    bool m_page_zoom = true;
    double m_zoom_start = 1.0;
    controls::Narrator* m_narrator = nullptr;
    Accelerator m_speech_key;
    Accelerator m_read_key;
    sigc::connection m_zoom_reset;
};

} // namespace corvalen::windows
