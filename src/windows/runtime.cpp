// SPDX-License-Identifier: MIT
#include "runtime.hpp"

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>

#include "dialog_window.hpp"
#include "toolkit/access.hpp"
#include "toolkit/errors.hpp"
#include "toolkit/style.hpp"

namespace corvalen::windows {
namespace {

constexpr int kMargin = 12;
constexpr int kWidth = 260 - 2 * kMargin; // a 260 x 100 client area with the margins
constexpr int kHeight = 100 - 2 * kMargin;

// A message box: the error sign, the text and one OK button, which Enter and
// Escape press too.
class MessageBox : public DialogWindow {
public:
    MessageBox(Gtk::Window& owner, const std::string& prompt, const std::string& title)
        : DialogWindow(owner, title.c_str(), kWidth, kHeight, Gtk::Accessible::Role::ALERT),
          m_rows(Gtk::Orientation::VERTICAL, 12), m_message(Gtk::Orientation::HORIZONTAL, 12),
          m_prompt(prompt), m_ok("OK") {
        toolkit::install_dialog_style();
        // The sign says what the alert's role says already: passed over.
        g_object_set(m_icon.gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_PRESENTATION, nullptr);
        m_icon.set_from_icon_name("corvalen-error");
        m_icon.set_pixel_size(32);
        m_prompt.set_xalign(0.0F);
        toolkit::set_spoken_intro(*this, title + ", alert, " + prompt);
        m_message.append(m_icon);
        m_message.append(m_prompt);
        m_message.set_vexpand(true);
        m_ok.set_size_request(81, 25);
        m_ok.set_halign(Gtk::Align::CENTER);
        m_ok.signal_clicked().connect([this] { hide(); });
        m_rows.set_margin(kMargin);
        m_rows.append(m_message);
        m_rows.append(m_ok);
        set_content(m_rows);
        set_default_widget(m_ok);
        press_on_escape(m_ok);
    }

    void show_modal() {
        m_ok.grab_focus();
        run_modal();
    }

protected:
    bool on_close_request() override {
        hide();
        return true;
    }

private:
    Gtk::Box m_rows;
    Gtk::Box m_message;
    Gtk::Image m_icon;
    Gtk::Label m_prompt;
    Gtk::Button m_ok;
};

} // namespace

void Runtime::MsgBoxCritical(const std::string& prompt, const std::string& title) {
    MessageBox box(m_owner, prompt, title);
    box.show_modal();
}

void Runtime::CloseDialogs() {
    DialogWindow::close_open_dialogs();
}

void Runtime::End() {
    toolkit::end_program(0);
}

} // namespace corvalen::windows
