// SPDX-License-Identifier: MIT
#include "main_window.hpp"

#include "window_rules.hpp"

#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/eventcontrollerscroll.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/gesturezoom.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iostream>
#include <unistd.h>

#include "input/cursor.hpp"

namespace corvalen::windows {
namespace {

constexpr int kPictureCount = 6;
constexpr const char* kIconName = "corvalen";
// The page zoom's steps, from 100 % to 300 %.
constexpr std::array kZoomSteps{1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
constexpr double kZoomNear = 0.001;

const auto kModifiers = Gdk::ModifierType::CONTROL_MASK | Gdk::ModifierType::ALT_MASK |
                        Gdk::ModifierType::SHIFT_MASK | Gdk::ModifierType::SUPER_MASK;

// `text` as a key, or `fallback`'s when it is none, which the log is told.
std::pair<guint, GdkModifierType> accelerator(const std::string& text, const char* setting,
                                              const char* fallback) {
    guint key = 0;
    GdkModifierType modifiers{};
    if (!gtk_accelerator_parse(text.c_str(), &key, &modifiers) || key == 0) {
        std::cerr << "corvalen: [Accessibility] " << setting << "=\"" << text
                  << "\" is not a key; it is " << fallback << '\n';
        gtk_accelerator_parse(fallback, &key, &modifiers);
    }
    return {gdk_keyval_to_lower(key), modifiers};
}

} // namespace

MainWindow::MainWindow(const std::string& title,
                       std::span<const controls::ToolbarButtonDesign> buttons,
                       web::BrowserControl& browser)
    : m_normal_pictures("normal", kPictureCount), m_hot_pictures("hot", kPictureCount),
      m_toolbar(m_normal_pictures, m_hot_pictures), m_browser(browser),
      m_client_area(m_toolbar, m_browser), m_content(Gtk::Orientation::VERTICAL),
      m_notice(m_overlay) {
    for (const controls::ToolbarButtonDesign& button : buttons) {
        m_toolbar.add_button(button.key, button.picture);
    }
    widgets::install_builtin_icons(get_display());
    set_icon_name(kIconName);
    set_title(title);
    set_decorated(false);
    // The on-screen keyboard, when there is one, goes below the client area,
    // which gives up the height it takes.
    m_client_area.set_vexpand(true);
    m_content.append(m_client_area);
    m_overlay.set_child(m_content);
    set_child(m_overlay);
    refuse_debugging(*this);
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this, controller = keys.get()](guint keyval, guint, Gdk::ModifierType state) {
            return on_key_captured(*controller, keyval, state);
        },
        false);
    add_controller(keys);
    // Tab and Shift+Tab cycle through the page and then every shown toolbar
    // button, exit included, and back to the page: the focus is never lost.
    // Within the page, the page moves it and hands it back at either end.
    set_tab_order(*this, [this] {
        std::vector<Gtk::Widget*> order{Glib::wrap(m_browser.widget())};
        for (Gtk::Widget* button : m_toolbar.buttons_in_order()) {
            order.push_back(button);
        }
        return order;
    });
}

bool MainWindow::Accelerator::matches(guint keyval, Gdk::ModifierType state) const {
    return key != 0 && gdk_keyval_to_lower(keyval) == key && (state & kModifiers) == modifiers;
}

bool MainWindow::speech_key(guint keyval, Gdk::ModifierType state) {
    if (m_narrator == nullptr) {
        return false;
    }
    if (m_narrator->reading()) {
        m_narrator->Silence();
    }
    if (m_speech_key.matches(keyval, state)) {
        m_narrator->Toggle();
        return true;
    }
    if (m_read_key.matches(keyval, state)) {
        if (m_narrator->on()) {
            m_browser.read_page(
                [narrator = m_narrator](const std::string& text) { narrator->Read(text); });
        }
        return true;
    }
    return false;
}

bool MainWindow::zoom_key(guint keyval, Gdk::ModifierType state) {
    if (!m_page_zoom || (state & kModifiers) != Gdk::ModifierType::CONTROL_MASK) {
        return false;
    }
    const double now = m_browser.zoom();
    double level = now;
    switch (keyval) {
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add: {
        const auto* next = std::find_if(kZoomSteps.begin(), kZoomSteps.end(),
                                        [now](double step) { return step > now + kZoomNear; });
        level = next != kZoomSteps.end() ? *next : kZoomSteps.back();
        break;
    }
    case GDK_KEY_minus:
    case GDK_KEY_KP_Subtract: {
        const auto next = std::find_if(kZoomSteps.rbegin(), kZoomSteps.rend(),
                                       [now](double step) { return step < now - kZoomNear; });
        level = next != kZoomSteps.rend() ? *next : kZoomSteps.front();
        break;
    }
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
        level = m_zoom_start;
        break;
    default:
        return false;
    }
    m_browser.zoom(level);
    return true;
}

bool MainWindow::on_key_captured(const Gtk::EventControllerKey& keys, guint keyval,
                                 Gdk::ModifierType state) {
    if (speech_key(keyval, state)) {
        return true;
    }
    if (m_notice.takes_input()) {
        return true; // a key that ends the notice does nothing else
    }
    if (zoom_key(keyval, state)) {
        return true;
    }
    // The page gets every key first and gives back those it leaves alone. At
    // its first or last element it hands the focus to the toolbar and then
    // gives the Tab back as well: that key has done its work and must not move
    // the focus a second time.
    const auto event = keys.get_current_event();
    const PageKey key{keyval, event ? event->get_time() : 0};
    Gtk::Widget* focus = get_focus();
    GtkWidget* page = m_browser.widget();
    if (focus != nullptr &&
        (focus->gobj() == page || gtk_widget_is_ancestor(focus->gobj(), page))) {
        // The keyboard's menu keys would open the toolkit's own text menu in
        // a page's field (with Insert Emoji), past the filtered context menu.
        const bool shift = (state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK;
        if (keyval == GDK_KEY_Menu || (keyval == GDK_KEY_F10 && shift)) {
            return true;
        }
        // The print key prints as the page's own print() does, where
        // printing is on; otherwise the page has the key.
        if (gdk_keyval_to_lower(keyval) == GDK_KEY_p &&
            (state & kModifiers) == Gdk::ModifierType::CONTROL_MASK && m_browser.print()) {
            return true;
        }
        m_last_page_key = key;
        return false;
    }
    if (key == m_last_page_key) {
        return true;
    }
    // Tab from the toolbar into the page goes on to the page's first element
    // (Shift+Tab to its last) at once: the key that only focused the view
    // would show and say nothing.
    const bool tab = keyval == GDK_KEY_Tab || keyval == GDK_KEY_ISO_Left_Tab;
    if (tab && (state & kModifiers & ~Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType{}) {
        const bool forward = keyval == GDK_KEY_Tab;
        if (child_focus(forward ? Gtk::DirectionType::TAB_FORWARD
                                : Gtk::DirectionType::TAB_BACKWARD) &&
            get_focus() != nullptr && get_focus()->gobj() == page) {
            m_browser.focus_edge(forward);
        }
        return true;
    }
    return false;
}

void MainWindow::use_touch(const controls::TouchSettings& touch) {
    if (touch.keyboard) {
        use_keyboard(controls::with_hide_key(touch.layout));
        m_keypad = touch.layout;
    }
    m_page_zoom = touch.page_zoom;
    input::CursorHiding::configure(touch.cursor, *this);
    input::CursorHiding::follow_view(m_browser.widget());
    if (!touch.page_zoom) {
        // Two fingers on a touch screen or touchpad would pinch the page
        // larger, and Ctrl with the wheel zooms pages that zoom themselves
        // (maps, viewers): those events end here, before the page.
        auto scroll = Gtk::EventControllerScroll::create();
        scroll->set_flags(Gtk::EventControllerScroll::Flags::BOTH_AXES);
        scroll->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
        scroll->signal_scroll().connect(
            [controller = scroll.get()](double, double) {
                return (controller->get_current_event_state() & Gdk::ModifierType::CONTROL_MASK) ==
                       Gdk::ModifierType::CONTROL_MASK;
            },
            false);
        m_client_area.add_controller(scroll);
        auto pinch = Gtk::GestureZoom::create();
        pinch->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
        pinch->signal_begin().connect([gesture = pinch.get()](Gdk::EventSequence*) {
            gesture->set_state(Gtk::EventSequenceState::CLAIMED);
        });
        m_client_area.add_controller(pinch);
    }
    m_view_replaced = m_browser.signal_view_replaced().connect([this](GtkWidget*) {
        input::CursorHiding::follow_view(m_browser.widget());
        if (m_keyboard) {
            // A new visitor: letters, no Shift, and no keyboard until a field
            // asks for one.
            m_keyboard->state().reset();
            show_keyboard(false);
            m_input_method->attach(m_browser.widget());
        }
    });
}

void MainWindow::use_keyboard(const controls::KeyboardLayout& layout) {
    constexpr int kKeyHeight = 56;
    m_keyboard = std::make_unique<widgets::KeyboardPanel>(layout, 0, kKeyHeight);
    m_keyboard->set_visible(false);
    m_content.append(*m_keyboard);
    m_input_method = std::make_unique<web::InputMethod>([this](bool focused, bool digits) {
        if (focused) {
            m_keyboard->state().focus_in(digits);
        } else {
            m_keyboard->state().focus_out();
        }
        show_keyboard(m_keyboard->state().shown());
    });
    m_input_method->attach(m_browser.widget());
    m_keyboard->type_into({.text = [this](const std::string& text) { m_input_method->type(text); },
                           .backspace = [this] { m_input_method->backspace(); },
                           .enter = [this] { m_browser.press_enter(); }});
    m_keyboard->on_hidden([this] { show_keyboard(false); });
    // A touch on the page brings back a keyboard hidden by its key, once the
    // page has taken the touch, if a text field still has the focus then.
    auto touch = Gtk::GestureClick::create();
    touch->set_button(0);
    touch->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    touch->signal_released().connect([this](int, double, double) {
        if (m_keyboard->state().field() && !m_keyboard->state().shown()) {
            m_browser.when_field_focused([this] { show_keyboard(m_keyboard->state().touched()); });
        }
    });
    m_client_area.add_controller(touch);
    m_keyboard->on_redrawn([this] {
        if (m_keyboard->get_visible()) {
            m_browser.reveal_focus();
        }
    });
}

void MainWindow::show_keyboard(bool shown) {
    // Drawn anew for each field (its page of keys may differ), but never
    // from within a key's own click: that key would go while being clicked.
    m_keyboard->set_visible(shown);
    if (shown) {
        m_keyboard->refresh(); // and the field is brought into sight
    }
}

void MainWindow::use_accessibility(controls::Narrator& narrator) {
    const controls::AccessibilitySettings& settings = narrator.settings();
    m_zoom_start = settings.zoom / 100.0;
    m_browser.zoom(m_zoom_start);
    // Each visitor starts at the same zoom.
    m_zoom_reset = m_browser.signal_view_replaced().connect(
        [this](GtkWidget*) { m_browser.zoom(m_zoom_start); });
    if (settings.mode == controls::AccessibilitySettings::Mode::Never) {
        return;
    }
    m_narrator = &narrator;
    const controls::AccessibilitySettings defaults;
    auto [key, modifiers] = accelerator(settings.key, "SpeechKey", defaults.key.c_str());
    m_speech_key = {key, static_cast<Gdk::ModifierType>(modifiers)};
    std::tie(key, modifiers) = accelerator(settings.read_key, "ReadKey", defaults.read_key.c_str());
    m_read_key = {key, static_cast<Gdk::ModifierType>(modifiers)};
    m_browser.speak_page({.focus = [this](const std::string& said) { m_narrator->Focus(said); },
                          .typed = [this](const std::string& said) { m_narrator->Typed(said); }});
}

bool MainWindow::screenshot(int fd) {
    const int width = get_width();
    const int height = get_height();
    GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(gobj()));
    if (width <= 0 || height <= 0 || renderer == nullptr) {
        return false;
    }
    GdkPaintable* window = gtk_widget_paintable_new(GTK_WIDGET(gobj()));
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(window, snapshot, width, height);
    g_object_unref(window);
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    if (node == nullptr) {
        return false;
    }
    const graphene_rect_t area =
        GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
    GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &area);
    gsk_render_node_unref(node);
    GBytes* png = gdk_texture_save_to_png_bytes(texture);
    g_object_unref(texture);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(png, &size));
    bool written = true;
    while (written && size > 0) {
        const ssize_t count = write(fd, data, size);
        written = count > 0 || (count < 0 && errno == EINTR);
        if (count > 0) {
            data += count;
            size -= static_cast<gsize>(count);
        }
    }
    g_bytes_unref(png);
    return written;
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

} // namespace corvalen::windows
